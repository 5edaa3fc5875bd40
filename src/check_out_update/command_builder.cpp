// CommandBuilder (see command_builder.h).
#include "check_out_update/command_builder.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "common/errinfo.h"
#include "common/globals.h"
#include "marlcheckout/error.h"

namespace marl::check_out_update {

namespace {

// Source of the runtime errors the builder raises itself (5, 91).
constexpr const char* kRuntimeSource = "MarlCheckOut";
// "The condition lacks key fields."
constexpr const char* kKeysMissingText = "条件关键字不全";
// "The code is already in use and can be neither changed nor deleted."
constexpr const char* kCodeUsedText = "该编码已经被使用，不能修改删除";

// The description array grows by count / 8 elements, within these bounds.
constexpr int32_t kMinGrowth = 4;
constexpr int32_t kMaxGrowth = 1024;

// `text` without its last `count` characters; like the runtime's Left with a
// negative length, an empty list raises 5 (invalid argument).
std::string DropLast(const std::string& text, size_t count) {
  if (text.size() < count)
    throw Error::Of(err::kInvalidArgument, kRuntimeSource);
  return text.substr(0, text.size() - count);
}

std::string Upper(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

std::string ValueText(const Variant& value) {
  try {
    return value.ToText();
  } catch (const Error&) {
    return "";
  }
}

bool IsNumberKind(const Variant& v) {
  return v.IsNumeric() || v.Type() == VarType::Date;
}

double NumberOf(const Variant& v) {
  return v.Type() == VarType::Date ? v.AsDate() : v.ToDouble();
}

// Three-way comparison of two column values for the layout and key checks:
// -1, 0, 1, or 2 when they do not compare (a null, or kinds that cannot be
// brought together). Numbers (and dates) compare by value; texts compare
// exactly (byte order); a number and a text compare as numbers when the text
// reads as one, else by their texts.
int Compare(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull() || a.IsMissing() || b.IsMissing()) return 2;
  auto three_way = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  if (a.IsEmpty() && b.IsEmpty()) return 0;
  try {
    if (IsNumberKind(a) && IsNumberKind(b)) {
      return three_way(NumberOf(a), NumberOf(b));
    }
    if (a.Type() == VarType::Text && b.Type() == VarType::Text) {
      return three_way(a.AsText(), b.AsText());
    }
    if (a.Type() == VarType::Text || b.Type() == VarType::Text) {
      const Variant& text = a.Type() == VarType::Text ? a : b;
      const Variant& other = a.Type() == VarType::Text ? b : a;
      if (IsNumberKind(other) || other.IsEmpty()) {
        try {
          double t = text.ToDouble();
          double o = other.IsEmpty() ? 0.0 : NumberOf(other);
          return a.Type() == VarType::Text ? three_way(t, o) : three_way(o, t);
        } catch (const Error&) {
          // Not a number: compare the texts.
        }
      }
      return three_way(ValueText(a), ValueText(b));
    }
    if (a.IsEmpty() || b.IsEmpty()) {
      const Variant& other = a.IsEmpty() ? b : a;
      if (!IsNumberKind(other)) return 2;
      double o = NumberOf(other);
      return a.IsEmpty() ? three_way(0.0, o) : three_way(o, 0.0);
    }
    return a == b ? 0 : 2;
  } catch (const Error&) {
    return 2;
  }
}

bool SameValue(const Variant& a, const Variant& b) {
  return Compare(a, b) == 0;
}

}  // namespace

CommandBuilder::CommandBuilder() : fields_(FieldValueSet::Create()) {}

CommandBuilder::~CommandBuilder() = default;

const FieldDesc& CommandBuilder::Field(int32_t index) const {
  if (index < 1 || index > field_count_) {
    throw Error::Of(err::kSubscriptRange, kRuntimeSource);
  }
  return descs_[static_cast<size_t>(index - 1)];
}

FieldValueSet& CommandBuilder::Values() const {
  if (!fields_) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  return *fields_;
}

data::CDataSource& CommandBuilder::Source() const {
  if (!data_source_) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  return *data_source_;
}

std::string CommandBuilder::Language() const {
  if (!data_source_ || !data_source_->ParseObject()) {
    throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  }
  return data_source_->ParseObject()->LanguageID();
}

// ---------------------------------------------------------------------------
// Set-up

void CommandBuilder::InitClassDataEnv(const std::string& Props) {
  parser_ = std::make_shared<data::CParse>();
  if (parser_->ParseString(Props)) {
    auto ds = std::make_shared<data::CDataSource>();
    ds->SetParseObject(parser_);
    data_source_ = std::move(ds);
  } else {
    throw Error(err::kParseString, "ParseString:" + Props, "");
  }
}

void CommandBuilder::Create(const std::string& aTableName,
                            std::shared_ptr<FieldValueSet> aFields,
                            const Variant& aActiveConnection) {
  table_name_ = aTableName;
  exists_text_.valid = false;
  insert_text_.valid = false;
  if (aFields) fields_ = aFields->Clone();
  command_ = data::Command::Create();
  command_->CommandTimeout = 0;
  command_->CommandType = data::ado::kCmdText;
  if (aActiveConnection.IsMissing()) {
    active_connection_ = Variant::Object(Source().Connection());
  } else if (aActiveConnection.Type() == VarType::Object) {
    active_connection_ = aActiveConnection;
  } else {
    active_connection_ = Variant::Text(aActiveConnection.ToText());
  }
}

void CommandBuilder::DescribField(const std::string& Name, int32_t DataType,
                                  const FieldOptions& options) {
  exists_text_.valid = false;
  insert_text_.valid = false;
  ++field_count_;
  if (field_count_ > capacity_) {
    int32_t step = std::clamp(field_count_ / 8, kMinGrowth, kMaxGrowth);
    capacity_ = std::max(capacity_ + step, field_count_);
    descs_.resize(static_cast<size_t>(capacity_));
  }
  FieldDesc& f = descs_[static_cast<size_t>(field_count_ - 1)];
  f = FieldDesc();
  f.Name = Name;
  f.DataType = DataType;
  f.Size = options.size;
  f.Required = options.required;
  f.Default = options.default_value.IsMissing() ? Variant::Empty()
                                                : options.default_value;
  f.Layout = options.layout;
  f.Index = options.index;
  f.Pkey = options.pkey;
  f.SourceID = options.source_id;
  f.ErrItem = options.err_item;
  f.ErrItemText = std::to_string(f.ErrItem);
  if (!described_names_) described_names_ = FieldValueSet::Create();
  if (described_names_->Exists(Name)) distinct_names_ = false;
  described_names_->SetValue(Name, Variant());
  if (f.Pkey) key_fields_.push_back(field_count_ - 1);
  if (f.Index || !f.Layout.empty() || !f.SourceID.empty()) {
    reads_fields_ = true;
  }

  int32_t precision = f.Size;
  int32_t scale = 0;
  int32_t actual_size = 0;
  int32_t bind_type = 0;
  f.ActualType = Source().GetActualType(f.DataType, &precision, &scale,
                                        &actual_size, &bind_type);
  f.ActualSize = actual_size;
  f.BindType = bind_type;

  if (!options.value.IsMissing()) Values().SetValue(Name, options.value);
}

bool CommandBuilder::IsFieldsDirty() const {
  const FieldValueSet& values = Values();
  for (int32_t i = 0; i < field_count_; ++i) {
    if (values.Exists(descs_[static_cast<size_t>(i)].Name)) return true;
  }
  return false;
}

int32_t CommandBuilder::CommandTimeout() const {
  if (!command_) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  return command_->CommandTimeout;
}

void CommandBuilder::SetCommandTimeout(int32_t NewVal) {
  if (!command_) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  command_->CommandTimeout = NewVal;
}

// ---------------------------------------------------------------------------
// Checks

void CommandBuilder::RaiseFieldError(int32_t number, const FieldDesc& field,
                                     const Variant* value) {
  std::string source = common::GetErrCodeText(Source(), number);
  std::string help = common::GetErrItemText(Source(), field.ErrItem);
  if (value != nullptr) help += " ='" + ValueText(*value) + "'";
  throw Error(number, std::move(source), std::to_string(field.ErrItem),
              std::move(help));
}

void CommandBuilder::RaiseRowError(int32_t number) {
  throw Error(number, common::GetErrCodeText(Source(), number), "");
}

void CommandBuilder::CheckFields(bool CreateNew, bool aCheckIndex) {
  CheckFieldsFor(CreateNew, aCheckIndex, false);
}

void CommandBuilder::CheckFieldsFor(bool CreateNew, bool aCheckIndex,
                                    bool record, const FieldValueSet* row) {
  // Written back to: Fields, unless the values come from `row`.
  FieldValueSet* written = row != nullptr ? nullptr : &Values();
  const FieldValueSet& values = row != nullptr ? *row : *written;
  // With distinct names each described column held afterwards holds the
  // value checked here, so the INSERT that follows can take the values from
  // the check instead of looking each up again.
  record = record && distinct_names_;
  insert_recorded_ = false;
  insert_fields_.clear();
  insert_values_.clear();
  // The key columns' values for the row check. With distinct names they are
  // kept in field order without a set; otherwise they go into a set as they
  // always have (a later key column of the same name replaces the value of
  // an earlier one, and every column of that name then takes part).
  std::shared_ptr<FieldValueSet> keys =
      distinct_names_ ? nullptr : FieldValueSet::Create();
  key_values_.clear();
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    Variant v;
    const bool held = values.Lookup(f.Name, &v);
    if (held) {
      const VarType given = v.Type();
      common::CheckValue(Source(), f.ErrItemText, v,
                         common::DataTypeToVarType(f.DataType), f.Size,
                         f.Required);
      bool changed = v.Type() != given;
      if (v.IsEmptyOrNull() && !f.Default.IsEmpty()) {
        v = f.Default;
        changed = true;
      }
      // Storing a value the check left as it was changes nothing.
      if (changed && written != nullptr) written->SetValue(f.Name, v);
    } else if (CreateNew && f.Required) {
      if (f.Default.IsEmpty()) RaiseFieldError(err::kRequired, f, nullptr);
      if (written != nullptr) written->SetValue(f.Name, f.Default);
      if (record) {
        insert_fields_.push_back(i);
        insert_values_.push_back(f.Default);
      }
    }
    if (aCheckIndex && f.Index && ValueExists(f)) {
      Variant current = values.Value(f.Name);
      RaiseFieldError(err::kIndexExists, f, &current);
    }
    if (!f.Layout.empty()) LayoutMatches(f);
    if (!f.SourceID.empty()) SourceExists(f);
    if (record && held) {
      insert_fields_.push_back(i);
      insert_values_.push_back(f.Pkey ? v : std::move(v));
    }
    // A key column that took its default above enters with what the lookup
    // gave (nothing), as the row key check has always done.
    if (f.Pkey) {
      if (keys) {
        keys->SetValue(f.Name, std::move(v));
      } else {
        key_values_.push_back(std::move(v));
      }
    }
  }
  if (keys ? keys->Count() != 0 : !key_values_.empty()) {
    bool exists = keys ? RowExists(*keys) : KeyRowExists();
    if (exists && CreateNew) RaiseRowError(err::kRowExists);
    if (!exists && !CreateNew) RaiseRowError(err::kRowMissing);
  }
  insert_recorded_ = record;
}

