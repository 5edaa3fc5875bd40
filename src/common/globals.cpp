// Shared operations of the component (see globals.h).
#include "common/globals.h"

#include <cctype>
#include <utility>

#include "common/errinfo.h"
#include "data/cparse.h"
#include "marlcheckout/class_ids.h"
#include "marlcheckout/registry.h"

namespace marl::common {

namespace {

constexpr const char* kProfileQuery =
    "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?";
constexpr const char* kResourceBaseName = "HvCost";

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Leading and trailing blanks (spaces) removed.
std::string TrimBlanks(const std::string& s) {
  size_t begin = s.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(' ');
  return s.substr(begin, end - begin + 1);
}

// The value as the help-file text shows it; a value without a text form
// shows as nothing.
std::string ValueText(const Variant& value) {
  try {
    return value.ToText();
  } catch (const Error&) {
    return "";
  }
}

[[noreturn]] void RaiseCheckError(data::CDataSource& ds, int32_t number,
                                  const std::string& error_item,
                                  const Variant* value) {
  std::string source = GetErrCodeText(ds, number);
  std::string help = GetErrItemText(ds, Variant::Text(error_item).ToInt32());
  if (value != nullptr) help += " = '" + ValueText(*value) + "'";
  throw Error(number, std::move(source), error_item, std::move(help));
}

}  // namespace

ErrorRecord ErrorRecord::From(const Error& e) {
  return ErrorRecord{e.number(), e.source(), e.description(), e.help_file(),
                     e.help_context()};
}

Error ErrorRecord::ToError() const {
  return Error(number, source, description, help_file, help_context);
}

ErrorRecord& PendingError() {
  thread_local ErrorRecord pending;
  return pending;
}

Variant GetProfileValue(data::CDataSource& ds, const std::string& key,
                        const std::string& category,
                        const Variant& default_value) {
  auto command = data::Command::Create();
  command->SetActiveConnection(ds.Connection());
  command->CommandType = data::ado::kCmdText;
  command->CommandText = kProfileQuery;
  auto& params = command->GetParameters();
  params.Append(command->CreateParameter("", data::ado::kVarWChar,
                                         data::ado::kParamInput, 30,
                                         Variant::Text(category)));
  params.Append(command->CreateParameter("", data::ado::kVarWChar,
                                         data::ado::kParamInput, 30,
                                         Variant::Text(key)));
  auto rs = command->Execute(nullptr, data::ado::kOptionUnspecified);
  if (!rs || rs->Eof()) {
    return default_value.IsMissing() ? Variant::Text("") : default_value;
  }
  return rs->Fields("FValue").Value();
}

void CheckValue(data::CDataSource& ds, const std::string& error_item,
                Variant& value, int32_t value_type, int32_t size,
                bool required) {
  if (value.IsEmptyOrNull() || value.IsMissing()) {
    if (required) RaiseCheckError(ds, err::kRequired, error_item, nullptr);
    value = Variant::Null();
    return;
  }
  // Value type 0 (a data type without a value type) converts nothing: the
  // conversion to Empty would drop the value.
  if (value_type != 0 && static_cast<int32_t>(value.Type()) != value_type) {
    try {
      value = value.ChangeType(static_cast<VarType>(value_type));
    } catch (const Error&) {
      RaiseCheckError(ds, err::kConversion, error_item, &value);
    }
  }
  if (value.Type() == VarType::Text) {
    size_t length = Variant::Utf16Length(value.AsText());
    if (length != 0 && size >= 1 && length > static_cast<size_t>(size)) {
      RaiseCheckError(ds, err::kTooLong, error_item, &value);
    }
  } else if (value.Type() == VarType::ByteArray) {
    size_t count = value.AsBytes().size();
    if (count == 0) {
      if (required) RaiseCheckError(ds, err::kRequired, error_item, nullptr);
      value = Variant::Null();
      return;
    }
    if (size >= 1 && count > static_cast<size_t>(size)) {
      RaiseCheckError(ds, err::kTooLong, error_item, &value);
    }
  }
}

int32_t DataTypeToVarType(int32_t data_type) {
  switch (data_type) {
    case 2:
      return 2;
    case 3:
      return 3;
    case 4:
      return 4;
    case 5:
      return 5;
    case 6:
      return 6;
    case 7:
    case 133:
    case 134:
    case 135:
      return 7;
    case 11:
      return 11;
    case 14:
    case 20:
    case 129:
    case 130:
    case 131:
    case 200:
    case 201:
    case 202:
      return 8;
    case 16:
      return 17;
    case 128:
    case 204:
    case 205:
      return 8209;
    default:
      return 0;
  }
}

std::shared_ptr<FieldValueSet> RowToValueSet(const data::Recordset& rs) {
  auto set = FieldValueSet::Create();
  set->Reserve(static_cast<size_t>(rs.FieldCount()));
  for (int32_t i = 0; i < rs.FieldCount(); ++i) {
    const data::Field& field = rs.Fields(i);
    set->SetValue(field.Name(), field.Value());
  }
  return set;
}

std::shared_ptr<ItemList> RecordsetToItemList(data::Recordset& rs) {
  auto list = ItemList::Create();
  if (rs.RecordCount() != 0) rs.MoveFirst();
  while (!rs.Eof()) {
    list->Add(Variant::Object(RowToValueSet(rs)));
    rs.MoveNext();
  }
  return list;
}

std::shared_ptr<ItemList> TakeRecordsetToItemList(data::Recordset& rs) {
  std::vector<std::string> names;
  if (rs.State() == data::ado::kStateOpen) {
    names.reserve(static_cast<size_t>(rs.FieldCount()));
    for (int32_t i = 0; i < rs.FieldCount(); ++i) {
      names.push_back(rs.Fields(i).Name());
    }
  }
  std::vector<std::vector<Variant>> rows = rs.TakeRows();
  auto list = ItemList::Create();
  for (std::vector<Variant>& row : rows) {
    auto set = FieldValueSet::Create();
    set->Reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      set->SetValue(names[i], std::move(row.at(i)));
    }
    std::vector<Variant>().swap(row);
    list->Add(Variant::Object(std::move(set)));
  }
  return list;
}

