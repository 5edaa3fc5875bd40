// Shared pieces of the marl-checkout commands (see common.h).
#include "common.h"

#include <sqlite3.h>
#include <strings.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>

#include "data/ado.h"
#include "platform/install_paths.h"

#ifndef MARL_SCHEMA_FILE
#define MARL_SCHEMA_FILE "schema/sqlite/erp.sql"
#endif

namespace marl::cli {

std::vector<CommandInfo>& Commands() {
  static std::vector<CommandInfo> commands;
  return commands;
}

CommandRegistration::CommandRegistration(std::string name, int order,
                                         std::string description,
                                         CommandSetup setup) {
  Commands().push_back(
      {std::move(name), order, std::move(description), std::move(setup)});
}

std::string SqliteDsn(const std::string& path, const std::string& language) {
  if (path.find_first_of(";}") != std::string::npos) {
    throw UsageError("database path must not contain ';' or '}': " + path);
  }
  return "ConnectString={Provider=SQLite;Data Source=" + path +
         "};DBMS Name=SQLite;DBMS Version=" + sqlite3_libversion() +
         ";LANGUAGE=" + language;
}

namespace {

// The folder holding one schema folder per database product: the installed
// data directory's schema/ when there is one, else the source tree's.
std::filesystem::path SchemaRoot() {
  const std::string& installed = platform::InstalledDataDirectory();
  if (!installed.empty()) {
    std::filesystem::path root = std::filesystem::path(installed) / "schema";
    std::error_code ec;
    if (std::filesystem::is_directory(root, ec)) return root;
  }
  return std::filesystem::path(MARL_SCHEMA_FILE).parent_path().parent_path();
}

}  // namespace

std::string SchemaFile() {
  if (const char* env = std::getenv("MARL_SCHEMA_FILE")) {
    if (*env != '\0') return env;
  }
  return (SchemaRoot() / "sqlite" / "erp.sql").string();
}

std::string SchemaFileFor(const std::string& dbms_name) {
  auto is = [&dbms_name](const char* name) {
    return strcasecmp(dbms_name.c_str(), name) == 0;
  };
  if (is("SQLite")) return SchemaFile();
  const char* folder = is("PostgreSQL")             ? "postgresql"
                       : is("Microsoft SQL Server") ? "sqlserver"
                       : is("SQL Server")           ? "sqlserver"
                                                    : nullptr;
  if (folder == nullptr) return "";
  return (SchemaRoot() / folder / "erp.sql").string();
}

namespace {

Json RecordsetJson(const data::Recordset& source) {
  Json rows = Json::array();
  if (source.State() != data::ado::kStateOpen) return rows;
  auto rs = source.Clone();
  if (rs->RecordCount() != 0) rs->MoveFirst();
  while (!rs->Eof()) {
    Json row = Json::object();
    for (int32_t i = 0; i < rs->FieldCount(); ++i) {
      const data::Field& f = rs->Fields(i);
      row[f.Name()] = ToJson(f.Value());
    }
    rows.push_back(std::move(row));
    rs->MoveNext();
  }
  return rows;
}

Json ObjectJson(const std::shared_ptr<Dispatchable>& object) {
  if (!object) return nullptr;
  if (auto list = std::dynamic_pointer_cast<ItemList>(object)) {
    Json items = Json::array();
    for (int32_t i = 1; i <= list->UBound(); ++i) {
      items.push_back(ToJson(list->Item(i)));
    }
    return items;
  }
  if (auto set = std::dynamic_pointer_cast<FieldValueSet>(object)) {
    Json entries = Json::object();
    for (const std::string& key : set->Keys()) {
      entries[key] = ToJson(set->Value(key));
    }
    return entries;
  }
  if (auto rs = std::dynamic_pointer_cast<data::Recordset>(object)) {
    return RecordsetJson(*rs);
  }
  return nullptr;
}

}  // namespace

Json ToJson(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
      return nullptr;
    case VarType::I2:
      return v.AsI2();
    case VarType::I4:
      return v.AsI4();
    case VarType::Byte:
      return v.AsByte();
    case VarType::R4:
      return static_cast<double>(v.AsR4());
    case VarType::R8:
      return v.AsR8();
    case VarType::Currency:
      return static_cast<double>(v.AsCurrencyScaled()) / 10000.0;
    case VarType::Date:
      return Variant::FormatDate(v.AsDate());
    case VarType::Text:
      return v.AsText();
    case VarType::Bool:
      return v.AsBool();
    case VarType::ByteArray: {
      Json bytes = Json::array();
      for (uint8_t b : v.AsBytes()) bytes.push_back(b);
      return bytes;
    }
    case VarType::Object:
      return ObjectJson(v.AsObject());
  }
  return nullptr;
}

