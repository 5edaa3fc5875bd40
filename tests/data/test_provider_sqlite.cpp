// What only the embedded provider promises: statement reuse, its registered
// functions, how it types columns, and its properties.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "data/ado.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"
#include "support/raised.h"

namespace marl::data {
namespace {

namespace fs = std::filesystem;

class SqliteProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-sqlite-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    fs::path file = dir_ / "t.db";
    std::ofstream(file).flush();  // an empty file: an empty database
    cs_ = "Provider=sqlite;Data Source={" + file.string() + "}";
    conn_ = Connection::Create();
    conn_->Open(cs_);
    conn_->Execute(
        "CREATE TABLE t_Row (FID INTEGER PRIMARY KEY, FName TEXT COLLATE "
        "NOCASE, FAmount REAL, FDate DATETEXT, FRaw BLOB)");
  }
  void TearDown() override {
    conn_.reset();
    fs::remove_all(dir_);
  }
  Variant One(const std::string& sql) {
    return conn_->Execute(sql)->Fields(0).Value();
  }

  fs::path dir_;
  std::string cs_;
  std::shared_ptr<Connection> conn_;
};

TEST_F(SqliteProviderTest, RepeatedStatementsArePreparedOnce) {
  TransactionScope scope;
  auto cmd = Command::Create();
  cmd->SetActiveConnection(cs_);  // enlisted: one database transaction
  cmd->CommandText =
      "IF NOT EXISTS (SELECT 1 FROM t_Row WHERE FID = ?) "
      "INSERT INTO t_Row(FID, FName, FAmount) VALUES (?, ?, ?)";
  auto& ps = cmd->GetParameters();
  for (int i = 0; i < 4; ++i) {
    ps.Append(cmd->CreateParameter("", i == 2 ? ado::kVarWChar : ado::kInteger,
                                   ado::kParamInput, 0, Variant()));
  }
  int64_t before = sqlite::StatementsPrepared();
  for (int i = 0; i < 1000; ++i) {
    ps.Item(0)->value = Variant::I4(i % 500);
    ps.Item(1)->value = Variant::I4(i % 500);
    ps.Item(2)->value = Variant::Text("row " + std::to_string(i));
    ps.Item(3)->value = Variant::I4(i);
    cmd->Execute();
  }
  scope.Commit();
  EXPECT_LE(sqlite::StatementsPrepared() - before, 3);
  EXPECT_EQ(One("SELECT COUNT(*) FROM t_Row").ToInt32(), 500);
  EXPECT_EQ(One("SELECT SUM(FAmount) FROM t_Row").ToDouble(), 124750.0);
}

TEST_F(SqliteProviderTest, RegisteredFunctions) {
  const std::pair<const char*, const char*> cases[] = {
      {"LEN('ab  ')", "2"},
      {"LEN('  ab')", "4"},
      {"LEN('')", "0"},
      {"LEN(NULL)", "null"},
      {"LEN('\xe5\x90\x8d')", "1"},
      {"LEN('\xf0\x9f\x98\x80')", "2"},  // one surrogate pair
      {"LEN(12.5)", "4"},
  };
  for (const auto& [expr, want] : cases) {
    Variant got = One(std::string("SELECT ") + expr);
    EXPECT_EQ(got.IsNull() ? "null" : std::to_string(got.ToInt32()), want)
        << expr;
  }
  std::string now = One("SELECT GETDATE()").AsText();
  double parsed = 0;
  EXPECT_TRUE(Variant::ParseDate(now, &parsed)) << now;
}

