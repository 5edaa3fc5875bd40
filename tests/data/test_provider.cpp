// One suite run against every provider: each provider supplies a fixture
// that makes an empty database with the suite's tables and names it in a
// connection string.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data/ado.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"

namespace marl::data {
namespace {

namespace fs = std::filesystem;

// The providers under test, registered as the component server does.
const bool kProvidersRegistered = [] {
  RegisterProvider(sqlite::MakeSqliteProvider());
  return true;
}();

constexpr const char* kTables[] = {
    "CREATE TABLE t_Item (FID INTEGER PRIMARY KEY, FName TEXT COLLATE NOCASE "
    "NOT NULL, FQty REAL, FDate DATETEXT)",
    "CREATE TABLE t_Log (FID INTEGER, FNote TEXT)",
};

struct ProviderFixture {
  std::string name;
  std::string provider_name;  // the source of the provider's errors
  // Creates a database with kTables in `dir`; returns its connection string.
  std::function<std::string(const fs::path& dir)> create;
  // A connection string for a database that does not exist.
  std::function<std::string(const fs::path& dir)> missing;
  // `cs` with the lock wait set to `ms` milliseconds.
  std::function<std::string(const std::string& cs, int ms)> with_busy_timeout;
};

ProviderFixture SqliteFixture() {
  ProviderFixture f;
  f.name = "SQLite";
  f.provider_name = "SQLite";
  f.create = [](const fs::path& dir) {
    fs::path file = dir / "test.db";
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    for (const char* sql : kTables) {
      EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    sqlite3_close(db);
    return "Provider=SQLite;Data Source=" + file.string();
  };
  f.missing = [](const fs::path& dir) {
    return "Provider=SQLite;Data Source=" + (dir / "missing.db").string();
  };
  f.with_busy_timeout = [](const std::string& cs, int ms) {
    return cs + ";Busy Timeout=" + std::to_string(ms);
  };
  return f;
}

class ProviderTest : public ::testing::TestWithParam<ProviderFixture> {
 protected:
  void SetUp() override {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-data-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    cs_ = GetParam().create(dir_);
  }
  void TearDown() override {
    SetTraceFile("");
    SetFaultPlan(FaultPlan{});
    fs::remove_all(dir_);
  }

  std::shared_ptr<Connection> Open(const std::string& cs = "") {
    auto c = Connection::Create();
    c->Open(cs.empty() ? cs_ : cs);
    return c;
  }

  // Counts rows over a physical connection of its own, outside any
  // transaction and enlistment.
  int32_t Count(const std::string& where = "1 = 1") {
    auto conn = OpenPhysical(cs_);
    ResultSet rs = conn->Run("SELECT COUNT(*) FROM t_Item WHERE " + where, {});
    return rs.rows.at(0).at(0).ToInt32();
  }

  // Runs `body` and returns the error it raised (fails when none).
  static Error Raised(const std::function<void()>& body) {
    try {
      body();
    } catch (const Error& e) {
      return e;
    }
    ADD_FAILURE() << "no error raised";
    return Error(0, "", "");
  }

  fs::path dir_;
  std::string cs_;
};

TEST_P(ProviderTest, OpenReportsPropertiesAndFailsClearly) {
  auto c = Open();
  EXPECT_EQ(c->State(), ado::kStateOpen);
  EXPECT_FALSE(c->Property("DBMS Name").ToText().empty());
  EXPECT_FALSE(c->Property("dbms version").ToText().empty());
  EXPECT_EQ(Raised([&] { c->Property("No Such Property"); }).number(), 3265);
  c->Close();
  EXPECT_EQ(c->State(), ado::kStateClosed);
  EXPECT_EQ(Raised([&] { c->Execute("SELECT 1"); }).number(), 3704);

  std::string missing = GetParam().missing(dir_);
  Error e = Raised([&] { Open(missing); });
  EXPECT_EQ(e.number(), err::kDbFail);
  EXPECT_NE(e.description().find((dir_ / "missing.db").string()),
            std::string::npos)
      << e.description();
  EXPECT_FALSE(fs::exists(dir_ / "missing.db"));

  e = Raised([&] { Open("Provider=Nope;Data Source=x"); });
  EXPECT_EQ(e.number(), err::kDbFail);
  EXPECT_EQ(e.description(), "Provider 'Nope' is not available");
}

TEST_P(ProviderTest, BatchRunsEveryStatementAndReturnsFirstRowset) {
  auto c = Open();
  int64_t affected = 0;
  auto rs = c->Execute(
      "INSERT INTO t_Item(FID, FName) VALUES (1, 'one')\r\n"
      "Insert t_Item(FID, FName) VALUES (2, 'two')\r\n"
      "Insert t_Item(FID, FName) VALUES (3, 'three')\r\n"
      "Delete t_Item WHERE FID = 1\r\n"
      "SELECT FID, FName FROM t_Item ORDER BY FID\r\n"
      "SELECT 99 AS Other\r\n"
      "INSERT INTO t_Log(FID, FNote) VALUES (1, 'after the select')",
      &affected);
  EXPECT_EQ(affected, 5);  // 3 inserts, 1 delete, 1 insert
  ASSERT_EQ(rs->State(), ado::kStateOpen);
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("fid").Value().ToInt32(), 2);
  EXPECT_EQ(rs->Fields(1).Value().AsText(), "two");
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("FNAME").Value().AsText(), "three");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(Raised([&] { rs->MoveNext(); }).number(), 3021);
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields("FID").Value().ToInt32(), 2);
  Error e = Raised([&] { rs->Fields("Other"); });
  EXPECT_EQ(e.number(), 3265);
  EXPECT_EQ(e.description(),
            "Item cannot be found in the collection corresponding to the "
            "requested name or ordinal.");

