// CheckOutUpdate: period transfer, profile writes and the cost balance
// table.
//
// - TransPeriod and UpdateCostBalance pass every failure on with the fixed
//   source "MarlCheckOut.CheckOutUpdate" after an abort vote, closing their
//   connection; the out arguments of TransPeriod keep what was stored before
//   the failure. Delete and SetSystemProfile pass failures on unchanged.
// - The siblings "MarlBaseInfo.ExpDeptInfo", "MarlCostBal.CostBalInfo" and
//   "MarlCheckOut.cUpdate" are created through the object context, so their
//   reads and this method's writes belong to one transaction, and are called
//   late-bound by member name.
// - The cost balance rows are written through a CommandBuilder over
//   CB_CostBalance (one existence query and one INSERT per row, on the
//   builder's one command); the two period DELETEs run on the method's
//   connection.
//
// Deliberate choices
// - SetSystemProfile writes Key and Value between single quotes with every
//   single quote in them doubled, so a value holding a quote is stored as
//   given instead of breaking (or changing) the statement.
// - TransPeriod writes a single quote inside a department identifier twice
//   in the department list text, so the list reads back as the same
//   identifiers.
// - UpdateCostBalance treats a null FEndBal like an empty one: as 0, so the
//   row is not carried into the next period (a row without an ending
//   balance carries nothing).
// - Without an object context (never the case through the component's own
//   call path) the methods fail with 91.
#include "marlcheckout/check_out_update.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check_out_update/command_builder.h"
#include "check_out_update/transfer_ops.h"
#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/class_ids.h"
#include "marlcheckout/error.h"

