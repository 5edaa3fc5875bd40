// The same demonstration company on two databases, the same tool commands
// on both: every table and the four lists must agree after each stage, and
// the close must report the same rows per step. Pairs: the direct SQLite
// path against the data-layer path (init --dsn), and SQLite against
// PostgreSQL. Also two closes started together make exactly one close, on
// every backend.
#include <regex>
#include <set>

#include "differential/harness.h"

namespace marl::test {
namespace {

const std::vector<std::string> kDemo = {"--demo", "--scale", "tiny", "--seed",
                                        "1"};

struct Pair {
  const char* a;
  const char* b;
};
void PrintTo(const Pair& p, std::ostream* os) {
  *os << p.a << " against " << p.b;
}

class Differential : public OperatorTest,
                     public ::testing::WithParamInterface<Pair> {};

// "Name: N rows" of every finished step in the progress on standard error.
std::vector<std::string> StepRows(const std::string& progress) {
  static const std::regex kStep(R"(\] ([^:\n]+: -?\d+ rows))");
  std::vector<std::string> steps;
  for (std::sregex_iterator it(progress.begin(), progress.end(), kStep), end;
       it != end; ++it) {
    steps.push_back((*it)[1]);
  }
  return steps;
}

TEST_P(Differential, SameCompanySameCallsSameTables) {
  Backend backend_a(GetParam().a), backend_b(GetParam().b);
  for (const Backend* b : {&backend_a, &backend_b}) {
    if (const std::string why = b->Missing(); !why.empty()) GTEST_SKIP() << why;
  }
  const Side sides[2] = {backend_a.Create(dir_, "a"),
                         backend_b.Create(dir_, "b")};
  for (const Side& s : sides) {
    const ToolResult r = Tool(ToolArgs("init", s, kDemo));
    ASSERT_EQ(r.status, 0) << s.name << ": " << r.err;
  }

  // Runs one command on both sides; both must exit with `status`.
  auto both = [&](const std::string& command,
                  const std::vector<std::string>& args, int status = 0) {
    std::vector<ToolResult> r;
    for (const Side& s : sides) {
      r.push_back(Tool(ToolArgs(command, s, args)));
      EXPECT_EQ(r.back().status, status) << s.name << ": " << command << "\n"
                                         << r.back().out << r.back().err;
    }
    return r;
  };
  auto compare = [&](const std::string& when) {
    ExpectSameTables(ReadTables(sides[0]), ReadTables(sides[1]), sides[0],
                     sides[1], when);
  };
  auto lists = [&](const std::string& when) {
    const std::vector<std::vector<std::string>> kinds = {
        {"balances"},
        {"costs"},
        {"balances-dept", "--dept", "D01"},
        {"batches"}};
    for (std::vector<std::string> args : kinds) {
      args.insert(args.end(), {"--format", "json"});
      const auto r = both("list", args);
      const std::string name = "list " + args[0];
      const Tables a = {{name, ListRows(r[0].out)}};
      EXPECT_FALSE(a.at(name).rows.empty()) << name;
      ExpectSameTables(a, {{name, ListRows(r[1].out)}}, sides[0], sides[1],
                       when);
    }
  };

  compare("after init");
  lists("2024/11");
  // The demo's vouchers for 2024/11 would make a reopen refuse: exit 4.
  const auto checks = both("check", {}, 4);
  EXPECT_EQ(checks[0].out, checks[1].out);

  // The daily-costing cycle of 2024/11 and the cost balance rebuild.
  both("call",
       {"CloseData", "DayCost_SetEndBal", "2024", "11", "202411-1",
        "2024-11-01", "2024-11-15", "--", "DayCost_SetBegBal", "2024", "11",
        R"({"CurYearPeriodCycle": "202411-1", "CurBeginDate": "2024-11-01",
            "CurEndDate": "2024-11-15", "NextYearPeriodCycle": "202411-2",
            "NextBeginDate": "2024-11-16", "NextEndDate": "2024-11-30"})",
        "--", "DayCost_SetEndBal", "2024", "11", "202411-2", "2024-11-16",
        "2024-11-30"});
  both("call", {"CheckOutUpdate", "UpdateCostBalance"});
  compare("after the daily costing and UpdateCostBalance");

  const auto closes = both("close", {"--yes"});
  EXPECT_EQ(StepRows(closes[0].err).size(), 14u) << closes[0].err;
  EXPECT_EQ(StepRows(closes[0].err), StepRows(closes[1].err));
  compare("after the close");
  lists("2024/12");

  const auto reopens = both("reopen", {"--yes", "--force"});
  EXPECT_EQ(StepRows(reopens[0].err), StepRows(reopens[1].err));
  compare("after the reopen");
}

INSTANTIATE_TEST_SUITE_P(Pairs, Differential,
                         ::testing::Values(Pair{"SqliteFile", "SqliteDsn"},
                                           Pair{"SqliteFile", "PostgreSQL"}),
                         [](const auto& info) {
                           return std::string(info.param.a) + "_" +
                                  info.param.b;
                         });

class ConcurrentClose : public OperatorTest,
                        public ::testing::WithParamInterface<const char*> {};

// The one that gets the database second refuses (the period moved) or
// times out waiting; the tables are those of a single close.
TEST_P(ConcurrentClose, TwoClosesStartedTogetherCloseOnce) {
  Backend backend(GetParam());
  if (const std::string why = backend.Missing(); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const Side single = backend.Create(dir_, "single");
  const Side twice = backend.Create(dir_, "twice");
  for (const Side* s : {&single, &twice}) {
    const ToolResult r = Tool(ToolArgs("init", *s, kDemo));
    ASSERT_EQ(r.status, 0) << s->name << ": " << r.err;
  }
  ASSERT_EQ(Tool(ToolArgs("close", single, {"--yes"})).status, 0);

  const std::vector<std::string> args = {"--yes", "--period", "2024/11"};
  ToolProcess first(dir_, ToolArgs("close", twice, args));
  ToolProcess second(dir_, ToolArgs("close", twice, args));
  const ToolResult r1 = first.Wait(), r2 = second.Wait();
  const std::multiset<int> statuses = {r1.status, r2.status};
  EXPECT_EQ(statuses.count(0), 1u) << r1.err << "\n---\n" << r2.err;
  const ToolResult& loser = r1.status == 0 ? r2 : r1;
  EXPECT_TRUE(loser.status == 4 || loser.status == 3) << loser.err;
  ExpectSameTables(ReadTables(single), ReadTables(twice), single, twice,
                   "one close against two at once");
}

INSTANTIATE_TEST_SUITE_P(Backends, ConcurrentClose,
                         ::testing::Values("SqliteDsn", "PostgreSQL"),
                         [](const auto& info) {
                           return std::string(info.param);
                         });

}  // namespace
}  // namespace marl::test