  auto log = c->Execute("SELECT FNote FROM t_Log");
  ASSERT_EQ(log->RecordCount(), 1);

  auto none = c->Execute("DELETE FROM t_Log");
  EXPECT_EQ(none->State(), ado::kStateClosed);
  EXPECT_TRUE(none->Eof());

  // Through late binding as well.
  std::vector<Variant> args{
      Variant::Text("SELECT FName FROM t_Item WHERE FID = 3")};
  auto late = c->Invoke("Execute", args).AsObject();
  EXPECT_EQ(late->Get("Fields", {Variant::Text("fname")}).AsText(), "three");
  EXPECT_FALSE(late->Get("EOF").AsBool());
}

TEST_P(ProviderTest, ParametersBindInOrderWithTheirTypes) {
  auto c = Open();
  auto cmd = Command::Create();
  cmd->SetActiveConnection(c);
  cmd->CommandText =
      "INSERT INTO t_Item(FName, FID, FQty, FDate) VALUES (?, ?, ?, ?)";
  auto& ps = cmd->GetParameters();
  const double date = Variant::MakeDate(2005, 3, 31, 13, 5, 9);
  ps.Append(cmd->CreateParameter("n", ado::kVarWChar, ado::kParamInput, 50,
                                 Variant::Text("it's")));
  ps.Append(cmd->CreateParameter("id", ado::kInteger, ado::kParamInput, 4,
                                 Variant::Text("7")));  // converted to 7
  ps.Append(cmd->CreateParameter("q", ado::kDouble, ado::kParamInput, 8,
                                 Variant::R8(2.5)));
  ps.Append(cmd->CreateParameter("d", ado::kDBTimeStamp, ado::kParamInput, 8,
                                 Variant::Date(date)));
  int64_t affected = 0;
  cmd->Execute(&affected);
  EXPECT_EQ(affected, 1);
  // A date given as text binds as the canonical date.
  ps.Item(0)->value = Variant::Text("midnight");
  ps.Item(1)->value = Variant::I4(8);
  ps.Item(2)->value = Variant::Null();
  ps.Item(3)->value = Variant::Text("2005-03-01");
  cmd->Execute();
  EXPECT_EQ(ps.Count(), 4);

  auto query = Command::Create();
  query->SetActiveConnection(c);
  query->CommandText =
      "SELECT FID, FName, FQty, FDate FROM t_Item WHERE FID >= ? AND FName <> "
      "? "
      "ORDER BY FID";
  query->GetParameters().Append(query->CreateParameter(
      "a", ado::kInteger, ado::kParamInput, 4, Variant::I4(7)));
  query->GetParameters().Append(query->CreateParameter(
      "b", ado::kVarWChar, ado::kParamInput, 10, Variant::Text("x")));
  auto rs = query->Execute();
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("FID").Type(), ado::kInteger);
  EXPECT_EQ(rs->Fields("FQty").Type(), ado::kDouble);
  EXPECT_EQ(rs->Fields("FName").Type(), ado::kVarWChar);
  EXPECT_EQ(rs->Fields("FDate").Type(), ado::kDBTimeStamp);
  EXPECT_EQ(rs->Fields("FName").Value().AsText(), "it's");
  EXPECT_EQ(rs->Fields("FQty").Value().AsR8(), 2.5);
  EXPECT_EQ(rs->Fields("FDate").Value().AsDate(), date);
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields("FQty").Value().IsNull());
  EXPECT_EQ(Variant::FormatDate(rs->Fields("FDate").Value().AsDate()),
            "2005-03-01");
  EXPECT_EQ(Count("FDate = '2005-03-01'"), 1);

  ps.Delete(3);
  EXPECT_EQ(ps.Count(), 3);
  EXPECT_EQ(Raised([&] { ps.Delete(3); }).number(), err::kSubscriptRange);
  // Three values for four markers.
  EXPECT_EQ(Raised([&] { cmd->Execute(); }).number(), err::kDbFail);
}

