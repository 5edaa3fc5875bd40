// The sibling components the period transfer calls, and their registration.
//
// Three components of the maker, outside the closing component proper, are
// created by ProgID through the object context and called late-bound:
//   "MarlBaseInfo.ExpDeptInfo"  expense departments (exp_dept_info.h)
//   "MarlCostBal.CostBalInfo"   cost balance rows (cost_bal_info.h)
//   "MarlCheckOut.cUpdate"      settle prices (settle_price.h)
// This library carries a minimal implementation of each, so that the
// transfer works on its own database; an integrator replaces any of them by
// registering its own class under the same ProgID.
//
// Contract
// - RegisterSiblings() registers each of the three classes whose ProgID is
//   not registered yet; a class an integrator registered, before or after,
//   stays in place. Idempotent; safe from any thread. The component's
//   one-time registration calls it.
// - SiblingClasses() gives the registry entries (for restoring them).
#pragma once

#include <vector>

#include "marlcheckout/registry.h"

namespace marl::siblings {

std::vector<ClassInfo> SiblingClasses();
void RegisterSiblings();

}  // namespace marl::siblings
