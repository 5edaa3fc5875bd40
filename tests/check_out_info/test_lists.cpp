// What the cost balance lists of CheckOutInfo answer, scenario by scenario
// from tests/golden/behaviour/check_out_info.json (the format:
// support/behaviour.h). Their texts are in the golden traces.
#include "support/behaviour.h"

namespace marl::test {
namespace {

class ListsTest : public BehaviourTest {
 protected:
  ListsTest() { version_ = "lists"; }
};

TEST_F(ListsTest, EveryScenarioAnswersItsRows) {
  RunScenarios("check_out_info.json");
}

}  // namespace
}  // namespace marl::test
