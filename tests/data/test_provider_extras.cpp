// The provider interface's native scripts and what the data layer does the
// same on every provider (the statement trace, the count of records
// affected, the fault plan's count), on the embedded provider; and the
// embedded provider's writer cache, which lets other connections read while
// a long write transaction runs.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "data/ado.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/error.h"
#include "support/golden.h"
#include "support/raised.h"

namespace marl::data {
namespace {

namespace fs = std::filesystem;

const bool kRegistered = [] {
  RegisterProvider(sqlite::MakeSqliteProvider());
  return true;
}();

class ProviderExtrasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-extras-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    std::ofstream(dir_ / "t.db").flush();  // an empty file: an empty database
    cs_ = "Provider=SQLite;Data Source=" + (dir_ / "t.db").string();
  }
  void TearDown() override {
    SetTraceFile("");
    fs::remove_all(dir_);
  }
  int64_t Count(const std::string& table) {
    auto conn = OpenPhysical(cs_ + ";Busy Timeout=0");
    return static_cast<int64_t>(conn->Run("SELECT COUNT(*) FROM " + table, {})
                                    .rows.at(0)
                                    .at(0)
                                    .ToDouble());
  }

  fs::path dir_;
  std::string cs_;
};

constexpr const char* kSchema =
    "CREATE TABLE t_A (FID INTEGER PRIMARY KEY, FName TEXT);\n"
    "CREATE TABLE t_B (FID INTEGER);\n"
    "INSERT INTO t_A VALUES (1, 'x'), (2, 'y');";

TEST_F(ProviderExtrasTest, NativeScriptRunsAsGivenAndJoinsTheTransaction) {
  auto conn = OpenPhysical(cs_);
  // Rolled back with its transaction: nothing stays.
  conn->Begin(true);
  conn->RunNativeScript(kSchema);
  conn->Rollback();
  EXPECT_THROW(Count("t_A"), Error);

  const fs::path trace = dir_ / "trace.jsonl";
  SetTraceFile(trace.string());
  conn->Begin(true);
  conn->RunNativeScript(kSchema);
  conn->Commit();
  EXPECT_FALSE(fs::exists(trace)) << "native scripts are not traced";
  SetTraceFile("");
  EXPECT_EQ(Count("t_A"), 2);
  EXPECT_EQ(Count("t_B"), 0);

  // The first failing statement raises with the database's message; inside
  // a transaction the statements before it go with the rollback.
  conn->Begin(true);
  const Error e = test::Raised([&] {
    conn->RunNativeScript(
        "INSERT INTO t_B VALUES (7);\nINSERT INTO t_None VALUES (1);");
  });
  EXPECT_EQ(e.number(), err::kDbNoTable);
  EXPECT_EQ(e.source(), "SQLite");
  EXPECT_NE(e.description().find("t_None"), std::string::npos);
  conn->Rollback();
  EXPECT_EQ(Count("t_B"), 0);
}

// The rows of a tab-separated table of tests/golden/data ("#" lines are
// comments), with "\r\n" read as a line break.
std::vector<std::vector<std::string>> Table(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  for (std::string line :
       test::golden::FileLines(fs::path(MARL_GOLDEN_DIR) / "data" / file)) {
    if (line.empty() || line[0] == '#') continue;
    for (size_t at; (at = line.find("\\r\\n")) != std::string::npos;) {
      line.replace(at, 4, "\r\n");
    }
    std::stringstream in(line);
    rows.emplace_back();
    for (std::string f; std::getline(in, f, '\t');) rows.back().push_back(f);
  }
  return rows;
}

// The records affected of every completed text add up, whatever the
// connection, reading or writing (tests/golden/data/records_affected.tsv).
TEST_F(ProviderExtrasTest, RecordsAffectedAddsUpEveryCompletedText) {
  OpenPhysical(cs_)->RunNativeScript(kSchema);
  auto a = OpenPhysical(cs_);
  auto b = OpenPhysical(cs_);
  const auto rows = Table("records_affected.tsv");
  for (const std::vector<std::string>& f : rows) {
    ASSERT_EQ(f.size(), 4u);
    std::vector<BoundParam> params;
    if (f[2] != "-") params.push_back({"", 202, 0, Variant::Text(f[2])});
    const int64_t before = RecordsAffected();
    const bool failed = test::Raised([&] {
                          (f[0] == "a" ? a : b)->Run(f[1], params);
                        }).number() != 0;
    EXPECT_EQ(failed ? "fails" : std::to_string(RecordsAffected() - before),
              f[3])
        << f[1];
    if (failed) {
      EXPECT_EQ(RecordsAffected(), before) << f[1];
    }
  }
  EXPECT_EQ(rows.size(), 7u);
}

