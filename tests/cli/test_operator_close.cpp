// End-to-end tests of close and reopen through the tool on the tiny
// demonstration company (current period 2024/11, 'GL' 'PeriodCount' 12).
#include <thread>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

// What taking a close back does not give back, by design:
// - the identity columns the restore renumbers: the cost-revert working
//   tables' FID and cbMaterielInfo's FItemID come back with new numbers
//   (the restore leaves them out of its INSERT), and sqlite_sequence, the
//   identity counters, moves on (numbers are never handed out twice);
// - the rows of the period(s) the closes opened in the tables that the
//   reopen plan does not touch: the standard and allocation copies and the
//   daily-costing seeds (SetDayAccount). They stay as copies; the next
//   close replaces them.
Leave ReopenLeaves(const std::vector<std::string>& opened_periods) {
  Leave leave;
  for (const char* t :
       {"CBCarriedCostRevertStdInfo", "CBCarriedCostRevertRealEndStk",
        "CBCarriedCostRevertRealEndBal"}) {
    leave.columns[t] = {"FID"};
  }
  leave.columns["cbMaterielInfo"] = {"FItemID"};
  leave.tables.insert("sqlite_sequence");
  leave.tables.insert("marl_CloseLog");  // a log keeps its history
  std::string cond;
  for (const std::string& p : opened_periods) {
    const auto slash = p.find('/');
    cond += std::string(cond.empty() ? "" : " OR ") +
            "(FYear=" + p.substr(0, slash) +
            " AND FPeriod=" + p.substr(slash + 1) + ")";
  }
  for (const char* t :
       {"CBRationStandardInfo", "CBStdSalaryRate", "CBStdStdManhour",
        "CBStdFloatMakeRate", "CBStdStdPrice", "CBStdfixedMakebudget",
        "CBStdBudgetOutput", "cbCostTypeInfo", "CBSortStandardInfo",
        "CBDeputyInfo", "DayCost_Balance", "DayCost_CostObjDetail"}) {
    leave.rows[t] = cond;
  }
  return leave;
}

// Closes `closes` times (the second crosses into 2025), then reopens as
// many times: every table is as before but for what ReopenLeaves names.
class CloseReopen : public OperatorTest,
                    public ::testing::WithParamInterface<int> {};

