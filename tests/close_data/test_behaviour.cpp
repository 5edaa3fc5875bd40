// What the close steps do to the data, scenario by scenario from
// tests/golden/behaviour/close_data.json (the format: support/behaviour.h),
// the copies into the next period and the moves to and from history included.
#include "support/behaviour.h"

namespace marl::test {
namespace {

class CloseBehaviourTest : public BehaviourTest {
 protected:
  CloseBehaviourTest() { version_ = "behaviour"; }
};

TEST_F(CloseBehaviourTest, EveryScenarioLeavesItsRows) {
  RunScenarios("close_data.json");
}

}  // namespace
}  // namespace marl::test
