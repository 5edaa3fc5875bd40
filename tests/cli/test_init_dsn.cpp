// init --dsn: the schema and the demonstration company written through the
// data layer into an existing database, against init --db on SQLite.
#include <cstdlib>
#include <regex>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

class InitDsnTest : public OperatorTest {
 protected:
  // An empty database file and its property string.
  std::string EmptyDsn(const std::string& name) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path).flush();
    return Dsn(path);
  }
  static std::string Dsn(const std::string& path) {
    return "ConnectString={Provider=SQLite;Data Source=" + path +
           "};DBMS Name=SQLite;DBMS Version=3.40;LANGUAGE=en";
  }
  static std::string PathOf(const std::string& dsn) {
    const auto start = dsn.find("Data Source=") + 12;
    return dsn.substr(start, dsn.find('}') - start);
  }
  static void Exec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sql;
    sqlite3_close(db);
  }
};

// Both paths give the same tables, byte for byte (identity counters
// included), for the seed rows alone and for demonstration companies.
TEST_F(InitDsnTest, GivesTheTablesOfInitDb) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--demo", "--scale", "tiny", "--seed", "3"},
      {"--demo", "--scale", "small", "--seed", "2"}};
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string file = (dir_ / ("file" + std::to_string(i))).string();
    const std::string dsn = EmptyDsn("dsn" + std::to_string(i));
    std::vector<std::string> by_file = {"init", "--db", file};
    std::vector<std::string> by_dsn = {"init", "--dsn", dsn};
    by_file.insert(by_file.end(), cases[i].begin(), cases[i].end());
    by_dsn.insert(by_dsn.end(), cases[i].begin(), cases[i].end());
    ASSERT_EQ(Tool(by_file).status, 0);
    ToolResult r = Tool(by_dsn);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("created 46 ERP tables"), std::string::npos) << r.out;
    const Snapshot expected = TakeSnapshot(file);
    EXPECT_GT(expected.at("t_SystemProfile").size(), 0u);
    ExpectSameTables(expected, TakeSnapshot(PathOf(dsn)));
  }
}