TEST_P(ProviderTest, DetachedRecordsetOutlivesItsConnection) {
  Open()->Execute(
      "INSERT INTO t_Item(FID, FName) VALUES (1, 'a')\r\n"
      "INSERT INTO t_Item(FID, FName) VALUES (2, 'b')");
  auto rs = Recordset::Create();
  rs->CursorLocation = ado::kUseClient;
  rs->Open("SELECT FID, FName FROM t_Item ORDER BY FID", cs_, ado::kOpenStatic,
           ado::kLockBatchOptimistic);
  ASSERT_NE(rs->ActiveConnection(), nullptr);
  rs->SetActiveConnection(nullptr);
  Open()->Execute("DELETE FROM t_Item");  // the rows stay in memory

  auto clone = rs->Clone();
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("FName").Value().AsText(), "b");
  EXPECT_EQ(clone->Fields("FName").Value().AsText(), "a");  // own position
  rs->Close();
  EXPECT_EQ(clone->RecordCount(), 2);

  auto c = Open();
  auto rs2 = Recordset::Create();
  rs2->Open("SELECT 5 AS Five", c);
  rs2->SetActiveConnection(nullptr);
  c->Close();
  EXPECT_EQ(rs2->Fields(0).Value().ToInt32(), 5);
}

TEST_P(ProviderTest, ConnectionsOfOneTransactionShareItsWork) {
  {
    TransactionScope scope;
    auto a = Open();
    auto b = Open();
    a->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
    auto seen = b->Execute("SELECT COUNT(*) AS N FROM t_Item");
    EXPECT_EQ(seen->Fields("N").Value().ToInt32(), 1);
    a->Close();  // releases the handle only
    b->Execute("INSERT INTO t_Item(FID, FName) VALUES (2, 'b')");
    EXPECT_EQ(Count(), 0);  // nothing visible outside before the end
  }                         // not committed: both undone
  EXPECT_EQ(Count(), 0);

  {
    TransactionScope scope;
    Open()->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
    // Another spelling of the same connection string shares the connection
    // (rather than waiting for its lock).
    auto respelled = Open(" " + cs_ + ";");
    EXPECT_EQ(respelled->Execute("SELECT COUNT(*) FROM t_Item")
                  ->Fields(0)
                  .Value()
                  .ToInt32(),
              1);
    auto rs = Recordset::Create();
    rs->Open("SELECT FID FROM t_Item", cs_);  // its own handle, enlisted
    EXPECT_EQ(rs->RecordCount(), 1);
    Open()->Execute("INSERT INTO t_Item(FID, FName) VALUES (2, 'b')");
    scope.Commit();
  }
  EXPECT_EQ(Count(), 2);
}