bool CommandBuilder::ExtractKeyFilter(
    std::shared_ptr<FieldValueSet>& filter) const {
  if (!filter) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  auto keys = FieldValueSet::Create();
  bool any = false;
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    if (!f.Pkey) continue;
    Variant v;
    if (!filter->Lookup(f.Name, &v)) return false;
    keys->SetValue(f.Name, std::move(v));
    any = true;
  }
  if (!any) return false;
  filter = keys->Clone();
  return true;
}

bool CommandBuilder::DeleteFilter(
    std::shared_ptr<FieldValueSet>& filter) const {
  return ExtractKeyFilter(filter);
}

void CommandBuilder::CheckUpdate(std::shared_ptr<FieldValueSet>& filter) {
  if (!ExtractKeyFilter(filter)) {
    throw Error(err::kKeysMissingUpdate,
                common::LoadResText(kKeysMissingText, Language()), "");
  }
  PrepareCommand();
  std::string text = "SELECT * FROM " + table_name_ + " WHERE " +
                     AssignmentList(*filter, "AND");
  auto rs = Run(text);
  if (rs->Eof()) RaiseRowError(err::kSource);
  MergeCurrentRow(*rs);
  CheckFields(!KeysUnchanged(*filter), false);
}

void CommandBuilder::MergeCurrentRow(const data::Recordset& row) {
  FieldValueSet& values = Values();
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    Variant current;
    if (!values.Lookup(f.Name, &current)) {
      values.SetValue(f.Name, row.Fields(f.Name).Value());
    } else if (f.Index) {
      // A null on either side compares as "not different".
      const Variant& stored = row.Fields(f.Name).Value();
      bool differs = !stored.IsNull() && !current.IsNull() &&
                     Compare(stored, current) != 0;
      if (differs && ValueExists(f)) {
        RaiseFieldError(err::kIndexExists, f, &current);
      }
    }
  }
}

