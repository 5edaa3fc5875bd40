// The operator tool's guards, close log, reconciliation and JSON output,
// end to end on the tiny demonstration company (current period 2024/11).
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

using nlohmann::json;

json ParseOut(const ToolResult& r) {
  json j = json::parse(r.out, nullptr, false);
  EXPECT_FALSE(j.is_discarded()) << r.out << r.err;
  return j;
}

// Without --yes nothing is closed or reopened unless a terminal says yes:
// an answer piped in is never taken.
TEST_F(OperatorTest, ConfirmationCannotComeFromAPipe) {
  InitDemo(db_);
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  const std::vector<Case> cases = {
      {{"close"}, ""},
      {{"close"}, "y\n"},
      {{"close"}, "yes\n"},
      {{"close", "--force"}, "n\n"},
      {{"reopen", "--force"}, "yes\n"},
  };
  const Snapshot before = TakeSnapshot(db_);
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--db", db_});
    ToolResult r = Tool(args, {}, c.input);
    EXPECT_EQ(r.status, 4) << args[0] << " " << c.input << r.err;
    EXPECT_NE(r.err.find("confirmation needed: give --yes"), std::string::npos)
        << r.err;
  }
  // Refused attempts leave only their log rows.
  Snapshot after = TakeSnapshot(db_);
  EXPECT_EQ(after["marl_CloseLog"].size(), cases.size());
  after.erase("marl_CloseLog");
  Snapshot expected = before;
  expected.erase("marl_CloseLog");
  ExpectSameTables(expected, after);
  // A dry run asks nothing.
  EXPECT_EQ(Tool({"close", "--db", db_, "--dry-run"}).status, 0);
}