std::string LoadResText(const std::string& text, const std::string& language) {
  const ErrorRecord saved = PendingError();
  std::string result;
  try {
    std::shared_ptr<Dispatchable>& loader = data::ThreadResourceLoader();
    if (!loader) loader = Registry::Instance().Create(ids::kResLoaderProgId);
    if (loader->Get("ResFileBaseName").ToText() != kResourceBaseName) {
      loader->Put("ResFileBaseName", Variant::Text(kResourceBaseName));
    }
    if (loader->Get("LanguageID").ToText() != language) {
      loader->Put("LanguageID", Variant::Text(language));
    }
    if (language == "chs") {
      result = text;
    } else {
      result = loader->Invoke("LoadString", {Variant::Text(TrimBlanks(text))})
                   .ToText();
    }
  } catch (const Error& e) {
    PendingError() = ErrorRecord::From(e);
    result = text;
  } catch (const std::exception&) {
    result = text;
  }
  PendingError() = saved;
  return result;
}

std::string GetPropValue(const std::string& props, const std::string& key) {
  try {
    std::string s = props;
    if (s.empty() || s.back() != ';') s += ';';
    const std::string lower = Lower(s);
    const std::string needle = Lower(key) + "=";
    size_t pos = 0;
    while ((pos = lower.find(needle, pos)) != std::string::npos) {
      size_t start = pos;
      while (start > 0 && s[start - 1] == ' ') --start;
      if (start == 0 || s[start - 1] == ';') break;
      ++pos;
    }
    if (pos == std::string::npos) return "";
    std::string rest = s.substr(pos);
    rest = rest.substr(0, rest.find(';'));
    return rest.substr(needle.size());
  } catch (const std::exception&) {
    return "";
  }
}

std::string QuoteDoubled(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string PeriodKeyText(int32_t year, int32_t period) {
  return Variant::FormatDouble(static_cast<double>(year) +
                               0.0001 * static_cast<double>(period));
}

std::shared_ptr<FieldValueSet> ValueSetArgument(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return nullptr;
  if (v.Type() != VarType::Object) throw Error::Of(err::kTypeMismatch);
  if (!v.AsObject()) return nullptr;
  auto set = std::dynamic_pointer_cast<FieldValueSet>(v.AsObject());
  if (!set) throw Error::Of(err::kTypeMismatch);
  return set;
}

}  // namespace marl::common
