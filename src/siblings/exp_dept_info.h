// ids::kExpDeptInfoProgId: the expense departments of the cost module
// (table CB_BmExpDept).
//
// Late-bound member
//   GetList(props As String, filter As String) As ItemList   dispid 1
//     props   a connection property string (its "ConnectString" is used)
//     filter  a condition on the columns of CB_BmExpDept in the database's
//             dialect, such as "FType=0", written into the statement as
//             given (it comes from the program, never from a user); empty
//             text selects every department
//   Returns a new ItemList with one FieldValueSet per department, ordered
//   by FID, keyed by column name (FID, FName, FType and any further
//   columns of the table). The list belongs to the caller.
//   Statement: "SELECT * FROM CB_BmExpDept WHERE <filter> ORDER BY FID"
//   (without " WHERE <filter>" when the filter is empty).
//
// Contract: reads only; runs in the caller's transaction when there is one
// (transaction attribute Supported), over a connection of its own that it
// closes before returning. Errors of the parser and the database pass on
// unchanged. Apartment model.
#pragma once

#include <memory>
#include <string>

#include "marlcheckout/class_ids.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"

namespace marl::siblings {

class ExpDeptInfo : public Component {
 public:
  static constexpr const char* kProgId = ids::kExpDeptInfoProgId;

  ExpDeptInfo();
  std::shared_ptr<ItemList> GetList(const std::string& props,
                                    const std::string& filter);
  const DispatchTable& Table() const override;

  static ClassInfo Class();
};

}  // namespace marl::siblings