TEST_P(ProviderTest, WithoutTransactionEachTextCommitsAndIsAtomic) {
  auto c = Open();
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
  EXPECT_EQ(Count(), 1);
  // The second insert violates the key: the whole text is undone.
  Error e = Raised([&] {
    c->Execute(
        "INSERT INTO t_Item(FID, FName) VALUES (2, 'b')\r\n"
        "INSERT INTO t_Item(FID, FName) VALUES (1, 'again')");
  });
  EXPECT_EQ(e.number(), err::kDbIntegrity);
  EXPECT_EQ(Count(), 1);
}

TEST_P(ProviderTest, SecondWriterWaitsThenFailsOrSerialises) {
  auto writer = Open();
  {
    TransactionScope scope;
    auto holder = Open();
    holder->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'held')");

    Error e(0, "", "");
    double waited_ms = 0;
    // Another thread has no current transaction: its connection is its own.
    std::thread([&] {
      auto other = Open(GetParam().with_busy_timeout(cs_, 200));
      auto start = std::chrono::steady_clock::now();
      e = Raised([&] {
        other->Execute(
            "INSERT INTO t_Item(FID, FName) VALUES (2, 'other')\r\n"
            "INSERT INTO t_Log(FID) VALUES (2)");
      });
      waited_ms = std::chrono::duration<double, std::milli>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    }).join();
    EXPECT_EQ(e.number(), err::kDbFail);
    EXPECT_EQ(e.description(), "database is locked");
    EXPECT_GE(waited_ms, 150);
    EXPECT_LT(waited_ms, 3000);

    // A writer with a long wait gets its turn once the holder commits.
    std::thread late([&] {
      Open()->Execute("INSERT INTO t_Item(FID, FName) VALUES (3, 'late')");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    scope.Commit();
    late.join();
  }
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Count("FID = 2"), 0);
  auto logs = writer->Execute("SELECT COUNT(*) FROM t_Log");
  EXPECT_EQ(logs->Fields(0).Value().ToInt32(), 0);
}

TEST_P(ProviderTest, ErrorsCarryTheMatchingNumbers) {
  auto c = Open();
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
  struct Case {
    const char* text;
    int32_t number;
  };
  const Case cases[] = {
      {"SELECT FID FROM t_Item WHERE", err::kDbSyntax},
      {"SELECT FNoSuchColumn FROM t_Item", err::kDbSyntax},
      {"SELECT NoSuchFunction(FID) FROM t_Item", err::kDbSyntax},
      {"SELECT * FROM t_NoSuchTable", err::kDbNoTable},
      {"INSERT INTO t_Item(FID, FName) VALUES (1, 'dup')", err::kDbIntegrity},
      {"INSERT INTO t_Item(FID, FName) VALUES (5, NULL)", err::kDbIntegrity},
  };
  for (const Case& k : cases) {
    Error e = Raised([&] { c->Execute(k.text); });
    EXPECT_EQ(e.number(), k.number) << k.text << ": " << e.description();
    EXPECT_EQ(e.source(), GetParam().provider_name) << k.text;
    EXPECT_FALSE(e.description().empty()) << k.text;
  }
  EXPECT_EQ(Count(), 1);
}

TEST_P(ProviderTest, TraceHoldsEachTextAsSentWithItsParameters) {
  fs::path trace = dir_ / "trace.jsonl";
  SetTraceFile(trace.string());
  EXPECT_EQ(TraceFile(), trace.string());
  auto c = Open();
  c->Execute("SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
  c->Execute("Delete t_Item WHERE FName = N'x\"y\\z'\r\n\tSELECT 1 AS A");
  auto cmd = Command::Create();
  cmd->SetActiveConnection(c);
  cmd->CommandText =
      "INSERT INTO t_Item(FID, FName, FQty, FDate) VALUES (?, ?, ?, ?)";
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
  auto rs = Recordset::Create();
  rs->Open("SELECT FID FROM t_Item", c);
  SetTraceFile("");
  c->Execute("SELECT 2");  // not traced

  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> expected = {
      R"j({"text": "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "params": []})j",
      R"j({"text": "Delete t_Item WHERE FName = N'x\"y\\z'\r\n\tSELECT 1 AS A", "params": []})j",
      R"j({"text": "INSERT INTO t_Item(FID, FName, FQty, FDate) VALUES (?, ?, ?, ?)", "params": [-3, ")j"
      "\xe5\x90\x8d"
      R"j(\u0001\r\n", 0.1, "2005-03-01"]})j",
      R"j({"text": "INSERT INTO t_Item(FID, FName, FQty, FDate) VALUES (?, ?, ?, ?)", "params": [4, true, null, "2005-03-01 08:30:00"]})j",
      R"j({"text": "SELECT FID FROM t_Item", "params": []})j",
  };
  EXPECT_EQ(lines, expected);
}