bool CommandBuilder::KeysUnchanged(const FieldValueSet& filter) const {
  const FieldValueSet& values = Values();
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    if (!f.Pkey) continue;
    if (!SameValue(filter.Value(f.Name), values.Value(f.Name))) return false;
  }
  return true;
}

bool CommandBuilder::ValueExists(const FieldDesc& field) {
  PrepareCommand();
  AppendParameter("", field, Values().Value(field.Name));
  return !Run("SELECT " + field.Name + " FROM " + table_name_ + " WHERE " +
              field.Name + "=?")
              ->Eof();
}

void CommandBuilder::AppendPresent(const FieldValueSet& set) {
  present_.clear();
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    Variant v;
    if (!set.Lookup(f.Name, &v)) continue;
    present_.push_back(i);
    AppendParameter(f.Name, f, std::move(v));
  }
}

bool CommandBuilder::RowExists(const FieldValueSet& set) {
  PrepareCommand();
  AppendPresent(set);
  return !Run(ExistsText())->Eof();
}

bool CommandBuilder::KeyRowExists() {
  PrepareCommand();
  present_ = key_fields_;
  for (size_t k = 0; k < key_fields_.size(); ++k) {
    const FieldDesc& f = descs_[static_cast<size_t>(key_fields_[k])];
    AppendParameter(f.Name, f, std::move(key_values_[k]));
  }
  return !Run(ExistsText())->Eof();
}

