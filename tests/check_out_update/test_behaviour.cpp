// What CheckOutUpdate does to the data, scenario by scenario from
// tests/golden/behaviour/check_out_update.json (the format:
// support/behaviour.h).
#include <map>
#include <memory>
#include <utility>

#include "marlcheckout/containers.h"
#include "siblings/cost_bal_info.h"
#include "support/behaviour.h"

namespace marl::test {
namespace {

class UpdateBehaviourTest : public BehaviourTest {
 protected:
  UpdateBehaviourTest() { version_ = "transfer"; }
};

TEST_F(UpdateBehaviourTest, EveryScenarioLeavesItsRows) {
  RunScenarios("check_out_update.json");
}

// A list or row of a type the component does not know: it answers the
// members of the object it wraps, late-bound only, and hands out the objects
// it reads wrapped the same way (a clone is the wrapped object's own).
class Foreign : public Dispatchable {
 public:
  explicit Foreign(std::shared_ptr<Dispatchable> inner)
      : inner_(std::move(inner)) {}

  static Variant Wrap(Variant v) {
    if (v.Type() != VarType::Object || !v.AsObject()) return v;
    return Variant::Object(std::make_shared<Foreign>(v.AsObject()));
  }

  const DispatchTable& Table() const override {
    static std::map<const DispatchTable*, DispatchTable> tables;
    const DispatchTable& own = inner_->Table();
    auto [it, added] = tables.try_emplace(&own);
    if (added) {
      it->second.class_name = "Foreign" + own.class_name;
      for (MemberInfo m : own.members) {
        const bool clone = m.name == "Clone";
        m.handler = [id = m.dispid, kind = m.kind, clone](
                        Dispatchable& self, std::vector<Variant>& args) {
          Variant got =
              static_cast<Foreign&>(self).inner_->Invoke(id, kind, args);
          return clone ? got : Wrap(std::move(got));
        };
        it->second.members.push_back(std::move(m));
      }
    }
    return it->second;
  }

 private:
  std::shared_ptr<Dispatchable> inner_;
};

// An integrator's cost balance component whose lists of one department are
// of its own type.
class ForeignCostBalInfo : public siblings::CostBalInfo {
 public:
  const DispatchTable& Table() const override {
    static const DispatchTable table = [] {
      DispatchTable t = siblings::CostBalInfo().Table();
      for (MemberInfo& m : t.members) {
        m.handler = [inner = m.handler](Dispatchable& self,
                                        std::vector<Variant>& args) {
          Variant got = inner(self, args);
          const bool list = got.Type() == VarType::Object &&
                            dynamic_cast<ItemList*>(got.AsObject().get());
          return list ? Foreign::Wrap(std::move(got)) : got;
        };
      }
      return t;
    }();
    return table;
  }
};

// The rebuild and the price settlement it calls read and write such lists
// through their members, and must leave the same rows as with their own.
TEST_F(UpdateBehaviourTest, ListsOfAnotherTypeLeaveTheSameRows) {
  ClassInfo foreign = siblings::CostBalInfo::Class();
  foreign.factory = [] { return std::make_shared<ForeignCostBalInfo>(); };
  Registry::Instance().Register(foreign);
  RunScenarios("check_out_update.json");
  Registry::Instance().Register(siblings::CostBalInfo::Class());
}

}  // namespace
}  // namespace marl::test