// A write transaction larger than SQLite's default page cache (2 MB) keeps
// its changes in memory: a reader that does not wait still reads the
// committed state while it runs.
TEST_F(ProviderExtrasTest, ReadersDoNotWaitForALargeWriteTransaction) {
  OpenPhysical(cs_)->RunNativeScript(kSchema);
  OpenPhysical(cs_)->RunNativeScript("CREATE TABLE t_C (FID INT, FPad TEXT)");
  auto writer = OpenPhysical(cs_);
  writer->Begin(true);
  for (int i = 0; i < 100; ++i) {  // 512 rows of 200 bytes each time
    writer->Run(
        "INSERT INTO t_C SELECT ?, ? FROM t_A a, t_A b, t_A c, t_A d, t_A e, "
        "t_A f, t_A g, t_A h, t_A i",
        {{"", 3, 0, Variant::I4(i)},
         {"", 202, 0, Variant::Text(std::string(200, 'a' + i % 26))}});
  }
  EXPECT_EQ(Count("t_C"), 0);
  writer->Commit();
  EXPECT_EQ(Count("t_C"), 51200);
}

// The fault plan fails the nth statement of the texts it aims at, even
// inside a text, and not a statement of an exempt thread
// (tests/golden/data/fault_plan.tsv).
TEST_F(ProviderExtrasTest, FaultPlanFailsTheNthStatementEvenInsideAText) {
  OpenPhysical(cs_)->RunNativeScript(kSchema);
  const auto rows = Table("fault_plan.tsv");
  for (const std::vector<std::string>& f : rows) {
    ASSERT_EQ(f.size(), 4u);
    auto conn = OpenPhysical(cs_);
    conn->Begin(true);
    SetFaultPlan(
        {std::stoi(f[0]), err::kDbFail, "boom", f[1] == "-" ? "" : f[1]});
    std::optional<FaultExempt> exempt;
    if (f[2] == "exempt") exempt.emplace();
    const Error e = test::Raised([&] {
      conn->Run("INSERT INTO t_B VALUES (1)\r\nINSERT INTO t_B VALUES (2)", {});
    });
    exempt.reset();
    EXPECT_EQ(e.description(), e.number() == 0 ? "" : "boom");
    EXPECT_EQ(
        e.number() == 0
            ? "none"
            : conn->Run("SELECT COUNT(*) FROM t_B", {}).rows[0][0].ToText(),
        f[3])
        << f[0] << " " << f[1];
    SetFaultPlan({});
    conn->Rollback();
  }
  EXPECT_EQ(rows.size(), 6u);
}

// A read transaction takes no write lock: a writer commits while it is
// open, it keeps reading the state it began with, and it refuses a text
// that writes. A lock held past the busy timeout says how long was waited,
// and the wait is told to the wait notice once.
TEST_F(ProviderExtrasTest, ReadTransactionsLetAWriterThrough) {
  OpenPhysical(cs_)->RunNativeScript(kSchema);
  auto reader = OpenPhysical(cs_);
  reader->Begin(false);
  EXPECT_EQ(reader->Run("SELECT COUNT(*) FROM t_A", {}).rows[0][0].AsI4(), 2);
  auto writer = OpenPhysical(cs_ + ";Busy Timeout=0");
  writer->Begin(true);
  writer->Run("INSERT INTO t_A VALUES (3, 'z')", {});
  writer->Commit();
  EXPECT_EQ(reader->Run("SELECT COUNT(*) FROM t_A", {}).rows[0][0].AsI4(), 2);
  EXPECT_THROW(reader->Run("INSERT INTO t_B VALUES (1)", {}), Error);
  reader->Commit();
  EXPECT_EQ(Count("t_A"), 3);

  int notices = 0;
  SetWaitNotice([&notices](int64_t ms) {
    EXPECT_EQ(ms, 400);
    ++notices;
  });
  writer->Begin(true);
  auto second = OpenPhysical(cs_ + ";Busy Timeout=400");
  const std::string said =
      test::Raised([&] { second->Begin(true); }).description();
  EXPECT_NE(said.find("database is locked (waited 0.4 s"), std::string::npos)
      << said;
  SetWaitNotice(nullptr);
  EXPECT_EQ(notices, 1);
  writer->Rollback();
}

