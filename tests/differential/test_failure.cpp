// A close, a reopen or a component call that fails part-way leaves every
// table as it was, on every backend. Two kinds of failure: the tool's
// test-only fault (raised in the data layer before the text reaches the
// database), and, on PostgreSQL, an error the server itself raises from a
// row trigger, after the statements before it in the same transaction
// (and the rows before it in the same statement) were written.
#include <map>

#include "data/provider.h"
#include "differential/harness.h"
#include "marlcheckout/server.h"

namespace marl::test {
namespace {

const std::vector<std::string> kDemo = {"--demo", "--scale", "tiny", "--seed",
                                        "3"};

struct Failure {
  const char* name;
  const char* backend;
  std::vector<std::string> before;  // a command run first, that succeeds
  std::vector<std::string> command;
  std::map<std::string, std::string> env;
  const char* trigger;  // "BEFORE <event> ON <table>" (PostgreSQL) or ""
  const char* says;     // in standard error
};
void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class FailurePartWay : public OperatorTest,
                       public ::testing::WithParamInterface<Failure> {};

TEST_P(FailurePartWay, LeavesEveryTableAsItWas) {
  const Failure& f = GetParam();
  Backend backend(f.backend);
  if (const std::string why = backend.Missing(); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const Side side = backend.Create(dir_, "failure");
  ToolResult r = Tool(ToolArgs("init", side, kDemo));
  ASSERT_EQ(r.status, 0) << r.err;
  if (!f.before.empty()) {
    r = Tool(
        ToolArgs(f.before[0], side, {f.before.begin() + 1, f.before.end()}));
    ASSERT_EQ(r.status, 0) << r.err;
  }
  if (*f.trigger != '\0') {
    RegisterComponent();
    auto conn = data::OpenPhysical(side.connect);
    conn->RunNativeScript(
        "CREATE FUNCTION marl_refuse() RETURNS trigger LANGUAGE plpgsql AS "
        "$f$BEGIN RAISE EXCEPTION 'refused by the test trigger'; END$f$");
    conn->RunNativeScript(std::string("CREATE TRIGGER marl_refuse ") +
                          f.trigger +
                          " FOR EACH ROW EXECUTE FUNCTION marl_refuse()");
  }
  const Tables before = ReadTables(side);

  r = Tool(
      ToolArgs(f.command[0], side, {f.command.begin() + 1, f.command.end()}),
      f.env);
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_NE(r.err.find(f.says), std::string::npos) << r.err;
  ExpectSameTables(before, ReadTables(side), side, side,
                   std::string("after the failed ") + f.command[0]);
}

const std::map<std::string, std::string> kFailLastStep = {
    {"MARL_FAULT_MATCH", "UPDATE t_SystemProfile"}};
const std::vector<std::string> kClose = {"close", "--yes"};
const std::vector<std::string> kReopen = {"reopen", "--yes", "--force"};

INSTANTIATE_TEST_SUITE_P(
    Cases, FailurePartWay,
    ::testing::Values(
        Failure{"SqliteDsn_CloseFaultAtLastStep",
                "SqliteDsn",
                {},
                kClose,
                kFailLastStep,
                "",
                "SetCurrentPeriod: failed"},
        Failure{"PostgreSQL_CloseFaultAtLastStep",
                "PostgreSQL",
                {},
                kClose,
                kFailLastStep,
                "",
                "SetCurrentPeriod: failed"},
        Failure{"PostgreSQL_ReopenFaultAtLastStep", "PostgreSQL", kClose,
                kReopen, kFailLastStep, "", "SetCurrentPeriod: failed"},
        // The server refuses the period update: the thirteen steps before
        // it are rolled back.
        Failure{"PostgreSQL_CloseRefusedAtLastStep",
                "PostgreSQL",
                {},
                kClose,
                {},
                "BEFORE UPDATE ON t_SystemProfile",
                "refused by the test trigger"},
        // Refused inside a statement of several rows, after the cost
        // balances of the period were deleted by an earlier text.
        Failure{"PostgreSQL_CloseRefusedMidStep",
                "PostgreSQL",
                {},
                kClose,
                {},
                "BEFORE INSERT ON CB_CostBalance",
                "UpdateCostBalance: failed"},
        Failure{"PostgreSQL_ReopenRefusedAtLastStep",
                "PostgreSQL",
                kClose,
                kReopen,
                {},
                "BEFORE UPDATE ON t_SystemProfile",
                "refused by the test trigger"},
        // A component method outside the tool's plan runs in its own
        // transaction: its deletions do not outlive the refused insert.
        Failure{"PostgreSQL_CallRefusedAfterDeletes",
                "PostgreSQL",
                {},
                {"call", "CheckOutUpdate", "UpdateCostBalance"},
                {},
                "BEFORE INSERT ON CB_CostBalance",
                "refused by the test trigger"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace marl::test
