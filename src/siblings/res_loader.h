// The resource-text loader "OpalRESLOADER.Loader": renders the component's
// fixed Simplified Chinese texts in another language.
//
// Late-bound members (names without regard to case):
//   ResFileBaseName  property (text), read and write
//   LanguageID       property (text), read and write
//   LoadString(text) method: the text in the loader's language
//   Unload()         method: drops the loaded resources
//
// Resources
// - One file per base name and language, <base>.<language>.txt, in the
//   resource directory: the environment variable MARL_RESOURCE_DIR when it
//   is set and not empty; else the resources/ folder of the installed data
//   directory (platform/install_paths.h) when it exists; else the source
//   tree's resources/ directory compiled into the build.
// - Format (UTF-8): one entry per line, the key (the Simplified Chinese
//   text), a TAB, the translated text. Lines that are empty or start with
//   '#' are skipped, as are lines without a TAB. In key and text, "\t",
//   "\n", "\r" and "\\" stand for TAB, line feed, carriage return and a
//   backslash. A trailing carriage return of a line is dropped. When a key
//   appears twice, the first entry counts.
// - LoadString of a text without an entry, or when the file is missing or
//   unreadable, gives the text unchanged. It never fails.
// - The file is read on the first LoadString after the base name or the
//   language changed, or after Unload.
// Thread safety: one loader per thread (the component keeps it in a
// per-thread slot); an instance is not synchronised.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"

namespace marl::siblings {

class ResLoader : public Component {
 public:
  ResLoader();
  ~ResLoader() override;

  const std::string& ResFileBaseName() const { return base_name_; }
  void SetResFileBaseName(const std::string& name);
  const std::string& LanguageID() const { return language_; }
  void SetLanguageID(const std::string& language);

  std::string LoadString(const std::string& text);
  void Unload();

  const DispatchTable& Table() const override;

  // The directory searched for resource files (see above).
  static std::string ResourceDirectory();
  // Parses resource file text (see the format above).
  static std::map<std::string, std::string> ParseResources(
      const std::string& content);

 private:
  std::string base_name_;
  std::string language_;
  std::optional<std::map<std::string, std::string>> entries_;
};

// The loader's registry entry ("OpalRESLOADER.Loader"); the server
// registers it.
ClassInfo ResLoaderClass();

}  // namespace marl::siblings
