// End-to-end runs of the built marl-checkout tool: init, call with results
// and by-reference outputs, errors, usage errors and the statement trace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "marl-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    db_ = (dir_ / "erp.db").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), MARL_CLI_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = (dir_ / "stdout").string();
    const std::string err = (dir_ / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    RunResult r;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) ==
        0) {
      int status = 0;
      waitpid(pid, &status, 0);
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }

  void Init() {
    RunResult r = Run({"init", "--db", db_});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  std::string Scalar(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(db_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::string v;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
  }

  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(db_.c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }

  fs::path dir_;
  std::string db_;
};

TEST_F(CliTest, InitCreatesRefusesAndOverwritesWithForce) {
  Init();
  EXPECT_EQ(Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey = "
                   "'PeriodCount'"),
            "12");
  Exec(
      "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) "
      "VALUES ('T', 'Mark', '1')");
  RunResult again = Run({"init", "--db", db_});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile WHERE FKey='Mark'"),
            "1");
  RunResult forced = Run({"init", "--db", db_, "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile WHERE FKey='Mark'"),
            "0");

  // A schema that cannot be read leaves no file behind.
  const std::string other = (dir_ / "other.db").string();
  setenv("MARL_SCHEMA_FILE", (dir_ / "missing.sql").c_str(), 1);
  RunResult missing = Run({"init", "--db", other});
  unsetenv("MARL_SCHEMA_FILE");
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(CliTest, CallsRunInOrderOnOneObjectWithByReferenceOutputs) {
  Init();
  RunResult r =
      Run({"call", "--db", db_, "MarlCheckOut.CloseData", "SetCurrentPeriod",
           "2005", "4", "--", "SetCurrentPeriod", "2005", "5", "true"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = r.OutLines();
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(json::parse(lines[0]),
            json::parse(R"({"result": null, "byref": {"bUnClosed": false}})"));
  EXPECT_EQ(json::parse(lines[1]),
            json::parse(R"({"result": null, "byref": {"bUnClosed": true}})"));
  EXPECT_EQ(Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey = "
                   "'CurrentPeriod'"),
            "5");

  Exec(
      "INSERT INTO CBOnInitBalance (FYear, FPeriod, FVchInterID, FChecked) "
      "VALUES (2005, 1, 3, 0)");
  r = Run({"call", "--db", db_, "--lang", "chs", "CheckOutInfo",
           "CheckHasVoucher", "2005", "1", "--", "CheckHasVoucher", "2005",
           "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = r.OutLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(json::parse(lines[0]),
            json::parse(R"({"result":true,"byref":{}})"));
  EXPECT_EQ(json::parse(lines[1]),
            json::parse(R"({"result":false,"byref":{}})"));
}

TEST_F(CliTest, AValueSetArgumentIsAJsonObject) {
  Init();
  Exec(
      "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
      "FProductID) VALUES (2005, 1, '*', 'D1', 'P1'), "
      "(2005, 1, '*', 'D1', 'P2')");
  const fs::path trace = dir_ / "trace.jsonl";
  RunResult r = Run({"call", "--db", db_, "--trace-sql", trace.string(),
                     "CheckOutUpdate", "Delete",
                     R"({"FYear": 2005, "FPeriod": 1, "FCostID": "*",
                         "FExpDeptID": "D1", "FProductID": "P1"})"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Scalar("SELECT group_concat(FProductID) FROM CB_CostBalance"),
            "P2");
  // Whole numbers arrive as numbers, text as text.
  bool found = false;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    json j = json::parse(line);
    if (j["text"].get<std::string>().find("DELETE") != std::string::npos) {
      EXPECT_EQ(j["params"], json::parse(R"([2005, 1, "*", "D1", "P1"])"));
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(CliTest, AnErrorPrintsItsRecordAndStops) {
  Init();
  RunResult r = Run({"call", "--dsn", "x=1;X=2", "CheckOutInfo",
                     "CheckHasVoucher", "2005", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  json e = json::parse(r.err)["error"];
  EXPECT_EQ(e["number"], 457);
  EXPECT_EQ(e["source"].get<std::string>().rfind(
                "MarlCheckOut.CheckOutInfo.CheckHasVoucher\r\n", 0),
            0u);
  EXPECT_TRUE(e["description"].is_string());
  EXPECT_EQ(e["helpFile"], "");
  EXPECT_EQ(e["helpContext"], 0);

  // The first call's line is printed; the failing one ends the run.
  Exec("DROP TABLE CBOnInitBalance");
  r = Run({"call", "--db", db_, "CheckOutInfo", "CheckHaveRevert", "2005", "1",
           "--", "CheckHasVoucher", "2005", "1", "--", "CheckHaveRevert",
           "2005", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.OutLines().size(), 1u);
  e = json::parse(r.err)["error"];
  EXPECT_LT(e["number"].get<int64_t>(), 0);  // an OLE DB error number
}

TEST_F(CliTest, UsageErrorsRunNothing) {
  Init();
  const std::vector<std::vector<std::string>> cases = {
      {"call", "--db", db_, "CloseData", "NoSuchMethod"},
      {"call", "--db", db_, "NoSuchClass", "SetEndBal", "2005", "1"},
      {"call", "--db", db_, "CloseData", "SetEndBal", "2005", "1", "7"},
      {"call", "--db", db_, "CloseData", "SetEndBal", "2005", "x"},
      {"call", "--db", db_, "CloseData", "SetEndBal", "2005", "70000"},
      {"call", "--db", db_, "CloseData", "SetEndBal", "2005"},
      {"call", "--db", db_, "CloseData", "SetCurrentPeriod", "2005", "2",
       "maybe"},
      {"call", "--db", db_, "CheckOutUpdate", "Delete", "{not json"},
      {"call", "--db", db_, "CheckOutUpdate", "Delete", R"({"FYear": 1e999})"},
      {"call", "--db", db_, "CloseData", "SetCurrentPeriod", "2005", "2", "--",
       "Bogus"},
      {"call", "--db", db_, "--dsn", "a=b", "CloseData", "SetEndBal", "2005",
       "1"},
      {"call", "--db", (dir_ / "none.db").string(), "CloseData", "SetEndBal",
       "2005", "1"},
      {"call", "--db", db_, "--lang", "fr", "CloseData", "SetEndBal", "2005",
       "1"},
      {"call", "CloseData", "SetEndBal", "2005", "1"},
      {"call"},
      {"nosuchcommand"},
  };
  const std::string before =
      Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey='CurrentPeriod'");
  for (const auto& args : cases) {
    RunResult r = Run(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
  // The valid first call before a bad second one did not run.
  EXPECT_EQ(
      Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey='CurrentPeriod'"),
      before);
  EXPECT_EQ(Run({"call", "--help"}).status, 0);
  EXPECT_EQ(Run({"init", "--help"}).status, 0);
}

TEST_F(CliTest, TraceFileGetsEveryStatementAsAJsonLine) {
  Init();
  const fs::path trace = dir_ / "trace.jsonl";
  RunResult r = Run({"call", "--db", db_, "--trace-sql", trace.string(),
                     "CheckOutInfo", "CheckHasVoucher", "2005", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream in(trace);
  bool isolation = false, check = false;
  for (std::string line; std::getline(in, line);) {
    json j = json::parse(line);
    ASSERT_TRUE(j["params"].is_array());
    const std::string text = j["text"];
    isolation |= text == "SET TRANSACTION ISOLATION LEVEL READ COMMITTED";
    check |= text.find(
                 "FROM CBOnInitBalance WHERE FVchInterID<>0 AND "
                 "FYear=2005 AND FPeriod=1") != std::string::npos;
  }
  EXPECT_TRUE(isolation);
  EXPECT_TRUE(check);
}

}  // namespace
