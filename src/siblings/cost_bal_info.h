// ids::kCostBalInfoProgId: the cost balance rows of a period (table
// CB_CostBalance), in the two shapes the period transfer asks for.
//
// Late-bound member GetList, dispid 1, all arguments by reference (none is
// changed):
//   GetList(props, departments, year, period, flag) -> detached recordset
//     departments  a list text of quoted identifiers, "('D1','D2')", as the
//                  period transfer builds it (a quote inside an identifier
//                  written twice). ")" or "()" stands for no department.
//                  The identifiers are read out of the text and bound as
//                  parameters; the text itself never becomes SQL.
//     year, period whole numbers (any numeric or numeric text value)
//     flag         accepted and not read
//     Result: a detached (disconnected) client-side recordset of every
//     column of the rows of those departments in that period, ordered by
//     FExpDeptID, FProductID, FCostID; with no department, no rows.
//   GetList(props, department, year, period) -> ItemList
//     Result: a new ItemList of the rows of that one department in that
//     period, ordered by FProductID, FCostID, each a FieldValueSet keyed by
//     column name.
// A department list text that is not of the form above raises 5 (invalid
// argument) with the source "MarlCostBal.CostBalInfo.GetList".
//
// Contract: reads only; runs in the caller's transaction when there is one
// (transaction attribute Supported) over a connection of its own, closed
// before returning. Results belong to the caller. Apartment model.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "marlcheckout/class_ids.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"
#include "marlcheckout/variant.h"

namespace marl::siblings {

class CostBalInfo : public Component {
 public:
  static constexpr const char* kProgId = ids::kCostBalInfoProgId;

  CostBalInfo();

  // The five-argument shape (a recordset) when `flag` is given (not
  // Missing), else the four-argument shape (an ItemList).
  Variant GetList(const std::string& props, const Variant& departments,
                  const Variant& year, const Variant& period,
                  const Variant& flag);

  // The identifiers of a department list text (see above).
  static std::vector<std::string> ParseDepartmentList(const std::string& text);

  const DispatchTable& Table() const override;
  static ClassInfo Class();
};

}  // namespace marl::siblings