// The text is FieldNameList(set) and AssignmentList(set, "AND") put
// together for the fields in present_, built once for each list of them.
const std::string& CommandBuilder::ExistsText() {
  if (!exists_text_.valid || exists_text_.fields != present_) {
    std::string names;
    std::string where;
    for (int32_t i : present_) {
      const std::string& name = descs_[static_cast<size_t>(i)].Name;
      names += name;
      names += ',';
      where += ' ';
      where += name;
      where += "=? AND";
    }
    exists_text_.valid = false;
    exists_text_.text = "SELECT " + DropLast(names, 1) + " FROM " +
                        table_name_ + " WHERE " + DropLast(where, 3);
    exists_text_.fields = present_;
    exists_text_.valid = true;
  }
  return exists_text_.text;
}

void CommandBuilder::SourceExists(const FieldDesc& field) {
  size_t dot = field.SourceID.rfind('.');
  if (dot == std::string::npos) return;
  std::string table = field.SourceID.substr(0, dot);
  std::string column = field.SourceID.substr(dot + 1);
  PrepareCommand();
  Variant value = Values().Value(field.Name);
  AppendParameter("", field, value);
  if (Run("SELECT " + column + " FROM " + table + " WHERE " + column + "=?")
          ->Eof()) {
    RaiseFieldError(err::kSource, field, &value);
  }
}