TEST_F(InitDsnTest, RefusesErpTablesUnlessForcedAndDropsOnlyThose) {
  const std::string dsn = EmptyDsn("erp.db");
  const std::string path = PathOf(dsn);
  Exec(path,
       "CREATE TABLE Other (x); INSERT INTO Other VALUES (5);"
       "CREATE TABLE cbBalance (x); INSERT INTO cbBalance VALUES (1);");
  ToolResult r = Tool({"init", "--dsn", dsn, "--demo", "--scale", "tiny"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("holds 1 of the 46 ERP tables: cbBalance (1 rows)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(QueryInt(path, "SELECT x FROM cbBalance"), 1);

  r = Tool({"init", "--dsn", dsn, "--demo", "--scale", "tiny", "--force"});
  ASSERT_EQ(r.status, 0) << r.err;
  Snapshot forced = TakeSnapshot(path);
  EXPECT_EQ(forced["Other"], std::vector<std::string>{"i5|"});
  forced.erase("Other");
  InitDemo(db_);
  ExpectSameTables(TakeSnapshot(db_), forced);

  r = Tool({"init", "--dsn", dsn});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("holds 46 of the 46 ERP tables: t_SystemProfile ("),
            std::string::npos)
      << r.err;
}

// A schema or demonstration data that fails leaves the database as it was,
// even after --force dropped its tables.
TEST_F(InitDsnTest, FailureLeavesTheDatabaseAsItWas) {
  const std::string dsn = EmptyDsn("erp.db");
  ASSERT_EQ(Tool({"init", "--dsn", dsn, "--demo", "--scale", "tiny"}).status,
            0);
  const Snapshot before = TakeSnapshot(PathOf(dsn));
  struct Case {
    std::string script;
    bool demo;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"CREATE TABLE cbBalance (x);\nCREATE TABLE t_Broken (", false,
       "the schema "},
      {"CREATE TABLE t_SystemProfile (FCategory, FKey, FValue);", true,
       "the demonstration data failed: SQLite: "},
  };
  for (const Case& c : cases) {
    const std::string script = (dir_ / "broken.sql").string();
    std::ofstream(script) << c.script;
    std::vector<std::string> args = {"init", "--dsn", dsn, "--force"};
    if (c.demo) args.insert(args.end(), {"--demo", "--scale", "tiny"});
    ToolResult r = Tool(args, {{"MARL_SCHEMA_FILE", script}});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    ExpectSameTables(before, TakeSnapshot(PathOf(dsn)));
  }
}

TEST_F(InitDsnTest, UsageAndOpenErrors) {
  const std::string dsn = EmptyDsn("erp.db");
  const std::string connect =
      "ConnectString={Provider=SQLite;Data Source=" + PathOf(dsn) + "}";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"init"}, 2, "either --db PATH or --dsn STRING"},
      {{"init", "--db", db_, "--dsn", dsn}, 2, "either --db"},
      {{"init", "--dsn", connect}, 2, "has no DBMS Name"},
      {{"init", "--dsn", connect + ";DBMS Name=Oracle"},
       2,
       "no schema for DBMS Name=Oracle"},
      {{"init", "--dsn", "DBMS Name=SQLite"}, 2, "has no ConnectString"},
      {{"init", "--dsn", Dsn((dir_ / "none.db").string())},
       3,
       "cannot open Provider=SQLite;Data Source="},
  };
  for (const Case& c : cases) {
    ToolResult r = Tool(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(TakeSnapshot(PathOf(dsn)).size(), 0u);
}

// status on --dsn: the database named by its connect string with the
// password masked, and the current period's rows counted.
TEST_F(InitDsnTest, StatusOnDsnMasksPasswordsAndCountsThePeriod) {
  InitDemo(db_);
  const int64_t rows = QueryInt(
      db_,
      "SELECT COUNT(*) FROM cbMaterielInfo WHERE FYear=2024 AND FPeriod=11");
  ASSERT_GT(rows, 0);
  const std::regex count_line("\n +cbMaterielInfo +" + std::to_string(rows) +
                              "\n");
  for (const char* key : {"PWD=s3cret", "Password = s3cret"}) {
    const std::string dsn = std::string("ConnectString={Provider=SQLite;") +
                            key + ";Data Source=" + db_ +
                            "};DBMS Name=SQLite;DBMS Version=3.40;LANGUAGE=en";
    ToolResult r = Tool({"status", "--dsn", dsn});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("s3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("***;Data Source=" + db_), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, count_line)) << rows << r.out;
  }
}

// The demonstration company of a seed stays the same from one version of
// the generator to the next: a digest per table of tiny seed 1 against
// tests/golden/demo/tiny-seed1.txt ("table rows digest" lines). After a
// deliberate change of the generator, MARL_UPDATE_GOLDEN=1 rewrites it.
TEST_F(InitDsnTest, DemoCompanyOfASeedIsUnchanged) {
  InitDemo(db_);
  std::string digests;
  for (const auto& [table, rows] : TakeSnapshot(db_)) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a over the sorted rows
    for (const std::string& row : rows) {
      for (const char c : row + "\n") {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
      }
    }
    digests += table + " " + std::to_string(rows.size()) + " " +
               std::to_string(h) + "\n";
  }
  const std::string golden =
      std::string(MARL_GOLDEN_DIR) + "/demo/tiny-seed1.txt";
  if (const char* update = std::getenv("MARL_UPDATE_GOLDEN");
      update != nullptr && *update == '1') {
    std::filesystem::create_directories(MARL_GOLDEN_DIR "/demo");
    std::ofstream(golden) << digests;
  }
  std::ifstream in(golden);
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(expected.str(), digests) << golden;
}

}  // namespace
}  // namespace marl::test
