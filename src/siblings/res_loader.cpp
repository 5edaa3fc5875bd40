// The resource-text loader: files of "key<TAB>text" lines per base name and
// language (see res_loader.h).
#include "siblings/res_loader.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "marlcheckout/class_ids.h"
#include "platform/install_paths.h"

#ifndef MARL_RESOURCE_DIR_DEFAULT
#define MARL_RESOURCE_DIR_DEFAULT "resources"
#endif

namespace marl::siblings {

namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char next = s[i + 1];
      if (next == 't' || next == 'n' || next == 'r' || next == '\\') {
        out += next == 't'   ? '\t'
               : next == 'n' ? '\n'
               : next == 'r' ? '\r'
                             : '\\';
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

DispatchTable MakeTable() {
  DispatchTable t;
  t.class_name = "Loader";
  auto text_param = [](const char* name) {
    ParamInfo p;
    p.name = name;
    p.type = VarType::Text;
    return p;
  };
  auto add = [&](const char* name, int32_t dispid, InvokeKind kind,
                 std::vector<ParamInfo> params, VarType result,
                 MemberHandler handler) {
    MemberInfo m;
    m.name = name;
    m.dispid = dispid;
    m.kind = kind;
    m.params = std::move(params);
    m.result = result;
    m.handler = std::move(handler);
    t.members.push_back(std::move(m));
  };
  auto self = [](Dispatchable& d) -> ResLoader& {
    return static_cast<ResLoader&>(d);
  };
  add("ResFileBaseName", 1, InvokeKind::PropertyGet, {}, VarType::Text,
      [self](Dispatchable& d, std::vector<Variant>&) {
        return Variant::Text(self(d).ResFileBaseName());
      });
  add("ResFileBaseName", 1, InvokeKind::PropertyPut, {text_param("name")},
      VarType::Empty, [self](Dispatchable& d, std::vector<Variant>& a) {
        self(d).SetResFileBaseName(a[0].ToText());
        return Variant();
      });
  add("LanguageID", 2, InvokeKind::PropertyGet, {}, VarType::Text,
      [self](Dispatchable& d, std::vector<Variant>&) {
        return Variant::Text(self(d).LanguageID());
      });
  add("LanguageID", 2, InvokeKind::PropertyPut, {text_param("language")},
      VarType::Empty, [self](Dispatchable& d, std::vector<Variant>& a) {
        self(d).SetLanguageID(a[0].ToText());
        return Variant();
      });
  add("LoadString", 3, InvokeKind::Method, {text_param("sText")}, VarType::Text,
      [self](Dispatchable& d, std::vector<Variant>& a) {
        return Variant::Text(self(d).LoadString(a[0].ToText()));
      });
  add("Unload", 4, InvokeKind::Method, {}, VarType::Empty,
      [self](Dispatchable& d, std::vector<Variant>&) {
        self(d).Unload();
        return Variant();
      });
  return t;
}

}  // namespace

// A loader is per-thread module data, kept while no object is alive, so it
// does not count as a live object of the library.
ResLoader::ResLoader() : Component(TxAttribute::NotSupported) {}

ResLoader::~ResLoader() = default;

void ResLoader::SetResFileBaseName(const std::string& name) {
  if (name != base_name_) entries_.reset();
  base_name_ = name;
}

void ResLoader::SetLanguageID(const std::string& language) {
  if (language != language_) entries_.reset();
  language_ = language;
}

std::string ResLoader::LoadString(const std::string& text) {
  if (!entries_) {
    entries_.emplace();
    std::filesystem::path file = std::filesystem::path(ResourceDirectory()) /
                                 (base_name_ + "." + language_ + ".txt");
    std::ifstream in(file, std::ios::binary);
    if (in) {
      std::ostringstream content;
      content << in.rdbuf();
      entries_ = ParseResources(content.str());
    }
  }
  auto it = entries_->find(text);
  return it == entries_->end() ? text : it->second;
}

void ResLoader::Unload() { entries_.reset(); }

const DispatchTable& ResLoader::Table() const {
  static const DispatchTable table = MakeTable();
  return table;
}

std::string ResLoader::ResourceDirectory() {
  if (const char* env = std::getenv("MARL_RESOURCE_DIR")) {
    if (*env != '\0') return env;
  }
  const std::string& installed = platform::InstalledDataDirectory();
  if (!installed.empty()) {
    std::filesystem::path dir = std::filesystem::path(installed) / "resources";
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) return dir.string();
  }
  return MARL_RESOURCE_DIR_DEFAULT;
}

std::map<std::string, std::string> ResLoader::ParseResources(
    const std::string& content) {
  std::map<std::string, std::string> entries;
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::istringstream in(content.compare(0, kBom.size(), kBom) == 0
                            ? content.substr(kBom.size())
                            : content);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    entries.emplace(Unescape(line.substr(0, tab)),
                    Unescape(line.substr(tab + 1)));
  }
  return entries;
}

}  // namespace marl::siblings

namespace marl::siblings {

ClassInfo ResLoaderClass() {
  ClassInfo info;
  info.prog_id = ids::kResLoaderProgId;
  info.clsid = ids::kResLoaderClsid;
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::NotSupported;
  info.factory = [] { return std::make_shared<ResLoader>(); };
  return info;
}

}  // namespace marl::siblings