// A period without costing work is closed only with --force; `check` says
// so beforehand and exits 4 while any line would refuse.
TEST_F(OperatorTest, CheckForeseesTheRefusals) {
  InitDemo(db_);
  struct Step {
    std::vector<std::string> before;  // a command run first ("" none)
    int check_status;
    std::map<std::string, std::string> verdicts;  // name -> refused command
  };
  const std::vector<Step> steps = {
      // 2024/11: costed, vouchers made for its opening balances.
      {{},
       4,
       {{"CheckHasVoucher", "reopen"},
        {"CostingWork", ""},
        {"CloseToTakeBack", ""}}},
      // 2024/12: just opened, never costed, no vouchers.
      {{"close", "--yes"},
       4,
       {{"CheckHasVoucher", ""},
        {"CostingWork", "close"},
        {"CloseToTakeBack", ""}}},
  };
  for (const Step& s : steps) {
    if (!s.before.empty()) {
      std::vector<std::string> args = s.before;
      args.insert(args.end(), {"--db", db_});
      ASSERT_EQ(Tool(args).status, 0);
    }
    ToolResult r = Tool({"check", "--db", db_, "--format", "json"});
    EXPECT_EQ(r.status, s.check_status) << r.out << r.err;
    const json j = ParseOut(r);
    EXPECT_EQ(j["refuses"], s.check_status == 4);
    std::map<std::string, std::string> got;
    for (const json& c : j["checks"]) {
      if (s.verdicts.count(c["name"])) {
        got[c["name"]] = c["command"].is_null() ? "" : c["command"];
        EXPECT_EQ(c["verdict"], c["command"].is_null() ? "fine" : "refuses");
      }
    }
    EXPECT_EQ(got, s.verdicts) << r.out;
  }
  ToolResult r = Tool({"close", "--db", db_, "--yes"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.err.find("2024/12 shows no costing work"), std::string::npos)
      << r.err;
  EXPECT_EQ(CurrentPeriod(db_), "2024/12");
  r = Tool({"close", "--db", db_, "--yes", "--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CurrentPeriod(db_), "2025/1");
}

// Every attempt leaves a row: done inside the close, refused and failed
// ones after their rollback.
TEST_F(OperatorTest, CloseLogKeepsEveryAttempt) {
  InitDemo(db_);
  struct Attempt {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int status;
    std::string result, from, to, message;  // message: a part of it
  };
  const std::vector<Attempt> attempts = {
      {{"close", "--yes"},
       {{"MARL_FAULT_MATCH", "UPDATE t_SystemProfile"}},
       3,
       "failed",
       "2024/11",
       "2024/12",
       "Injected fault"},
      {{"reopen", "--yes"},
       {},
       4,
       "refused",
       "2024/11",
       "2024/10",
       "CheckHasVoucher"},
      {{"close", "--yes", "--operator", "anna"},
       {},
       0,
       "done",
       "2024/11",
       "2024/12",
       ""},
      {{"close", "--dry-run", "--force"}, {}, 0, "", "", "", ""},
  };
  for (const Attempt& a : attempts) {
    std::vector<std::string> args = a.args;
    args.insert(args.end(), {"--db", db_});
    EXPECT_EQ(Tool(args, a.env).status, a.status) << args[0];
  }
  ToolResult r = Tool({"log", "--db", db_, "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json log = ParseOut(r);
  ASSERT_EQ(log.size(), 3u) << r.out;  // the dry run is not logged
  for (size_t i = 0; i < log.size(); ++i) {
    const Attempt& a = attempts[i];
    const json& e = log[i];
    EXPECT_EQ(e["id"], i + 1);
    EXPECT_EQ(e["command"], a.args[0]);
    EXPECT_EQ(e["result"], a.result);
    EXPECT_EQ(e["from"], a.from);
    EXPECT_EQ(e["to"], a.to);
    EXPECT_NE(e["message"].get<std::string>().find(a.message),
              std::string::npos)
        << e;
    EXPECT_FALSE(e["host"].get<std::string>().empty());
    EXPECT_LE(e["started"].get<std::string>(), e["ended"].get<std::string>());
  }
  EXPECT_EQ(log[2]["operator"], "anna");
  EXPECT_NE(log[0]["operator"], "");
  // The failed close ran up to its last step, the done one through it.
  EXPECT_EQ(log[0]["steps"].size(), 13u);
  ASSERT_EQ(log[2]["steps"].size(), 14u);
  EXPECT_EQ(log[2]["steps"][13]["rows"], 2);
  EXPECT_TRUE(log[2]["reconciliation"].is_object());
  EXPECT_TRUE(log[1]["reconciliation"].is_null());

  // status shows the last close.
  r = Tool({"status", "--db", db_, "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ParseOut(r)["lastClose"]["id"], 3);
  r = Tool({"log", "--db", db_, "--format", "csv"});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
}

// The opening balances of the next period against the closing work in
// process: equal after a sound close; a difference is flagged, and with
// --strict rolls the close back.
TEST_F(OperatorTest, ReconciliationFlagsADifference) {
  InitDemo(db_);
  ToolResult r = Tool({"close", "--db", db_, "--dry-run", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  json rec = ParseOut(r)["reconciliation"];
  EXPECT_TRUE(rec["balanced"]) << rec;
  EXPECT_GT(rec["total"]["closing"].get<double>(), 0) << rec;
  EXPECT_GT(rec["departments"].size(), 1u) << rec;

  // Something else in the database adds 1.25 to one opening balance.
  Exec(db_,
       "CREATE TRIGGER skew AFTER INSERT ON cbBalance WHEN NEW.FTypeID=2 "
       "AND NEW.rowid=(SELECT MIN(rowid) FROM cbBalance WHERE FTypeID=2 AND "
       "FYear=2024 AND FPeriod=12) BEGIN UPDATE cbBalance SET "
       "FBegBal=FBegBal+1.25 WHERE rowid=NEW.rowid; END");
  const Snapshot before = TakeSnapshot(db_);
  r = Tool({"close", "--db", db_, "--yes", "--strict", "--format", "json"});
  EXPECT_EQ(r.status, 4) << r.err;
  json j = ParseOut(r);
  EXPECT_EQ(j["result"], "rolled back");
  EXPECT_NEAR(j["reconciliation"]["total"]["difference"].get<double>(), 1.25,
              1e-9);
  EXPECT_FALSE(j["reconciliation"]["balanced"]);
  Snapshot after = TakeSnapshot(db_);
  EXPECT_EQ(after["marl_CloseLog"].size(), 1u);
  EXPECT_NE(after["marl_CloseLog"][0].find("|trolled back|"),
            std::string::npos);
  Snapshot unlogged = before;
  unlogged.erase("marl_CloseLog");
  after.erase("marl_CloseLog");
  ExpectSameTables(unlogged, after);

  // Without --strict the close goes through and the line is flagged.
  r = Tool({"close", "--db", db_, "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  size_t flagged = 0;
  for (size_t at = r.out.find("<< difference"); at != std::string::npos;
       at = r.out.find("<< difference", at + 1)) {
    ++flagged;
  }
  EXPECT_EQ(flagged, 2u) << r.out;  // the department and the total
  EXPECT_NE(r.out.find("1.25  << difference"), std::string::npos) << r.out;
}

// --format json: one object (an array for log) each command prints.
TEST_F(OperatorTest, EveryCommandSpeaksJson) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> keys;
  };
  const std::string fresh = (dir_ / "fresh.db").string();
  const std::vector<Case> cases = {
      {{"init", "--db", db_, "--demo", "--scale", "tiny"},
       0,
       {"database", "tables", "demo", "scale", "seed"}},
      {{"status", "--db", db_},
       0,
       {"database", "currentPeriod", "nextPeriod", "costBalance", "batches",
        "periodRows", "lastClose"}},
      {{"check", "--db", db_}, 4, {"period", "checks", "refuses"}},
      {{"close", "--db", db_, "--yes"},
       0,
       {"command", "database", "from", "to", "dryRun", "result", "message",
        "seconds", "steps", "tables", "reconciliation"}},
      {{"reopen", "--db", db_, "--dry-run"},
       0,
       {"command", "from", "to", "dryRun", "result", "steps", "tables"}},
      {{"init", "--db", fresh}, 0, {"database", "tables", "demo"}},
      {{"close", "--db", fresh, "--yes"}, 4, {"command", "result", "message"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--format", "json"});
    ToolResult r = Tool(args);
    EXPECT_EQ(r.status, c.status) << args[0] << r.err;
    const json j = ParseOut(r);
    for (const std::string& key : c.keys) {
      EXPECT_TRUE(j.contains(key)) << args[0] << " lacks " << key << ": " << j;
    }
  }
  const json status =
      ParseOut(Tool({"status", "--db", db_, "--format", "json"}));
  EXPECT_EQ(status["currentPeriod"], "2024/12");
  EXPECT_EQ(status["lastClose"]["to"], "2024/12");
  const json close = ParseOut(
      Tool({"close", "--db", fresh, "--yes", "--force", "--format", "json"}));
  EXPECT_EQ(close["result"], "done");
  EXPECT_EQ(close["steps"].size(), 14u);
}

// The manual page and the bash completion name every command and every
// option that --help shows.
TEST_F(OperatorTest, ManualAndCompletionNameEveryOption) {
  const std::filesystem::path cli =
      std::filesystem::path(MARL_SCHEMA_FILE).parent_path().parent_path() /
      ".." / "cli";
  auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  const std::string manual = read(cli / "marl-checkout.1");
  const std::string completion = read(cli / "marl-checkout.bash-completion");
  ASSERT_FALSE(manual.empty());
  ASSERT_FALSE(completion.empty());
  const std::regex option(R"(--[a-z][a-z-]*)");
  for (const char* command : {"demo", "init", "call", "status", "check",
                              "close", "reopen", "log", "list"}) {
    EXPECT_NE(manual.find(std::string("\n.B ") + command + "\n"),
              std::string::npos)
        << command;
    EXPECT_NE(completion.find(std::string(" ") + command + ")"),
              std::string::npos)
        << command;
    const ToolResult help = Tool({command, "--help"});
    ASSERT_EQ(help.status, 0) << command;
    const std::string options =
        help.out.substr(0, help.out.find("\n\n", help.out.find("Options:")));
    for (std::sregex_iterator it(options.begin(), options.end(), option), end;
         it != end; ++it) {
      const std::string name = it->str();
      if (name == "--help") continue;
      std::string escaped;
      for (char c : name)
        escaped += c == '-' ? std::string("\\-") : std::string(1, c);
      EXPECT_NE(manual.find(escaped), std::string::npos)
          << command << " " << name;
      EXPECT_NE(completion.find(name), std::string::npos)
          << command << " " << name;
    }
  }
}

}  // namespace
}  // namespace marl::test