TEST_P(CloseReopen, GivesBackEveryTable) {
  InitDemo(db_);
  const std::vector<std::string> opened = {"2024/12", "2025/1"};
  const std::vector<std::string> periods(opened.begin(),
                                         opened.begin() + GetParam());
  const Snapshot before = TakeSnapshot(db_, ReopenLeaves(periods));
  const Snapshot whole_before = TakeSnapshot(db_);

  for (const std::string& next : periods) {
    // 2024/12 was never costed: its close needs --force.
    std::vector<std::string> args = {"close", "--db", db_, "--yes"};
    if (next == "2025/1") args.push_back("--force");
    ToolResult r = Tool(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CurrentPeriod(db_), next);
    // Without a terminal: one progress line per finished step.
    EXPECT_NE(r.err.find("[ 9/14] SetCostRevertStd: "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("[14/14] SetCurrentPeriod: 2 rows"), std::string::npos)
        << r.err;
  }
  for (size_t i = periods.size(); i-- > 0;) {
    ToolResult r = Tool({"reopen", "--db", db_, "--yes"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(CurrentPeriod(db_), i == 0 ? "2024/11" : periods[i - 1]);
  }
  ExpectSameTables(before, TakeSnapshot(db_, ReopenLeaves(periods)));

  // The leftovers are real copies, so leaving them out hid something.
  for (const std::string& p : periods) {
    const auto slash = p.find('/');
    const std::string where = " WHERE FYear=" + p.substr(0, slash) +
                              " AND FPeriod=" + p.substr(slash + 1);
    EXPECT_GT(QueryInt(db_, "SELECT COUNT(*) FROM CBStdSalaryRate" + where), 0);
    // 2024/12 has no cost calculation: its close carries no in-process
    // balances, so only 2024/12 itself gets daily-costing seeds.
    if (p == "2024/12") {
      EXPECT_GT(QueryInt(db_, "SELECT COUNT(*) FROM DayCost_Balance" + where),
                0);
    }
  }
  EXPECT_NE(whole_before.at("CBCarriedCostRevertStdInfo"),
            TakeSnapshot(db_).at("CBCarriedCostRevertStdInfo"))
      << "the restore was expected to renumber FID";
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoCloses, CloseReopen, ::testing::Values(1, 2));

// A step made to fail (test-only fault injection) leaves the database
// exactly as it was: the plan runs in one transaction.
struct FailingStep {
  const char* name;
  const char* statement;  // a text only that step sends
};

class FailingClose : public OperatorTest,
                     public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailingClose, LeavesDatabaseUnchanged) {
  InitDemo(db_);
  Leave log;  // the failure is logged
  log.tables.insert("marl_CloseLog");
  const Snapshot before = TakeSnapshot(db_, log);
  ToolResult r = Tool({"close", "--db", db_, "--yes"},
                      {{"MARL_FAULT_MATCH", GetParam().statement}});
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_NE(r.err.find(std::string(GetParam().name) + ": failed"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Injected fault"), std::string::npos) << r.err;
  ExpectSameTables(before, TakeSnapshot(db_, log));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailingClose,
    ::testing::Values(
        FailingStep{"SetEndBal", "Delete cbBalance WHERE FOnlnQty"},
        FailingStep{"SetCostRevertStd", "CBCarriedCostRevertStdInfo_History"},
        FailingStep{"UpdateCostBalance", "DELETE FROM CB_CostBalance WHERE"},
        FailingStep{"SetCurrentPeriod", "UPDATE t_SystemProfile"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OperatorTest, DryRunsChangeNothing) {
  InitDemo(db_);
  Snapshot before = TakeSnapshot(db_);
  ToolResult r = Tool({"close", "--db", db_, "--dry-run"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("SetCostRevertRealEndBal"), std::string::npos);
  EXPECT_NE(r.out.find("CB_CostBalance"), std::string::npos);
  EXPECT_NE(r.out.find("Rolled back"), std::string::npos);
  ExpectSameTables(before, TakeSnapshot(db_));

  ASSERT_EQ(Tool({"close", "--db", db_, "--yes"}).status, 0);
  before = TakeSnapshot(db_);
  r = Tool({"reopen", "--db", db_, "--dry-run"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Rolled back"), std::string::npos);
  ExpectSameTables(before, TakeSnapshot(db_));
  EXPECT_EQ(CurrentPeriod(db_), "2024/12");
}

TEST_F(OperatorTest, GuardsRefuseWithExit4AndChangeNothing) {
  InitDemo(db_);
  Leave log;  // the refusals are logged
  log.tables.insert("marl_CloseLog");
  const Snapshot before = TakeSnapshot(db_, log);
  // The demo's current period has opening balances with vouchers.
  ToolResult r = Tool({"reopen", "--db", db_, "--yes"});
  EXPECT_EQ(r.status, 4) << r.out << r.err;
  EXPECT_NE(r.err.find("CheckHasVoucher"), std::string::npos) << r.err;
  // Only the current period is closed.
  r = Tool({"close", "--db", db_, "--yes", "--period", "2024/10"});
  EXPECT_EQ(r.status, 4) << r.err;
  ExpectSameTables(before, TakeSnapshot(db_, log));

  // --force takes the close of 2024/10 back, clearing 2024/11's checks.
  r = Tool({"reopen", "--db", db_, "--yes", "--force"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("UnCheckOnlineBalance"), std::string::npos);
  EXPECT_EQ(CurrentPeriod(db_), "2024/10");
  EXPECT_EQ(QueryInt(db_,
                     "SELECT COUNT(*) FROM CBOnInitBalance WHERE FChecked=1 "
                     "AND FYear=2024 AND FPeriod=11"),
            0);
  EXPECT_EQ(QueryInt(db_,
                     "SELECT COUNT(*) FROM CB_CostBalance WHERE FYear=2024 "
                     "AND FPeriod=11"),
            0);
  EXPECT_GT(QueryInt(db_,
                     "SELECT COUNT(*) FROM cbMaterielInfo WHERE FYear=2024 "
                     "AND FPeriod=10"),
            0);
}

TEST_F(OperatorTest, UsageErrorsExit2) {
  InitDemo(db_);
  EXPECT_EQ(Tool({"close", "--db", db_, "--period", "2024-11"}).status, 2);
  EXPECT_EQ(Tool({"close", "--db", (dir_ / "none.db").string()}).status, 2);
  EXPECT_EQ(Tool({"status"}).status, 2);
  EXPECT_EQ(Tool({"check", "--db", db_, "--dsn", "x"}).status, 2);
  EXPECT_EQ(Tool({"check", "--db", db_, "--period", "2024/13"}).status, 2);
  const std::string other = (dir_ / "other.db").string();
  EXPECT_EQ(Tool({"init", "--db", other, "--seed", "3"}).status, 2);
  EXPECT_FALSE(std::filesystem::exists(other));
  const ToolResult r = Tool({"clsoe", "--db", db_});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown command 'clsoe'"), std::string::npos) << r.err;
}

// Two closes started together make exactly one close: the one that gets
// the database second refuses (exit 4: the period moved), never failing
// for a lock.
TEST_F(OperatorTest, TwoConcurrentClosesMakeOneClose) {
  InitDemo(db_);
  const std::string single = (dir_ / "single.db").string();
  std::filesystem::copy_file(db_, single);
  ASSERT_EQ(Tool({"close", "--db", single, "--yes"}).status, 0);

  const std::vector<std::string> args = {"close", "--db",     db_,
                                         "--yes", "--period", "2024/11"};
  ToolProcess a(dir_, args), b(dir_, args);
  ToolResult ra = a.Wait(), rb = b.Wait();
  std::multiset<int> statuses = {ra.status, rb.status};
  EXPECT_EQ(statuses.count(0), 1u) << ra.err << "\n---\n" << rb.err;
  const ToolResult& loser = ra.status == 0 ? rb : ra;
  EXPECT_EQ(loser.status, 4) << loser.err;
  EXPECT_EQ(CurrentPeriod(db_), "2024/12");
  // Exactly the result of one close.
  Leave log;  // each database logs its own attempts
  log.tables.insert("marl_CloseLog");
  ExpectSameTables(TakeSnapshot(single, log), TakeSnapshot(db_, log));
}

TEST_F(OperatorTest, StatusAndCheckReportTheCurrentPeriod) {
  InitDemo(db_);
  ToolResult r = Tool({"status", "--db", db_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Current period: 2024/11"), std::string::npos);
  EXPECT_NE(r.out.find("Next period:    2024/12"), std::string::npos);
  r = Tool({"check", "--db", db_});
  ASSERT_EQ(r.status, 4) << r.err;  // the vouchers would make reopen refuse
  EXPECT_NE(r.out.find("CheckHasVoucher: yes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CheckHaveRevert: yes"), std::string::npos) << r.out;
  // The revert rows of 2024/10 are in history, not in the working tables.
  r = Tool({"check", "--db", db_, "--period", "2024/10"});
  ASSERT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.out.find("CheckHaveRevert: no"), std::string::npos) << r.out;
}

TEST_F(OperatorTest, DemoDataIsDeterministicPerSeed) {
  const std::string again = (dir_ / "again.db").string();
  const std::string other = (dir_ / "other.db").string();
  InitDemo(db_, "7");
  InitDemo(again, "7");
  InitDemo(other, "8");
  const Snapshot a = TakeSnapshot(db_);
  EXPECT_EQ(a, TakeSnapshot(again));
  EXPECT_NE(a.at("CB_CostBalance"), TakeSnapshot(other).at("CB_CostBalance"));
  // Every table the close reads or writes has rows.
  for (const auto& [table, rows] : a) {
    if (table == "t_SupportedProc" || table == "marl_CloseLog") continue;
    EXPECT_FALSE(rows.empty()) << table;
  }
}

}  // namespace
}  // namespace marl::test