TEST_F(SqliteProviderTest, ColumnsAreTypedFromDeclarationOrStorage) {
  conn_->Execute(
      "INSERT INTO t_Row(FID, FName, FAmount, FDate, FRaw) "
      "VALUES (3000000000, 'a', 10, '2005-03-31', x'0102')\r\n"
      "INSERT INTO t_Row(FID, FName, FAmount, FDate) "
      "VALUES (2, 'b', NULL, 'not a date')");
  auto rs = conn_->Execute(
      "SELECT FID, FName, FAmount, FDate, FRaw, (SELECT COUNT(*) FROM t_Row) "
      "AS N, "
      "1.5 AS R, NULL AS Z FROM t_Row ORDER BY FName");
  const int32_t types[] = {3, 202, 5, 135, 205, 3, 5, 202};
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(rs->Fields(i).Type(), types[i]) << rs->Fields(i).Name();
  }
  EXPECT_EQ(rs->Fields("FID").Value().Type(), VarType::R8);  // beyond 32 bits
  EXPECT_EQ(rs->Fields("FID").Value().AsR8(), 3000000000.0);
  EXPECT_EQ(rs->Fields("FAmount").Value().Type(), VarType::R8);
  EXPECT_EQ(rs->Fields("FDate").Value().AsDate(),
            Variant::MakeDate(2005, 3, 31));
  EXPECT_EQ(rs->Fields("FRaw").Value().AsBytes(), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(rs->Fields("N").Value().AsI4(), 2);
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("FID").Value().Type(), VarType::I4);
  EXPECT_EQ(rs->Fields("FDate").Value().AsText(), "not a date");
  EXPECT_TRUE(rs->Fields("FAmount").Value().IsNull());
}

TEST_F(SqliteProviderTest, PropertiesAreHonest) {
  EXPECT_EQ(conn_->Property("DBMS Name").AsText(), "SQLite");
  EXPECT_EQ(conn_->Property("DBMS Version").AsText(), sqlite3_libversion());
  EXPECT_EQ(conn_->Property("Multiple Results").AsI4(), 0);
  EXPECT_EQ(conn_->Property("Like Escape Clause").AsText(), "Y");
  EXPECT_TRUE(conn_->Property("Integrity Enhancement Facility").AsBool());
  // ABS, ROUND; LTRIM, LENGTH, REPLACE, RTRIM; IFNULL; CURRENT_DATE.
  const int32_t numeric = conn_->Property("Numeric Functions").AsI4();
  EXPECT_EQ(numeric & 0x400001, 0x400001);
  EXPECT_EQ(numeric & 0x800000, 0);  // TRUNCATE is not known by that name
  const int32_t string = conn_->Property("String Functions").AsI4();
  EXPECT_EQ(string & 0x518, 0x518);
  EXPECT_EQ(string & 0x4, 0);  // LEFT is a keyword, not a function
  EXPECT_EQ(conn_->Property("System Functions").AsI4(), 0x4);
  EXPECT_EQ(conn_->Property("Time/Date Functions").AsI4() & 0x20000, 0x20000);

  conn_->RefreshProperties();
  EXPECT_TRUE(conn_->HasProperty("dbms name"));
}

TEST_F(SqliteProviderTest, OpenRejectsBadSettingsAndNonDatabases) {
  auto c = Connection::Create();
  EXPECT_THROW(c->Open(cs_ + ";Busy Timeout=soon"), Error);
  fs::path junk = dir_ / "junk.db";
  std::ofstream(junk) << "this is not a database file, not at all, no, not "
                         "even close";
  const Error e = test::Raised(
      [&] { c->Open("Provider=SQLite;Data Source=" + junk.string()); });
  EXPECT_EQ(e.number(), err::kDbFail);
  EXPECT_NE(e.description().find(junk.string()), std::string::npos);
}