// The trace holds each text as handed over, with its parameters, one JSON
// line each (tests/golden/data/trace.jsonl): escapes, numbers, dates, and
// every byte that is not part of well-formed UTF-8 (overlong, surrogate,
// above U+10FFFF, cut short) as U+FFFD, so that a line stays valid JSON.
TEST_F(ProviderExtrasTest, TraceHoldsEachTextAsSentWithItsParameters) {
  OpenPhysical(cs_)->RunNativeScript(kSchema);
  const fs::path trace = dir_ / "trace.jsonl";
  SetTraceFile(trace.string());
  EXPECT_EQ(TraceFile(), trace.string());
  auto c = Connection::Create();
  c->Open(cs_);
  c->Execute("SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
  c->Execute("Delete t_A WHERE FName = N'x\"y\\z'\r\n\tSELECT 1 AS A");
  auto cmd = Command::Create();
  cmd->SetActiveConnection(c);
  cmd->CommandText = "SELECT ?, ?, ?, ?";
  auto& ps = cmd->GetParameters();
  ps.Append(cmd->CreateParameter("", ado::kInteger, 1, 4, Variant::I4(-3)));
  ps.Append(cmd->CreateParameter("", ado::kVarWChar, 1, 9,
                                 Variant::Text("\xe5\x90\x8d\x01\r\n")));
  ps.Append(cmd->CreateParameter("", ado::kDouble, 1, 8, Variant::R4(0.1f)));
  ps.Append(cmd->CreateParameter("", ado::kDate, 1, 8,
                                 Variant::Date(Variant::MakeDate(2005, 3, 1))));
  cmd->Execute();
  ps.Item(0)->value = Variant::I4(4);
  ps.Item(1)->value = Variant::Bool(true);
  ps.Item(2)->value = Variant::Null();
  ps.Item(3)->value = Variant::Date(Variant::MakeDate(2005, 3, 1, 8, 30, 0));
  cmd->Execute();
  ps.Item(0)->value = Variant::I4(5);
  ps.Item(1)->value = Variant::Text(
      "\xe0\x9f\xbf|\xe0\xa0\x80|\xed\x9f\xbf|\xed\xa0\x80|\xf0\x8f\xbf\xbf|"
      "\xf0\x90\x80\x80|\xf4\x8f\xbf\xbf|\xf4\x90\x80\x80|\xc1\xbf|"
      "\xf5\x80\x80\x80|\xe5\x90");
  ps.Item(3)->value = Variant::Null();
  cmd->Execute();
  auto rs = Recordset::Create();
  rs->Open("SELECT FID FROM t_A", c);
  SetTraceFile("");
  c->Execute("SELECT 2");  // not traced
  EXPECT_EQ(test::golden::FileLines(trace),
            test::golden::FileLines(fs::path(MARL_GOLDEN_DIR) / "data" /
                                    "trace.jsonl"));
}

// Run as a child process by the next test: traces through MARL_TRACE_SQL.
TEST_F(ProviderExtrasTest, TraceChildProcess) {
  const char* cs = std::getenv("MARL_TEST_CHILD_CS");
  if (cs == nullptr) GTEST_SKIP() << "runs only as a child process";
  auto c = OpenPhysical(cs);
  for (int i = 0; i < 200; ++i) {
    c->Run("SELECT " + std::to_string(i) + " AS \"child\"", {});
  }
}

TEST_F(ProviderExtrasTest, ProcessesTraceToOneFileFromTheEnvironment) {
  const fs::path trace = dir_ / "shared-trace.jsonl";
  // Two children at once, each tracing 200 texts; both must succeed.
  const std::string child =
      "MARL_TRACE_SQL=" + trace.string() + " MARL_TEST_CHILD_CS='" + cs_ +
      "' " + fs::read_symlink("/proc/self/exe").string() +
      " --gtest_filter=ProviderExtrasTest.TraceChildProcess >/dev/null";
  EXPECT_EQ(
      std::system((child + " & a=$!; " + child + " & b=$!; wait $a && wait $b")
                      .c_str()),
      0);
  std::map<std::string, int> seen;
  for (const std::string& line : test::golden::FileLines(trace)) ++seen[line];
  EXPECT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    std::string want = R"({"text": "SELECT )" + std::to_string(i) +
                       R"( AS \"child\"", "params": []})";
    EXPECT_EQ(seen[want], 2) << want;
  }
}

}  // namespace
}  // namespace marl::data
