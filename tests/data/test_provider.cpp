// One suite run against every provider: each provider supplies a fixture
// that makes an empty database with the suite's tables and names it in a
// connection string. The providers: embedded SQLite; ODBC to the SQLite3
// driver; ODBC to PostgreSQL, on the server named by MARL_TEST_PG (an ODBC
// "Driver=...;Server=..." string),
// where each test makes and drops a database of its own; without
// MARL_TEST_PG those cases are skipped. What the data layer does the same
// on every provider (the trace, the records-affected count) is tested once,
// on the embedded provider, in test_provider_extras.cpp.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "data/ado.h"
#include "data/odbc/odbc_provider.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"
#include "support/raised.h"

namespace marl::data {
namespace {

namespace fs = std::filesystem;

// The providers under test, registered as the component server does.
const bool kProvidersRegistered = [] {
  RegisterProvider(sqlite::MakeSqliteProvider());
  RegisterProvider(odbc::MakeOdbcProvider());
  return true;
}();

const std::vector<std::string> kTables = {
    "CREATE TABLE t_Item (FID INTEGER PRIMARY KEY, FName TEXT COLLATE NOCASE "
    "NOT NULL, FQty REAL, FDate DATETEXT)",
    "CREATE TABLE t_Log (FID INTEGER, FNote TEXT)",
};

const std::vector<std::string> kPostgresTables = {
    "CREATE EXTENSION IF NOT EXISTS citext",
    "CREATE TABLE t_Item (FID INTEGER PRIMARY KEY, FName CITEXT NOT NULL, "
    "FQty DOUBLE PRECISION, FDate TIMESTAMP)",
    "CREATE TABLE t_Log (FID INTEGER, FNote CITEXT)",
};

// MARL_TEST_PG (an ODBC connection string) without its database.
std::string PostgresServer() {
  const char* env = std::getenv("MARL_TEST_PG");
  std::string out;
  for (const auto& [key, value] :
       ConnectionParams::Parse(env ? env : "").values) {
    if (key != "database") out += key + "=" + value + ";";
  }
  return out;
}

struct ProviderFixture {
  std::string name;
  std::string provider_name;  // the source of the provider's errors
  std::string dbms;           // its "DBMS Name" property
  // The connection string of database `db`: a file in `dir`, or (`server`)
  // a database the test makes and drops on the PostgreSQL server.
  std::string (*cs)(const fs::path& dir, const std::string& db);
  bool server;
  std::string busy_timeout;        // appended with the lock wait in ms
  std::string missing_words;       // in the error opening a missing database
                                   // ("": its file name)
  std::string locked_words;        // in the error of a writer that waited
  std::string duplicate_sqlstate;  // of a duplicate key ("": none)
  bool error_ends_transaction;     // an error inside a transaction ends it
};

void PrintTo(const ProviderFixture& f, std::ostream* os) { *os << f.name; }

const ProviderFixture kFixtures[] = {
    {"SQLite", "SQLite", "SQLite",
     [](const fs::path& dir, const std::string& db) {
       return "Provider=SQLite;Data Source=" + (dir / db).string() + ".db";
     },
     false, ";Busy Timeout=", "", "database is locked", "", false},
    {"OdbcSQLite3", "ODBC", "SQLite",
     [](const fs::path& dir, const std::string& db) {
       return "Driver=SQLite3;Database=" + (dir / db).string() +
              ".db;NoCreat=1";
     },
     false, ";Timeout=", "[HY000]", "database is locked", "[HY000]", true},
    {"OdbcPostgreSQL", "ODBC", "PostgreSQL",
     [](const fs::path&, const std::string& db) {
       return PostgresServer() + "Database=" + db;
     },
     true, ";ConnSettings={SET lock_timeout=", "marl_missing", "[55P03]",
     "[23505]", true},
};

class ProviderTest : public ::testing::TestWithParam<ProviderFixture> {
 protected:
  void SetUp() override {
    const ProviderFixture& f = GetParam();
    if (f.server && PostgresServer().empty()) {
      GTEST_SKIP() << "MARL_TEST_PG names no PostgreSQL server";
    }
    std::string tmpl =
        (fs::temp_directory_path() / "marl-data-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    static int serial = 0;
    std::string db = "test";
    if (f.server) {
      db = "marl_test_" + std::to_string(getpid()) + "_" +
           std::to_string(++serial);
      OpenPhysical(f.cs(dir_, "postgres"))
          ->RunNativeScript("CREATE DATABASE " + db);
    } else {
      std::ofstream(dir_ / "test.db").flush();  // an empty database
    }
    cs_ = f.cs(dir_, db);
    auto conn = OpenPhysical(cs_);
    for (const std::string& sql : f.server ? kPostgresTables : kTables) {
      conn->RunNativeScript(sql);
    }
  }
  void TearDown() override {
    SetFaultPlan(FaultPlan{});
    if (GetParam().server && !cs_.empty()) {
      OpenPhysical(GetParam().cs(dir_, "postgres"))
          ->RunNativeScript("DROP DATABASE IF EXISTS " +
                            ConnectionParams::Parse(cs_).Get("database") +
                            " WITH (FORCE)");
    }
    if (!dir_.empty()) fs::remove_all(dir_);
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

  fs::path dir_;
  std::string cs_;
};

using test::Raised;

TEST_P(ProviderTest, OpenReportsPropertiesAndFailsClearly) {
  auto c = Open();
  EXPECT_EQ(c->State(), ado::kStateOpen);
  EXPECT_EQ(c->Property("DBMS Name").ToText(), GetParam().dbms);
  EXPECT_FALSE(c->Property("dbms version").ToText().empty());
  EXPECT_EQ(c->Property("Multiple Results").Type(), VarType::I4);
  EXPECT_EQ(c->Property("Time/Date Functions").Type(), VarType::I4);
  EXPECT_EQ(Raised([&] { c->Property("No Such Property"); }).number(), 3265);
  c->Close();
  EXPECT_EQ(c->State(), ado::kStateClosed);
  EXPECT_EQ(Raised([&] { c->Execute("SELECT 1"); }).number(), 3704);

  Error e = Raised([&] { Open(GetParam().cs(dir_, "marl_missing")); });
  EXPECT_EQ(e.number(), err::kDbFail);
  const std::string words = GetParam().missing_words.empty()
                                ? (dir_ / "marl_missing.db").string()
                                : GetParam().missing_words;
  EXPECT_NE(e.description().find(words), std::string::npos) << e.description();
  EXPECT_FALSE(fs::exists(dir_ / "marl_missing.db"));

  e = Raised([&] { Open("Provider=Nope;Data Source=x"); });
  EXPECT_EQ(e.number(), err::kDbFail);
  EXPECT_EQ(e.description(), "Provider 'Nope' is not available");
}

TEST_P(ProviderTest, BatchRunsEveryStatementAndReturnsFirstRowset) {
  auto c = Open();
  int64_t affected = 0;
  const int64_t rows_before = RecordsAffected();
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
  EXPECT_EQ(RecordsAffected() - rows_before, 5);
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

  // Writes of no row count 0 and the rowset after them still comes; count(*)
  // and a sum of integers read as the I4 the lists expect.
  rs = c->Execute(
      "UPDATE t_Item SET FQty = 1 WHERE FID = -1\r\n"
      "DELETE FROM t_Log WHERE FID = -1\r\n"
      "SELECT COUNT(*) AS N, SUM(FID) AS S FROM t_Item",
      &affected);
  EXPECT_EQ(affected, 0);
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Fields("N").Value().Type(), VarType::I4);
  EXPECT_EQ(rs->Fields("N").Value().AsI4(), 2);
  EXPECT_EQ(rs->Fields("S").Value().AsI4(), 5);
  // The period key is a double; the spelling of names is the text's.
  rs = c->Execute(
      "SELECT FID + 0.0001 * FID AS FKey, FID AS FItemNumber FROM t_Item "
      "WHERE FID = 2");
  EXPECT_EQ(rs->Fields(0).Value().Type(), VarType::R8);
  EXPECT_DOUBLE_EQ(rs->Fields(0).Value().AsR8(), 2.0002);
  EXPECT_EQ(rs->Fields(0).Name(), "FKey");
  EXPECT_EQ(rs->Fields(1).Name(), "FItemNumber");
  c->Execute("SELECT FID FROM t_Item", &affected);
  EXPECT_EQ(affected, -1);

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
      auto other = Open(cs_ + GetParam().busy_timeout + "200" +
                        (GetParam().server ? "}" : ""));
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
    EXPECT_NE(e.description().find(GetParam().locked_words), std::string::npos)
        << e.description();
    EXPECT_GE(waited_ms, 150);
    EXPECT_LT(waited_ms, 3000);

    // A writer with a long wait gets its turn once the holder commits; so
    // does a transaction, whose first read waits for that commit.
    std::thread late([&] {
      Open()->Execute("INSERT INTO t_Item(FID, FName) VALUES (3, 'late')");
    });
    int32_t seen = 0;
    std::thread second([&] {
      TransactionScope mine;
      auto rs = Open()->Execute("SELECT COUNT(*) FROM t_Item WHERE FID = 1");
      seen = rs->Fields(0).Value().ToInt32();
      mine.Commit();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    scope.Commit();
    late.join();
    second.join();
    EXPECT_EQ(seen, 1);
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

TEST_P(ProviderTest, ErrorMidTextIsRaisedAndTheTransactionEndsUndone) {
  {
    TransactionScope scope;
    auto c = Open();
    c->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
    Error e = Raised([&] {
      c->Execute(
          "INSERT INTO t_Log(FID, FNote) VALUES (1, 'before')\r\n"
          "INSERT INTO t_Item(FID, FName) VALUES (1, 'again')\r\n"
          "INSERT INTO t_Log(FID, FNote) VALUES (2, 'after')");
    });
    EXPECT_EQ(e.number(), err::kDbIntegrity);
    EXPECT_EQ(e.source(), GetParam().provider_name);
    EXPECT_NE(e.description().find(GetParam().duplicate_sqlstate),
              std::string::npos)
        << e.description();
    if (GetParam().error_ends_transaction) {
      // Nothing carries on in a new transaction: the next text and the
      // commit are refused.
      Error next = Raised([&] { c->Execute("SELECT 1"); });
      EXPECT_NE(next.description().find("rolled back"), std::string::npos);
      EXPECT_THROW(scope.Commit(), Error);
    }
  }
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(OpenPhysical(cs_)
                ->Run("SELECT COUNT(*) FROM t_Log", {})
                .rows.at(0)
                .at(0)
                .ToInt32(),
            0);
}

// A constraint checked only at the commit: the failure is raised with its
// number, nothing of the work stays, and the connection goes on afterwards.
// Only the server defers a unique check to the commit.
TEST_P(ProviderTest, FailureAtTheCommitIsRaisedAndNothingStays) {
  if (!GetParam().server) GTEST_SKIP() << "no check deferred to the commit";
  OpenPhysical(cs_)->RunNativeScript(
      "CREATE TABLE t_Once (FID INTEGER UNIQUE DEFERRABLE INITIALLY "
      "DEFERRED)");
  const std::string twice =
      "INSERT INTO t_Item(FID, FName) VALUES (1, 'a')\r\n"
      "INSERT INTO t_Once(FID) VALUES (1)\r\n"
      "INSERT INTO t_Once(FID) VALUES (1)";
  Error in_scope = Raised([&] {
    TransactionScope scope;
    Open()->Execute(twice);
    scope.Commit();
  });
  auto c = Open();
  Error own = Raised([&] { c->Execute(twice); });  // its own transaction
  for (const Error& e : {in_scope, own}) {
    EXPECT_EQ(e.number(), err::kDbIntegrity) << e.description();
    EXPECT_NE(e.description().find(GetParam().duplicate_sqlstate),
              std::string::npos)
        << e.description();
  }
  EXPECT_EQ(Count(), 0);
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (2, 'b')");
  EXPECT_EQ(Count(), 1);
}

TEST_P(ProviderTest, ChineseTextGoesBothWays) {
  const std::string name = "\xe5\x90\x88\xe8\xae\xa1 \xe6\x88\x90\xe6\x9c\xac";
  auto c = Open();
  auto cmd = Command::Create();
  cmd->SetActiveConnection(c);
  cmd->CommandText = "INSERT INTO t_Item(FID, FName) VALUES (?, ?)";
  cmd->GetParameters().Append(cmd->CreateParameter(
      "", ado::kInteger, ado::kParamInput, 4, Variant::I4(1)));
  cmd->GetParameters().Append(cmd->CreateParameter(
      "", ado::kVarWChar, ado::kParamInput, 20, Variant::Text(name)));
  cmd->Execute();
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (2, '" + name + "x')");
  auto rs = c->Execute("SELECT FName FROM t_Item WHERE FName = '" + name +
                       "' OR FName LIKE '%\xe6\x9c\xacx' ORDER BY FID");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields(0).Value().AsText(), name);
  rs->MoveNext();
  EXPECT_EQ(rs->Fields(0).Value().AsText(), name + "x");
}

TEST_P(ProviderTest, ReadOnlyRunsOneReadingStatementOnly) {
  auto c = Open();
  c->Execute("INSERT INTO t_Item(FID, FName) VALUES (1, 'a')");
  ResultSet rs = c->RunReadOnly("SELECT FName FROM t_Item", {});
  ASSERT_EQ(rs.rows.size(), 1u);
  for (const char* text : {"SELECT 1 SELECT 2", "DELETE FROM t_Item",
                           "SELECT 1\r\nINSERT INTO t_Log(FID) VALUES (1)"}) {
    EXPECT_EQ(Raised([&] { c->RunReadOnly(text, {}); }).number(), err::kDbFail)
        << text;
  }
  // A write the statement kind does not show is refused all the same.
  EXPECT_THROW(c->RunReadOnly("SELECT FID INTO t_Copy FROM t_Item", {}), Error);
  EXPECT_THROW(c->Execute("SELECT COUNT(*) FROM t_Copy"), Error);
  {
    TransactionScope scope;  // inside a transaction as well
    auto t = Open();
    t->Execute("INSERT INTO t_Log(FID) VALUES (1)");
    EXPECT_EQ(t->RunReadOnly("SELECT FID FROM t_Log", {}).rows.size(), 1u);
    t->Execute("INSERT INTO t_Log(FID) VALUES (2)");
    scope.Commit();
  }
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(
      c->Execute("SELECT COUNT(*) FROM t_Log")->Fields(0).Value().ToInt32(), 2);
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

INSTANTIATE_TEST_SUITE_P(Providers, ProviderTest,
                         ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace marl::data
