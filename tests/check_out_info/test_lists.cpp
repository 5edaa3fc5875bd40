// What the cost balance lists of CheckOutInfo answer, scenario by scenario
// from tests/golden/behaviour/check_out_info.json (the format:
// support/behaviour.h). Their texts are in the golden traces.
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/registry.h"
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

// The profile reads and the list of one call share one database connection,
// and none is kept once the call has returned.
TEST_F(ListsTest, ACallOpensTheDatabaseOnceAndKeepsNothing) {
  auto info = std::dynamic_pointer_cast<CheckOutInfo>(
      Registry::Instance().Create(CheckOutInfo::kProgId));
  ASSERT_NE(info, nullptr);
  for (const bool full : {true, false}) {
    const int64_t opened = data::sqlite::ConnectionsOpened();
    info->GetList(Dsn(), 2005, 1, "", "", full);
    EXPECT_EQ(data::sqlite::ConnectionsOpened() - opened, 1) << full;
    EXPECT_EQ(data::KeptConnections(), 0u);
  }
}

}  // namespace
}  // namespace marl::test
