// ids::kSettlePriceProgId: settle prices of the cost balance rows before the
// cost balance table is rebuilt.
//
// Late-bound member
//   GetSettlePrice(props, balanceLists, batchList)   dispid 1, all by
//   reference; returns Empty.
//     balanceLists  an ItemList whose items are ItemLists of cost balance
//                   rows (FieldValueSets keyed by column name)
//     batchList     the batch completion rows (FID, FComQty, FComedQty)
//   For every row whose FCompleQty is not 0, FCalPrice and FPrice are set
//   (as doubles) to (FBegBal + FAccount - FEndBal) / FCompleQty: the unit
//   cost of the output completed in the period. Empty or null amounts read
//   as 0. Other rows, and the batch list, are left as they are; neither
//   reference is replaced. Works on any list and row objects that answer
//   the late-bound members Count, Item and Value.
//   A value that is not a number raises 13 (type mismatch); rows before it
//   keep their new prices.
//
// Contract: touches no database (props is accepted and not read);
// transaction attribute Supported. Apartment model.
#pragma once

#include "marlcheckout/class_ids.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"
#include "marlcheckout/variant.h"

namespace marl::siblings {

class SettlePrice : public Component {
 public:
  static constexpr const char* kProgId = ids::kSettlePriceProgId;

  SettlePrice();
  void GetSettlePrice(const Variant& balance_lists, const Variant& batch_list);

  const DispatchTable& Table() const override;
  static ClassInfo Class();
};

}  // namespace marl::siblings
