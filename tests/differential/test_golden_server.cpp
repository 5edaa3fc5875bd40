// The statement texts the component sends do not depend on the database it
// talks to: every golden scenario of tests/golden, run on PostgreSQL, records
// its golden trace (made on SQLite) byte for byte.
#include "differential/harness.h"
#include "marlcheckout/server.h"
#include "support/golden.h"

namespace marl::test {
namespace {

TEST_F(OperatorTest, GoldenTracesHoldOnPostgreSQL) {
  Backend backend("PostgreSQL");
  if (const std::string why = backend.Missing(); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const Side side = backend.Create(dir_, "golden");
  const ToolResult init = Tool(ToolArgs("init", side));
  ASSERT_EQ(init.status, 0) << init.err;
  RegisterComponent();
  const golden::fs::path dir = MARL_GOLDEN_DIR;
  golden::Seed(side.connect, dir / "seed.sql");
  const std::string props = "ConnectString={" + side.connect +
                            "};DBMS Name=PostgreSQL;DBMS Version=golden";
  for (const std::string& failure :
       golden::Check(props, dir, dir_ / "trace.jsonl", false)) {
    ADD_FAILURE() << failure;
  }
}

}  // namespace
}  // namespace marl::test