// Inside a reuse scope a connection let go is kept only when it is as a new
// one would be; the next open of its string takes it instead of opening the
// file again, and the end of the scope closes it.
TEST_F(SqliteProviderTest, ReuseScopeKeepsOnlyCleanConnections) {
  struct Case {
    const char* name;
    std::function<void(PhysicalConnection&)> use;
    bool kept;
  };
  const Case cases[] = {
      {"a read", [](PhysicalConnection& c) { c.Run("SELECT 1", {}); }, true},
      {"a committed write",
       [](PhysicalConnection& c) {
         c.Run("INSERT INTO t_Row(FName) VALUES ('x')", {});
       },
       true},
      {"an open transaction", [](PhysicalConnection& c) { c.Begin(false); },
       false},
      {"a native script",
       [](PhysicalConnection& c) { c.RunNativeScript("SELECT 1"); }, false},
      {"a session setting",
       [](PhysicalConnection& c) { c.Run("PRAGMA cache_size = 10", {}); },
       false},
  };
  for (const Case& c : cases) {
    {
      ConnectionReuseScope scope;
      c.use(*OpenPhysical(cs_));
      EXPECT_EQ(KeptConnections(), c.kept ? 1u : 0u) << c.name;
      const int64_t opened = sqlite::ConnectionsOpened();
      EXPECT_EQ(
          OpenPhysical(cs_)->Run("SELECT COUNT(*) FROM t_Row", {}).rows.size(),
          1u)
          << c.name;
      EXPECT_EQ(sqlite::ConnectionsOpened() - opened, c.kept ? 0 : 1) << c.name;
    }
    EXPECT_EQ(KeptConnections(), 0u) << c.name;
  }
  OpenPhysical(cs_).reset();  // outside a scope nothing is kept
  EXPECT_EQ(KeptConnections(), 0u);
}

// A kept connection is never handed out for a file that is no longer the
// one at its path.
TEST_F(SqliteProviderTest, ReuseScopeNeverHandsOutAReplacedFile) {
  auto make = [](const fs::path& path, const std::string& name) {
    std::ofstream(path).flush();
    OpenPhysical("Provider=sqlite;Data Source={" + path.string() + "}")
        ->Run("CREATE TABLE t_Name (FName TEXT); INSERT INTO t_Name VALUES ('" +
                  name + "')",
              {});
  };
  const fs::path file = dir_ / "u.db", other = dir_ / "v.db";
  const std::string cs = "Provider=sqlite;Data Source={" + file.string() + "}";
  for (const bool deleted : {false, true}) {
    make(file, "u");
    make(other, "v");
    ConnectionReuseScope scope;
    OpenPhysical(cs).reset();
    ASSERT_EQ(KeptConnections(), 1u);
    if (deleted) {
      fs::remove(file);
      EXPECT_ANY_THROW(OpenPhysical(cs));
      continue;
    }
    fs::rename(other, file);
    const ResultSet r = OpenPhysical(cs)->Run("SELECT FName FROM t_Name", {});
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0].ToText(), "v");
  }
}

// A translation made for one database is taken by another connection only
// where that database's columns compare the same way: carrying `x.d = 'a'`
// into the derived table is sound where F.d is NOCASE like E.d, and would
// lose the row 'A' where F.d compares in binary.
TEST_F(SqliteProviderTest, TranslationsAreSharedOnlyWhereColumnsAgree) {
  const std::string query =
      "SELECT x.y,v.p FROM E x,(SELECT d,p FROM F) v "
      "WHERE x.d = v.d AND x.d = 'a'";
  for (const char* collation : {"NOCASE", "BINARY", "NOCASE"}) {
    const fs::path file = dir_ / (std::string(collation) + ".db");
    std::ofstream(file).flush();
    auto conn =
        OpenPhysical("Provider=sqlite;Data Source={" + file.string() + "}");
    conn->Run(std::string("CREATE TABLE E (d TEXT COLLATE NOCASE, y INTEGER); "
                          "CREATE TABLE F (d TEXT COLLATE ") +
                  collation +
                  ", p TEXT); INSERT INTO E VALUES ('a', 1); "
                  "INSERT INTO F VALUES ('A', 'p1')",
              {});
    const ResultSet r = conn->Run(query, {});
    ASSERT_EQ(r.rows.size(), 1u) << collation;
    EXPECT_EQ(r.rows[0][1].ToText(), "p1");
  }
}

}  // namespace
}  // namespace marl::data
