// What CheckOutUpdate does to the data, scenario by scenario from
// tests/golden/behaviour/check_out_update.json (the format:
// support/behaviour.h).
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

}  // namespace
}  // namespace marl::test
