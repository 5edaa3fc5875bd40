// Registration of the sibling components (see siblings.h).
#include "siblings/siblings.h"

#include "siblings/cost_bal_info.h"
#include "siblings/exp_dept_info.h"
#include "siblings/settle_price.h"

namespace marl::siblings {

std::vector<ClassInfo> SiblingClasses() {
  return {ExpDeptInfo::Class(), CostBalInfo::Class(), SettlePrice::Class()};
}

void RegisterSiblings() {
  Registry& registry = Registry::Instance();
  for (ClassInfo& info : SiblingClasses()) {
    if (!registry.Find(info.prog_id)) registry.Register(std::move(info));
  }
}

}  // namespace marl::siblings