void CommandBuilder::LayoutMatches(const FieldDesc& field) {
  std::string_view layout = field.Layout;
  size_t start = 0;
  while (true) {
    size_t comma = layout.find(',', start);
    std::string item(layout.substr(start, comma == std::string_view::npos
                                              ? std::string_view::npos
                                              : comma - start));
    if (LayoutItemMatches(field, item)) return;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  Variant value = Values().Value(field.Name);
  RaiseFieldError(err::kLayout, field, &value);
}

bool CommandBuilder::LayoutItemMatches(const FieldDesc& field,
                                       const std::string& item) {
  const Variant value = Values().Value(field.Name);
  const int32_t value_type = common::DataTypeToVarType(field.DataType);
  const std::string& error_item = field.ErrItemText;
  auto converted = [&](const std::string& text) {
    Variant v = Variant::Text(Upper(text));
    common::CheckValue(Source(), error_item, v, value_type, 0, false);
    return v;
  };
  size_t dash = item.rfind('-');
  if (dash == std::string::npos) {
    Variant upper_value = value.Type() == VarType::Text
                              ? Variant::Text(Upper(value.AsText()))
                              : value;
    return SameValue(converted(item), upper_value);
  }
  Variant lower = converted(item.substr(0, dash));
  Variant upper = converted(item.substr(dash + 1));
  int low = Compare(lower, value);
  int high = Compare(value, upper);
  return (low == -1 || low == 0) && (high == -1 || high == 0);
}

// ---------------------------------------------------------------------------
// Statements

void CommandBuilder::AppendParameter(const std::string& name,
                                     const FieldDesc& field, Variant value) {
  // Parameter objects cleared from the command are kept and filled anew, so
  // that a statement per row does not allocate its parameters again.
  data::Parameters& params = command_->GetParameters();
  const size_t position = static_cast<size_t>(params.Count());
  if (position < spare_parameters_.size() &&
      spare_parameters_[position].use_count() == 1) {
    const std::shared_ptr<data::Parameter>& p = spare_parameters_[position];
    if (p->name != name) p->name = name;  // mostly the same name again
    p->type = field.BindType;
    p->direction = data::ado::kParamInput;
    p->size = field.ActualSize;
    p->value = std::move(value);
    params.Append(p);
    return;
  }
  auto p =
      command_->CreateParameter(name, field.BindType, data::ado::kParamInput,
                                field.ActualSize, std::move(value));
  if (position < spare_parameters_.size()) {
    spare_parameters_[position] = p;
  } else if (position == spare_parameters_.size()) {
    spare_parameters_.push_back(p);
  }
  params.Append(std::move(p));
}

std::string CommandBuilder::FieldNameList(const FieldValueSet& set) const {
  std::string text;
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    if (!set.Exists(f.Name)) continue;
    text += f.Name;
    text += ',';
  }
  return DropLast(text, 1);
}

std::string CommandBuilder::PlaceholderList(const FieldValueSet& set) {
  std::string text;
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    Variant v;
    if (!set.Lookup(f.Name, &v)) continue;
    text += "?,";
    AppendParameter(f.Name, f, std::move(v));
  }
  return DropLast(text, 1);
}

std::string CommandBuilder::AssignmentList(const FieldValueSet& set,
                                           const std::string& separator) {
  std::string text;
  for (int32_t i = 0; i < field_count_; ++i) {
    const FieldDesc& f = descs_[static_cast<size_t>(i)];
    Variant v;
    if (!set.Lookup(f.Name, &v)) continue;
    text += ' ';
    text += f.Name;
    text += "=? ";
    text += separator;
    AppendParameter(f.Name, f, std::move(v));
  }
  return DropLast(text, separator.size());
}

std::string CommandBuilder::BuildSql(Mode mode, const FieldValueSet* filter) {
  auto need_filter = [&]() -> const FieldValueSet& {
    if (filter == nullptr) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
    return *filter;
  };
  switch (mode) {
    case kInsert: {
      // FieldNameList and PlaceholderList over Fields, in one walk (or from
      // the values the check just recorded); the text is built once for each
      // list of present fields.
      if (insert_recorded_) {
        insert_recorded_ = false;
        present_.swap(insert_fields_);
        for (size_t k = 0; k < present_.size(); ++k) {
          const FieldDesc& f = descs_[static_cast<size_t>(present_[k])];
          AppendParameter(f.Name, f, std::move(insert_values_[k]));
        }
      } else {
        AppendPresent(Values());
      }
      if (!insert_text_.valid || insert_text_.fields != present_) {
        std::string names;
        std::string marks;
        for (int32_t i : present_) {
          names += descs_[static_cast<size_t>(i)].Name;
          names += ',';
          marks += "?,";
        }
        insert_text_.valid = false;
        insert_text_.text = "INSERT INTO " + table_name_ + " (" +
                            DropLast(names, 1) + ")" + "VALUES (" +
                            DropLast(marks, 1) + ")";
        insert_text_.fields = present_;
        insert_text_.valid = true;
      }
      return insert_text_.text;
    }
    case kUpdate: {
      std::string set = AssignmentList(Values(), ",");
      std::string where = AssignmentList(need_filter(), "AND");
      return "UPDATE " + table_name_ + " SET " + set + " WHERE " + where;
    }
    case kDelete:
      return "DELETE FROM " + table_name_ + " WHERE " +
             AssignmentList(need_filter(), "AND");
  }
  return "";
}

