// End-to-end runs of the built marl-checkout tool: init, call with results
// and by-reference outputs, errors, usage errors and the statement trace.
#include <nlohmann/json.hpp>

#include "cli/test_operator_fixture.h"
#include "support/golden.h"

namespace marl::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliTest : public OperatorTest {
 protected:
  void Init() {
    ToolResult r = Tool({"init", "--db", db_});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string Scalar(const std::string& sql) { return QueryText(db_, sql); }
  void Exec(const std::string& sql) { test::Exec(db_, sql); }
};

TEST_F(CliTest, InitCreatesRefusesAndOverwritesWithForce) {
  Init();
  EXPECT_EQ(Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey = "
                   "'PeriodCount'"),
            "12");
  Exec(
      "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) "
      "VALUES ('T', 'Mark', '1')");
  ToolResult again = Tool({"init", "--db", db_});
  EXPECT_EQ(again.status, 4);
  EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile WHERE FKey='Mark'"),
            "1");
  ToolResult forced = Tool({"init", "--db", db_, "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile WHERE FKey='Mark'"),
            "0");

  // A schema that cannot be read leaves no file behind.
  const std::string other = (dir_ / "other.db").string();
  setenv("MARL_SCHEMA_FILE", (dir_ / "missing.sql").c_str(), 1);
  ToolResult missing = Tool({"init", "--db", other});
  unsetenv("MARL_SCHEMA_FILE");
  EXPECT_EQ(missing.status, 3);
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(CliTest, CallsRunInOrderOnOneObjectWithByReferenceOutputs) {
  Init();
  ToolResult r =
      Tool({"call", "--db", db_, "MarlCheckOut.CloseData", "SetCurrentPeriod",
            "2005", "4", "--", "SetCurrentPeriod", "2005", "5", "true"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
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
  r = Tool({"call", "--db", db_, "--lang", "chs", "CheckOutInfo",
            "CheckHasVoucher", "2005", "1", "--", "CheckHasVoucher", "2005",
            "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
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
  ToolResult r = Tool({"call", "--db", db_, "--trace-sql", trace.string(),
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
  ToolResult r = Tool({"call", "--dsn", "x=1;X=2", "CheckOutInfo",
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
  r = Tool({"call", "--db", db_, "CheckOutInfo", "CheckHaveRevert", "2005", "1",
            "--", "CheckHasVoucher", "2005", "1", "--", "CheckHaveRevert",
            "2005", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(Lines(r.out).size(), 1u);
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
    ToolResult r = Tool(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
  // The valid first call before a bad second one did not run.
  EXPECT_EQ(
      Scalar("SELECT FValue FROM t_SystemProfile WHERE FKey='CurrentPeriod'"),
      before);
  EXPECT_EQ(Tool({"call", "--help"}).status, 0);
  EXPECT_EQ(Tool({"init", "--help"}).status, 0);
}

// The trace holds the very lines of the golden trace of the same call.
TEST_F(CliTest, TraceFileGetsEveryStatementAsAJsonLine) {
  Init();
  const fs::path trace = dir_ / "trace.jsonl";
  ToolResult r = Tool({"call", "--db", db_, "--trace-sql", trace.string(),
                       "CheckOutInfo", "CheckHasVoucher", "2005", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path golden =
      fs::path(MARL_GOLDEN_DIR) / "CheckOutInfo.CheckHasVoucher.jsonl";
  EXPECT_EQ(golden::FileLines(trace), golden::FileLines(golden));
}

}  // namespace
}  // namespace marl::test