// Run as a child process by the next test: traces through MARL_TRACE_SQL.
TEST_P(ProviderTest, TraceChildProcess) {
  const char* cs = std::getenv("MARL_TEST_CHILD_CS");
  if (cs == nullptr) GTEST_SKIP() << "runs only as a child process";
  auto c = Open(cs);
  for (int i = 0; i < 200; ++i) {
    c->Execute("SELECT " + std::to_string(i) + " AS \"child\"");
  }
}

TEST_P(ProviderTest, ProcessesTraceToOneFileFromTheEnvironment) {
  fs::path trace = dir_ / "shared-trace.jsonl";
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=" +
                       std::string(::testing::UnitTest::GetInstance()
                                       ->current_test_info()
                                       ->test_suite_name()) +
                       ".TraceChildProcess/" + GetParam().name;
  std::string env_trace = "MARL_TRACE_SQL=" + trace.string();
  std::string env_cs = "MARL_TEST_CHILD_CS=" + cs_;
  std::vector<pid_t> children;
  for (int k = 0; k < 2; ++k) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      char* argv[] = {self.data(), filter.data(), nullptr};
      char* envp[] = {env_trace.data(), env_cs.data(), nullptr};
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      execve(self.c_str(), argv, envp);
      _exit(127);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::ifstream in(trace);
  std::map<std::string, int> seen;
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) ++seen[line];
  EXPECT_EQ(lines, 400);
  for (int i = 0; i < 200; ++i) {
    std::string want = R"({"text": "SELECT )" + std::to_string(i) +
                       R"( AS \"child\"", "params": []})";
    EXPECT_EQ(seen[want], 2) << want;
  }
}

TEST_P(ProviderTest, FaultInjectionFailsTheNthTextBeforeItRuns) {
  auto c = Open();
  int64_t before = StatementsRun();
  SetFaultPlan(FaultPlan{2, -2147217900, "injected", "INSERT"});
  c->Execute("SELECT 1");  // not counted: does not match
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
  Error e = Raised(
      [&] { c->Execute("INSERT INTO t_Item(FID, FName) VALUES (2, 'b')"); });
  EXPECT_EQ(e.number(), -2147217900);
  EXPECT_EQ(e.source(), "FaultInjection");
  EXPECT_EQ(e.description(), "injected");
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (3, 'c')");  // one shot
  EXPECT_EQ(StatementsRun() - before, 4);
  EXPECT_EQ(Count(), 2);
  EXPECT_EQ(Count("FID = 2"), 0);
}

TEST(ConnectionParamsTest, KeysIgnoreCaseAndValuesMayBeEnclosed) {
  struct Case {
    const char* text;
    std::map<std::string, std::string> want;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/tmp/a.db",
       {{"provider", "SQLite"}, {"data source", "/tmp/a.db"}}},
      {" PROVIDER = SQLite ; data SOURCE = {/tmp/a;b.db} ;Busy Timeout=5;",
       {{"provider", "SQLite"},
        {"data source", "/tmp/a;b.db"},
        {"busy timeout", "5"}}},
      {"Data Source=\"x = y\";;junk;Extended={}",
       {{"data source", "x = y"}, {"extended", ""}}},
      {"a=1;A=2", {{"a", "2"}}},
      {"", {}},
  };
  for (const Case& k : cases) {
    ConnectionParams p = ConnectionParams::Parse(k.text);
    EXPECT_EQ(p.values, k.want) << k.text;
    EXPECT_EQ(p.text, k.text);
  }
  EXPECT_EQ(ConnectionParams::Parse("X=1").Get("y", "none"), "none");
}

INSTANTIATE_TEST_SUITE_P(Providers, ProviderTest,
                         ::testing::Values(SqliteFixture()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace marl::data