Json ErrorJson(const Error& e) {
  Json body = Json::object();
  body["number"] = e.number();
  body["source"] = e.source();
  body["description"] = e.description();
  body["helpFile"] = e.help_file();
  body["helpContext"] = e.help_context();
  Json j = Json::object();
  j["error"] = std::move(body);
  return j;
}

std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool ParseDateText(const std::string& text, double* date) {
  static const std::regex kShape(R"(\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?)");
  if (!std::regex_match(text, kShape)) return false;
  return Variant::ParseDate(text, date);
}

namespace {

int64_t ParseWhole(const std::string& text, const ParamInfo& param, int64_t lo,
                   int64_t hi) {
  int64_t value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (!text.empty() && *begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < lo ||
      value > hi) {
    throw UsageError("argument " + param.name + ": not a whole number in [" +
                     std::to_string(lo) + ", " + std::to_string(hi) +
                     "]: " + text);
  }
  return value;
}

Variant JsonValue(const Json& j, const std::string& key) {
  if (j.is_null()) return Variant::Null();
  if (j.is_boolean()) return Variant::Bool(j.get<bool>());
  if (j.is_number_integer()) {
    // A whole number above the 64-bit signed range arrives unsigned: read
    // as signed it would wrap to a negative value.
    const bool fits =
        j.is_number_unsigned()
            ? j.get<uint64_t>() <=
                  static_cast<uint64_t>(std::numeric_limits<int32_t>::max())
            : j.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
                  j.get<int64_t>() <= std::numeric_limits<int32_t>::max();
    if (fits) return Variant::I4(static_cast<int32_t>(j.get<int64_t>()));
    return Variant::R8(j.get<double>());
  }
  if (j.is_number()) return Variant::R8(j.get<double>());
  if (j.is_string()) {
    const std::string s = j.get<std::string>();
    double date = 0;
    if (ParseDateText(s, &date)) return Variant::Date(date);
    return Variant::Text(s);
  }
  throw UsageError("value set entry " + key +
                   ": only numbers, text, true/false and null are allowed");
}

}  // namespace

std::shared_ptr<FieldValueSet> JsonToValueSet(const std::string& text) {
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::exception& e) {
    // A syntax error, or a number beyond a double (out_of_range).
    throw UsageError(std::string("not a JSON object: ") + e.what());
  }
  if (!j.is_object()) throw UsageError("not a JSON object: " + text);
  auto set = FieldValueSet::Create();
  for (const auto& [key, value] : j.items()) {
    set->SetValue(key, JsonValue(value, key));
  }
  return set;
}

Variant ArgToVariant(const std::string& text, const ParamInfo& param) {
  switch (param.type) {
    case VarType::I2:
      return Variant::I2(static_cast<int16_t>(
          ParseWhole(text, param, std::numeric_limits<int16_t>::min(),
                     std::numeric_limits<int16_t>::max())));
    case VarType::I4:
      return Variant::I4(static_cast<int32_t>(
          ParseWhole(text, param, std::numeric_limits<int32_t>::min(),
                     std::numeric_limits<int32_t>::max())));
    case VarType::Bool: {
      if (text == "true" || text == "1") return Variant::Bool(true);
      if (text == "false" || text == "0") return Variant::Bool(false);
      throw UsageError("argument " + param.name +
                       ": expected true, false, 1 or 0: " + text);
    }
    case VarType::Date: {
      double date = 0;
      if (!ParseDateText(text, &date)) {
        throw UsageError(
            "argument " + param.name +
            ": expected YYYY-MM-DD or YYYY-MM-DD HH:MM:SS: " + text);
      }
      return Variant::Date(date);
    }
    case VarType::R4:
    case VarType::R8:
    case VarType::Currency: {
      char* end = nullptr;
      double v = std::strtod(text.c_str(), &end);
      if (text.empty() || end != text.c_str() + text.size() ||
          !std::isfinite(v)) {
        throw UsageError("argument " + param.name + ": not a number: " + text);
      }
      return Variant::R8(v);
    }
    case VarType::Object:
      if (text == "null") return Variant::Object(nullptr);
      return Variant::Object(JsonToValueSet(text));
    default:
      return Variant::Text(text);
  }
}

}  // namespace marl::cli