namespace marl {

namespace {

constexpr const char* kFixedSource = "MarlCheckOut.CheckOutUpdate";
constexpr frame::FailureForm kFixedSourceForm =
    frame::FixedSource(kFixedSource, frame::Vote::kAbort);
constexpr frame::FailureForm kNoHandling = frame::Untouched();

constexpr const char* kExpDeptInfo = ids::kExpDeptInfoProgId;
constexpr const char* kCostBalInfo = ids::kCostBalInfoProgId;
constexpr const char* kSettlePrice = ids::kSettlePriceProgId;
constexpr const char* kDepartmentFilter = "FType=0";

double ProfileNumber(data::CDataSource& ds, const char* key,
                     const char* category) {
  return check_out_update::LeadingNumber(
      common::GetProfileValue(ds, key, category));
}

// The expense departments of the sibling, as an object answering Count and
// Item.
std::shared_ptr<Dispatchable> Departments(frame::Method& m) {
  auto info = m.context().CreateInstance(kExpDeptInfo);
  Variant list =
      info->Invoke("GetList", {Variant::Text(m.parser().PropsString()),
                               Variant::Text(kDepartmentFilter)});
  return check_out_update::ObjectOf(list);
}

// Whether an ending balance counts as none: empty, null or zero.
bool IsZeroBalance(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return true;
  try {
    return v.ToDouble() == 0.0;
  } catch (const Error&) {
    return false;
  }
}

bool IsTotalItem(const Variant& v) {
  return v.Type() == VarType::Text && v.AsText() == "*";
}

std::string DeletePeriodText(double year, double period) {
  return "DELETE FROM CB_CostBalance WHERE FYear=" +
         Variant::FormatDouble(year) +
         " AND FPeriod=" + Variant::FormatDouble(period);
}

// Removes the items at the positions marked in `dropped` (1-based), leaving
// the others in their order: the kept items are taken off the end and added
// back, so no removal shifts the items after it.
void PruneList(ItemList& list, const std::vector<bool>& dropped) {
  std::vector<Variant> kept;
  const int32_t count = list.UBound();
  kept.reserve(static_cast<size_t>(count));
  for (int32_t j = 1; j <= count; ++j) {
    const auto at = static_cast<size_t>(j);
    if (at >= dropped.size() || !dropped[at]) kept.push_back(list.Item(j));
  }
  for (int32_t j = count; j >= 1; --j) list.Remove(j);
  for (Variant& item : kept) list.Add(std::move(item));
}

// The row at `position` of `list` (`items` when it is an ItemList of the
// component's own, which hands out the object it holds without a reference
// taken; any other list is asked through ListItem and the row kept in
// `held`).
Dispatchable& RowAt(Dispatchable& list, const ItemList* items, int32_t position,
                    std::shared_ptr<Dispatchable>& held) {
  if (items != nullptr) {
    return check_out_update::ObjectRef(items->Item(position));
  }
  held = check_out_update::ListItem(list, position);
  return *held;
}

// Fields := a clone of `row`, then an INSERT through the builder; a value
// set of the component's own is inserted as such a clone would be, without
// making one.
void InsertRow(check_out_update::CommandBuilder& builder, Dispatchable& row) {
  if (const auto* set = dynamic_cast<const FieldValueSet*>(&row)) {
    builder.ExecInsertRow(*set);
    return;
  }
  builder.SetFields(check_out_update::CloneRow(row));
  builder.ExecInsert();
}

}  // namespace

void CheckOutUpdate::Delete(const std::string& sDsn,
                            std::shared_ptr<FieldValueSet> aFilter, bool bMts) {
  Run(kNoHandling, [&](frame::Method& m) {
    if (bMts) m.SetAbort();
    m.InitDataEnv(sDsn);
    auto builder = check_out_update::GetCostBalanceBuilder(
        m.parser().PropsString(), FieldValueSet::Create());
    builder->ExecDelete(aFilter);
    if (bMts) m.SetComplete();
  });
}

int32_t CheckOutUpdate::TransPeriod(const std::string& sDsn, Variant& tvec,
                                    Variant& tBatchInfo, int32_t& nYear,
                                    int32_t& nPeriod, int32_t& nNextY,
                                    int32_t& nNextP) {
  return Run(kFixedSourceForm, [&](frame::Method& m) -> int32_t {
    m.InitDataEnv(sDsn);
    auto cn = m.OpenConnection();
    data::CDataSource& ds = m.data_source();
    nYear = Variant::R8(ProfileNumber(ds, "CurrentYear", "CB")).ToInt32();
    nPeriod = Variant::R8(ProfileNumber(ds, "CurrentPeriod", "CB")).ToInt32();
    tBatchInfo =
        Variant::Object(check_out_update::GetBatchInfo(cn, nYear, nPeriod));
    if (ProfileNumber(ds, "PeriodCount", "GL") == nPeriod) {
      nNextY = nYear + 1;
      nNextP = 1;
    } else {
      nNextY = nYear;
      nNextP = nPeriod + 1;
    }
    std::string list_text;
    {
      auto departments = Departments(m);
      list_text = check_out_update::DepartmentListText(*departments);
    }
    {
      auto info = m.context().CreateInstance(kCostBalInfo);
      std::vector<Variant> args{Variant::Text(sDsn), Variant::Text(list_text),
                                Variant::I4(nYear), Variant::I4(nPeriod),
                                Variant::Bool(true)};
      Variant result = info->Invoke("GetList", args);
      nYear = args[2].ToInt32();
      nPeriod = args[3].ToInt32();
      tvec = result;
    }
    m.SetComplete();
    m.CloseConnections();
    return 0;
  });
}

Variant CheckOutUpdate::SetSystemProfile(const std::string& Key,
                                         const std::string& Value) {
  return Run(kNoHandling, [&](frame::Method& m) {
    auto cn = m.data_source().Connection();
    cn->Execute("UPDATE t_SystemProfile SET FValue = '" +
                    common::QuoteDoubled(Value) +
                    "' WHERE FCategory = 'CB' AND FKey = '" +
                    common::QuoteDoubled(Key) + "'",
                nullptr, data::ado::kOptionUnspecified);
    return Variant();
  });
}

int32_t CheckOutUpdate::UpdateCostBalance(const std::string& sDsn,
                                          bool /*bMts*/) {
  return Run(kFixedSourceForm, [&](frame::Method& m) -> int32_t {
    m.SetAbort();
    m.InitDataEnv(sDsn);
    auto cn = m.OpenConnection();
    data::CDataSource& ds = m.data_source();
    auto builder = check_out_update::GetCostBalanceBuilder(
        m.parser().PropsString(), nullptr);

    auto current = FieldValueSet::Create();
    current->SetValue("FYear",
                      Variant::R8(ProfileNumber(ds, "CurrentYear", "CB")));
    current->SetValue("FPeriod",
                      Variant::R8(ProfileNumber(ds, "CurrentPeriod", "CB")));
    const double year = current->Value("FYear").AsR8();
    const double period = current->Value("FPeriod").AsR8();

    Variant batch = Variant::Object(check_out_update::GetBatchInfoList(
        cn, Variant::R8(year).ToInt32(), Variant::R8(period).ToInt32()));

    auto next = FieldValueSet::Create();
    if (ProfileNumber(ds, "PeriodCount", "GL") == period) {
      next->SetValue("FYear", Variant::R8(year + 1));
      next->SetValue("FPeriod", Variant::R8(1));
    } else {
      next->SetValue("FYear", Variant::R8(year));
      next->SetValue("FPeriod", Variant::R8(period + 1));
    }

    auto departments = Departments(m);

    Variant balances = Variant::Object(ItemList::Create());
    {
      auto info = m.context().CreateInstance(kCostBalInfo);
      auto& lists = *check_out_update::ObjectOf(balances);
      const Variant current_year = current->Value("FYear");
      const Variant current_period = current->Value("FPeriod");
      const int32_t count = check_out_update::ListCount(*departments);
      for (int32_t i = 1; i <= count; ++i) {
        auto department = check_out_update::ListItem(*departments, i);
        const Variant id = check_out_update::RowValue(*department, "FID");
        const Variant name = check_out_update::RowValue(*department, "FName");
        std::vector<Variant> args{Variant::Text(sDsn), id, current_year,
                                  current_period};
        Variant rows_value = info->Invoke("GetList", args);
        auto rows = check_out_update::ObjectOf(rows_value);
        const int32_t row_count = check_out_update::ListCount(*rows);
        if (row_count < 1) continue;
        const auto* row_items = dynamic_cast<const ItemList*>(rows.get());
        std::shared_ptr<Dispatchable> held;
        for (int32_t j = 1; j <= row_count; ++j) {
          Dispatchable& row = RowAt(*rows, row_items, j, held);
          check_out_update::SetRowValue(row, "FExpDeptID", id);
          check_out_update::SetRowValue(row, "FExpDeptName", name);
          check_out_update::SetRowValue(row, "FYear", current_year);
          check_out_update::SetRowValue(row, "FPeriod", current_period);
        }
        lists.Invoke("Add", {rows_value});
      }
    }

    {
      auto settle = m.context().CreateInstance(kSettlePrice);
      std::vector<Variant> args{Variant::Text(sDsn), balances, batch};
      settle->Invoke("GetSettlePrice", args);
      balances = args[1];
      batch = args[2];
    }

    cn->Execute(DeletePeriodText(year, period), nullptr,
                data::ado::kOptionUnspecified);
    cn->Execute(DeletePeriodText(next->Value("FYear").AsR8(),
                                 next->Value("FPeriod").AsR8()),
                nullptr, data::ado::kOptionUnspecified);

    const Variant next_year = next->Value("FYear");
    const Variant next_period = next->Value("FPeriod");
    auto lists = check_out_update::ObjectOf(balances);
    const int32_t list_count = check_out_update::ListCount(*lists);
    for (int32_t i = 1; i <= list_count; ++i) {
      auto list = check_out_update::ListItem(*lists, i);
      // The current period's rows as they stand.
      const int32_t upper = list->Get("UBound").ToInt32();
      auto* items = dynamic_cast<ItemList*>(list.get());
      std::shared_ptr<Dispatchable> held;
      for (int32_t j = 1; j <= upper; ++j) {
        InsertRow(*builder, RowAt(*list, items, j, held));
      }
      // The opening rows of the next period: balances carried, period
      // amounts cleared; total rows and rows without a balance dropped.
      // Walked from the end so that removals leave the positions still to
      // visit in place. An ItemList of the component's own is pruned in one
      // pass at the end (the same rows stay, in the same order), instead of
      // closing up its tail at every removal.
      std::vector<bool> dropped(
          items != nullptr ? static_cast<size_t>(upper) + 1 : 0, false);
      auto drop = [&](int32_t j) {
        if (items != nullptr) {
          dropped[static_cast<size_t>(j)] = true;
        } else {
          list->Invoke("Remove", {Variant::I4(j)});
        }
      };
      for (int32_t j = upper; j >= 1; --j) {
        Dispatchable& row = RowAt(*list, items, j, held);
        if (IsTotalItem(check_out_update::RowValue(row, "FCostID"))) {
          drop(j);
          continue;
        }
        Variant end_balance = check_out_update::RowValue(row, "FEndBal");
        if (IsZeroBalance(end_balance)) {
          drop(j);
          continue;
        }
        check_out_update::SetRowValue(row, "FBegBal", std::move(end_balance));
        for (const char* key : {"FQty", "FAccount", "FCalPrice", "FPrice",
                                "FCompleQty", "FOnlineQty", "FOnlineJorQty"}) {
          check_out_update::SetRowValue(row, key, Variant::I2(0));
        }
        check_out_update::SetRowValue(row, "FYear", next_year);
        check_out_update::SetRowValue(row, "FPeriod", next_period);
      }
      held.reset();
      if (items != nullptr) PruneList(*items, dropped);
      const int32_t carried = list->Get("UBound").ToInt32();
      for (int32_t j = 1; j <= carried; ++j) {
        InsertRow(*builder, RowAt(*list, items, j, held));
      }
    }

    m.SetComplete();
    m.CloseConnections();
    return 0;
  });
}

}  // namespace marl