void CommandBuilder::ClearParameters() {
  // The same as deleting parameter 0 until none is left, in one step.
  command_->GetParameters().Clear();
}

void CommandBuilder::PrepareCommand() {
  if (!command_) {
    command_ = data::Command::Create();
    command_->CommandTimeout = 0;
    command_->CommandType = data::ado::kCmdText;
    active_connection_ = Variant::Object(Source().Connection());
  }
  if (!command_->HasActiveConnection()) {
    if (active_connection_.Type() == VarType::Object) {
      auto connection = std::dynamic_pointer_cast<data::Connection>(
          active_connection_.AsObject());
      if (!connection) throw Error::Of(err::kTypeMismatch, kRuntimeSource);
      command_->SetActiveConnection(std::move(connection));
    } else {
      command_->SetActiveConnection(active_connection_.ToText());
    }
  }
  ClearParameters();
}

std::shared_ptr<data::Recordset> CommandBuilder::Run(const std::string& text) {
  command_->CommandText = text;
  int64_t affected = 0;
  return command_->Execute(&affected, data::ado::kOptionUnspecified);
}

bool CommandBuilder::Exec(Mode mode, std::shared_ptr<FieldValueSet>* filter) {
  switch (mode) {
    case kInsert:
      if (!IsFieldsDirty()) return false;
      CheckFieldsFor(true, true, true);
      break;
    case kUpdate:
      if (!IsFieldsDirty()) return false;
      CheckUpdate(*filter);
      break;
    case kDelete:
      DeleteFilter(*filter);
      break;
  }
  PrepareCommand();
  std::string text =
      BuildSql(mode, filter != nullptr ? filter->get() : nullptr);
  Run(text);
  return true;
}

bool CommandBuilder::ExecInsert() { return Exec(kInsert, nullptr); }

bool CommandBuilder::ExecInsertRow(const FieldValueSet& row) {
  if (reads_fields_ || !distinct_names_) {
    std::shared_ptr<FieldValueSet> saved = fields_;
    fields_ = row.Clone();
    try {
      const bool sent = Exec(kInsert, nullptr);
      fields_ = std::move(saved);
      return sent;
    } catch (...) {
      fields_ = std::move(saved);
      throw;
    }
  }
  bool dirty = false;
  for (int32_t i = 0; i < field_count_ && !dirty; ++i) {
    dirty = row.Exists(descs_[static_cast<size_t>(i)].Name);
  }
  if (!dirty) return false;
  CheckFieldsFor(true, true, true, &row);
  PrepareCommand();
  Run(BuildSql(kInsert, nullptr));
  return true;
}

bool CommandBuilder::ExecUpdate(std::shared_ptr<FieldValueSet>& aFilter) {
  return Exec(kUpdate, &aFilter);
}

bool CommandBuilder::ExecDelete(std::shared_ptr<FieldValueSet>& aFilter) {
  return Exec(kDelete, &aFilter);
}

bool CommandBuilder::ExecUpdateInsert(std::shared_ptr<FieldValueSet>& aFilter) {
  const std::string language = Language();
  if (ExtractKeyFilter(aFilter)) {
    if (RowExists(*aFilter)) return Exec(kUpdate, &aFilter);
    return Exec(kInsert, nullptr);
  }
  throw Error(err::kKeysMissingUpdateInsert,
              common::LoadResText(kKeysMissingText, language), "");
}

bool CommandBuilder::BmIDUsed(const std::string& aTable,
                              const std::string& aField,
                              const std::string& aValue,
                              const std::string& sFilter) {
  std::string table = aTable;
  if (!aTable.empty() &&
      aTable.compare(0, aTable.size() - 1, "CB_BmStandard") == 0) {
    table = "CB_BmStandard";
  }
  std::string text = "SELECT " + aField + " FROM " + table + " WHERE " +
                     aField + "='" + common::QuoteDoubled(aValue) + "'";
  if (!sFilter.empty()) text += " AND " + sFilter;
  PrepareCommand();
  const std::string language = Language();
  if (!Run(text)->Eof()) {
    throw Error(err::kCodeUsed, common::LoadResText(kCodeUsedText, language),
                "");
  }
  return false;
}

}  // namespace marl::check_out_update
