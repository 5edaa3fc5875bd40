// Private operations of CheckOutUpdate (see transfer_ops.h).
#include "check_out_update/transfer_ops.h"

#include <charconv>
#include <utility>
#include <vector>

#include "common/globals.h"
#include "marlcheckout/error.h"

namespace marl::check_out_update {

namespace {

constexpr const char* kRuntimeSource = "MarlCheckOut";

struct Column {
  const char* name;
  int32_t type;
  int32_t size;
  bool required;
  bool key;
  Variant default_value;  // Missing: none
  int32_t err_item;
};

// CB_CostBalance in the order the builder describes it.
const std::vector<Column>& CostBalanceColumns() {
  static const std::vector<Column> columns = [] {
    const Variant none = Variant::Missing();
    const Variant zero = Variant::I2(0);
    const Variant empty_text = Variant::Text("");
    const int32_t kInt = data::ado::kInteger;
    const int32_t kDbl = data::ado::kDouble;
    const int32_t kTxt = data::ado::kVarWChar;
    return std::vector<Column>{
        {"FYear", kInt, 0, true, true, none, 10034},
        {"FPeriod", kInt, 0, true, true, none, 10035},
        {"FCostID", kTxt, 250, true, true, none, 10015},
        {"FCostName", kTxt, 250, false, false, empty_text, 0},
        {"FExpDeptID", kTxt, 250, true, true, none, 10022},
        {"FExpDeptName", kTxt, 250, false, false, none, 0},
        {"FProductID", kTxt, 250, true, true, none, 10000},
        {"FProductName", kTxt, 250, false, false, none, 0},
        {"FExpenseID", kTxt, 250, false, false, Variant::Text(" "), 10018},
        {"FBegBal", kDbl, 0, false, false, zero, 10043},
        {"FQty", kDbl, 0, false, false, zero, 10040},
        {"FAccount", kDbl, 0, false, false, zero, 10038},
        {"FCalPrice", kDbl, 0, false, false, zero, 10041},
        {"FPrice", kDbl, 0, false, false, zero, 10041},
        {"FEndBal", kDbl, 0, false, false, zero, 10043},
        {"FCompleQty", kDbl, 0, false, false, zero, 0},
        {"FOnlineQty", kDbl, 0, false, false, zero, 0},
        {"FOnlineJorQty", kDbl, 0, false, false, zero, 0},
        {"FBatch", kTxt, 250, false, false, empty_text, 10042},
    };
  }();
  return columns;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::unique_ptr<check_out_update::CommandBuilder> GetCostBalanceBuilder(
    const std::string& props, const std::shared_ptr<FieldValueSet>& fields,
    const Variant& /*connection*/) {
  auto builder = std::make_unique<check_out_update::CommandBuilder>();
  builder->InitClassDataEnv(props);
  builder->Create("CB_CostBalance", fields);
  for (const Column& c : CostBalanceColumns()) {
    check_out_update::FieldOptions options;
    options.size = c.size;
    options.required = c.required;
    options.default_value = c.default_value;
    options.pkey = c.key;
    options.err_item = c.err_item;
    builder->DescribField(c.name, c.type, options);
  }
  return builder;
}

std::string BatchInfoSql(int32_t year, int32_t period) {
  std::string sql;
  sql +=
      "SELECT b.FCostObjID AS FID,b.FComQty,c.FComedQty FROM CB_BmProduct a,";
  sql += "CB_BmCostObj_Product b,";
  sql += "(SELECT FProductID,SUM(FQty) AS FComedQty ";
  sql += " FROM CB_CompleteProductInfo ";
  sql += " WHERE FYear + 0.0001 * FPeriod <=";
  sql += common::PeriodKeyText(year, period);
  sql += " GROUP BY FProductID)c";
  sql += " WHERE a.FType = 3 AND a.FID = c.FProductID AND a.FID = b.FCostObjID";
  sql += " ORDER BY FID";
  return sql;
}

std::shared_ptr<data::Recordset> GetBatchInfo(
    const std::shared_ptr<data::Connection>& connection, int32_t year,
    int32_t period) {
  auto rs = data::Recordset::Create();
  rs->CursorLocation = data::ado::kUseClient;
  rs->CursorType = data::ado::kOpenStatic;
  rs->LockType = data::ado::kLockBatchOptimistic;
  rs->Open(BatchInfoSql(year, period), connection, -1, -1, -1);
  rs->SetActiveConnection(nullptr);
  return rs;
}

std::shared_ptr<ItemList> GetBatchInfoList(
    const std::shared_ptr<data::Connection>& connection, int32_t year,
    int32_t period) {
  if (!connection) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  auto rs = connection->Execute(BatchInfoSql(year, period), nullptr,
                                data::ado::kOptionUnspecified);
  auto list = common::RecordsetToItemList(*rs);
  rs->Close();
  return list;
}

double LeadingNumber(const Variant& value) {
  if (value.IsEmpty() || value.IsMissing()) return 0.0;
  if (value.IsNumeric()) return value.ToDouble();
  std::string text;
  for (char c : value.ToText()) {
    if (c != ' ' && c != '\t' && c != '\n') text += c;
  }
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  size_t end = i;
  if (i < text.size() &&
      (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      text[i] = 'e';
      while (j < text.size() && IsDigit(text[j])) ++j;
      end = j;
    }
  }
  std::string number =
      text.substr(text[0] == '+' ? 1 : 0, end - (text[0] == '+' ? 1 : 0));
  double result = 0.0;
  auto [ptr, ec] =
      std::from_chars(number.data(), number.data() + number.size(), result);
  if (ec == std::errc::result_out_of_range) {
    throw Error::Of(err::kOverflow, kRuntimeSource);
  }
  (void)ptr;
  return result;
}

std::shared_ptr<Dispatchable> ObjectOf(const Variant& value) {
  ObjectRef(value);
  return value.AsObject();
}

Dispatchable& ObjectRef(const Variant& value) {
  if (value.Type() != VarType::Object || !value.AsObject()) {
    throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  }
  return *value.AsObject();
}

// The component's own containers are called directly (the same members as
// the late-bound calls, without the dispatch); any other object late-bound.

int32_t ListCount(Dispatchable& list) {
  if (auto* items = dynamic_cast<ItemList*>(&list)) {
    return static_cast<int32_t>(items->Count());
  }
  return list.Get("Count").ToInt32();
}

std::shared_ptr<Dispatchable> ListItem(Dispatchable& list, int32_t position) {
  if (auto* items = dynamic_cast<ItemList*>(&list)) {
    return ObjectOf(items->Item(position));
  }
  return ObjectOf(list.Get("Item", {Variant::I4(position)}));
}

Variant RowValue(Dispatchable& row, std::string_view key) {
  if (auto* set = dynamic_cast<FieldValueSet*>(&row)) return set->Value(key);
  return row.Get("Value", {Variant::Text(std::string(key))});
}

void SetRowValue(Dispatchable& row, std::string_view key, Variant value) {
  if (auto* set = dynamic_cast<FieldValueSet*>(&row)) {
    set->SetValue(key, std::move(value));
    return;
  }
  row.Put("Value", std::move(value), {Variant::Text(std::string(key))});
}

std::shared_ptr<FieldValueSet> CloneRow(Dispatchable& row) {
  if (auto* set = dynamic_cast<FieldValueSet*>(&row)) return set->Clone();
  auto clone = std::dynamic_pointer_cast<FieldValueSet>(
      ObjectOf(row.Invoke("Clone", std::vector<Variant>{})));
  if (!clone) throw Error::Of(err::kTypeMismatch, kRuntimeSource);
  return clone;
}

std::string DepartmentListText(Dispatchable& departments) {
  std::string text = "(";
  const int32_t count = ListCount(departments);
  for (int32_t i = 1; i <= count; ++i) {
    std::string id = RowValue(*ListItem(departments, i), "FID").ToText();
    text += '\'';
    for (char c : id) {
      text += c;
      if (c == '\'') text += '\'';
    }
    text += "',";
  }
  text.pop_back();
  text += ')';
  return text;
}

}  // namespace marl::check_out_update
