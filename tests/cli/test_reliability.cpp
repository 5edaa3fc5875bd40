// The close and reopen under stress: readers running alongside, a fault at
// every statement, kill -9 at random moments, two closes at once; and the
// tool's manual against its --help.
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <regex>
#include <thread>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

namespace fs = std::filesystem;

// The tables of the company: the tool's close log records every attempt,
// failed ones too, so it is left out of before/after comparisons.
Leave DataOnly() {
  Leave leave;
  leave.tables.insert("marl_CloseLog");
  return leave;
}

class Reliability : public OperatorTest {
 protected:
  // A copy of `seed` under a new name (no write-ahead log beside it).
  std::string Copy(const std::string& seed) {
    static std::atomic<int> n{0};
    const std::string path = (dir_ / ("copy" + std::to_string(++n) + ".db"));
    fs::copy_file(seed, path);
    return path;
  }
  std::string Closed(const std::string& seed) {
    const std::string path = Copy(seed);
    EXPECT_EQ(Tool({"close", "--db", path, "--yes"}).status, 0);
    return path;
  }
};

// Every statement of a close and of a reopen made to fail in turn: each
// time exit 3, "nothing was changed", and every table exactly as before.
// The sweep ends at the first number past the plan's last statement (two
// workers, taking every other number).
TEST_F(Reliability, AFaultAtAnyStatementChangesNothing) {
  InitDemo(db_);
  const std::string closed = Closed(db_);
  for (const auto& [command, seed] :
       {std::pair<std::string, std::string>{"close", db_},
        std::pair<std::string, std::string>{"reopen", closed}}) {
    const Snapshot before = TakeSnapshot(seed, DataOnly());
    std::atomic<int> end{1 << 30}, failed{0};
    auto sweep = [&, command = command, seed = seed](int first) {
      for (int nth = first; nth < end; nth += 2) {
        const std::string path = Copy(seed);
        ToolResult r = ToolProcess(dir_, {command, "--db", path, "--yes"},
                                   {{"MARL_FAULT_NTH", std::to_string(nth)}})
                           .Wait();
        if (r.status == 0) {
          for (int e = end; nth < e && !end.compare_exchange_weak(e, nth);) {
          }
          break;
        }
        ++failed;
        EXPECT_EQ(r.status, 3) << command << " fault " << nth << "\n" << r.err;
        EXPECT_NE(r.err.find("Injected fault"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("nothing was changed"), std::string::npos)
            << r.err;
        ExpectSameTables(before, TakeSnapshot(path, DataOnly()));
        fs::remove(path);
      }
    };
    std::thread other(sweep, 2);
    sweep(1);
    other.join();
    // Every number before the end failed; every step sends statements.
    EXPECT_EQ(failed.load(), end - 1) << command;
    EXPECT_GT(failed.load(), command == "close" ? 100 : 20) << command;
  }
}

// kill -9 at random moments of a close: the database opens, is intact, and
// holds exactly the state before or the state after the close.
TEST_F(Reliability, AKilledCloseLeavesTheStateBeforeOrAfter) {
  InitDemo(db_);
  const Snapshot before = TakeSnapshot(db_, DataOnly());
  const auto start = std::chrono::steady_clock::now();
  const Snapshot after = TakeSnapshot(Closed(db_), DataOnly());
  const double close_ms = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start)
                              .count();
  std::mt19937 random(14);
  std::uniform_real_distribution<double> moment(0.0, close_ms);
  for (int kill = 0; kill < 20; ++kill) {
    const std::string path = Copy(db_);
    ToolProcess close(dir_, {"close", "--db", path, "--yes"});
    std::this_thread::sleep_for(
        std::chrono::microseconds(static_cast<int64_t>(moment(random) * 1000)));
    close.Kill();
    close.Wait();
    ASSERT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok") << kill;
    ASSERT_EQ(Tool({"status", "--db", path}).status, 0) << kill;
    const Snapshot now = TakeSnapshot(path, DataOnly());
    ASSERT_TRUE(now == before || now == after) << "kill " << kill;
  }
}

// Closes and reopens among status, list and check loops: no command fails.
// Short busy timeouts: a command held up by another for longer fails.
TEST_F(Reliability, ReadersNeverMakeACloseFail) {
  InitDemo(db_);
  auto dsn = [this](int busy_ms) {
    return "ConnectString={Provider=SQLite;Data Source=" + db_ +
           ";Busy Timeout=" + std::to_string(busy_ms) +
           "};DBMS Name=SQLite;DBMS Version=3;LANGUAGE=en";
  };
  // A reader holding a read transaction does not hold up a close's commit;
  // a writer holding the lock does not hold up status, and makes a close
  // refuse once the busy timeout has run out.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(db_.c_str(), &other), SQLITE_OK);
  auto run = [other](const char* sql) {
    EXPECT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(other);
  };
  run("BEGIN; SELECT COUNT(*) FROM cbBalance;");
  ToolResult r = Tool({"close", "--dsn", dsn(300), "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  run("COMMIT; BEGIN IMMEDIATE;");
  r = Tool({"status", "--dsn", dsn(300)});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Tool({"reopen", "--dsn", dsn(300), "--yes"});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.err.find("(waited 0.3 s"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nothing was changed"), std::string::npos) << r.err;
  run("ROLLBACK");
  sqlite3_close(other);
  ASSERT_EQ(Tool({"reopen", "--dsn", dsn(300), "--yes"}).status, 0);

  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, failed_reads{0};
  std::vector<std::thread> readers;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"status"},
        std::vector<std::string>{"list", "balances"},
        std::vector<std::string>{"check"}}) {
    readers.emplace_back([&, args] {
      std::vector<std::string> full = args;
      full.insert(full.end(), {"--dsn", dsn(1000)});
      while (!done) {
        ToolResult r = ToolProcess(dir_, full).Wait();
        ++reads;
        // check's 4 is its verdict (a line would make a command refuse).
        const bool verdict = args[0] == "check" && r.status == 4;
        if (r.status != 0 && !verdict) {
          ++failed_reads;
          ADD_FAILURE() << args[0] << ": " << r.err;
        }
      }
    });
  }
  for (int i = 0; i < 3; ++i) {
    for (const char* command : {"close", "reopen"}) {
      ToolResult r = Tool({command, "--dsn", dsn(2000), "--yes"});
      EXPECT_EQ(r.status, 0) << command << " " << i << ": " << r.err;
    }
  }
  done = true;
  for (std::thread& t : readers) t.join();
  EXPECT_GT(reads.load(), 3);
  EXPECT_EQ(failed_reads.load(), 0);
  EXPECT_EQ(CurrentPeriod(db_), "2024/11");
}

// Two closes started together make exactly one close: the one that gets
// the database second refuses (exit 4: the period moved), never failing
// for a lock.
TEST_F(Reliability, TwoConcurrentClosesMakeOneClose) {
  InitDemo(db_);
  const std::string single = Closed(db_);
  const std::vector<std::string> args = {"close", "--db",     db_,
                                         "--yes", "--period", "2024/11"};
  ToolProcess a(dir_, args), b(dir_, args);
  const ToolResult ra = a.Wait(), rb = b.Wait();
  EXPECT_EQ(std::multiset<int>({ra.status, rb.status}),
            std::multiset<int>({0, 4}))
      << ra.err << "\n---\n"
      << rb.err;
  EXPECT_EQ(CurrentPeriod(db_), "2024/12");
  // Exactly the result of one close (each database logs its own attempts).
  ExpectSameTables(TakeSnapshot(single, DataOnly()),
                   TakeSnapshot(db_, DataOnly()));
}

// The tool's help lists every command, asked for in any form; a command's
// help, even after the tool's --help, shows its options.
TEST_F(OperatorTest, HelpListsEveryCommandAndACommandsOptions) {
  const ToolResult help = Tool({"--help"});
  ASSERT_EQ(help.status, 0) << help.err;
  for (const std::string command : {"demo", "init", "call", "status", "check",
                                    "close", "reopen", "log", "list"}) {
    EXPECT_NE(help.out.find("\n  " + command + " "), std::string::npos)
        << command;
  }
  // Without arguments the usage line names no program.
  auto listing = [](const std::string& out) {
    return out.substr(std::min(out.find("\nOptions:"), out.size()));
  };
  EXPECT_EQ(Tool({"-h"}).out, help.out);
  EXPECT_EQ(listing(Tool({}).out), listing(help.out));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", "--help"}, {"--help", "list"}}) {
    const ToolResult list = Tool(args);
    EXPECT_EQ(list.status, 0) << args[0];
    EXPECT_NE(list.out.find("--dept"), std::string::npos) << args[0];
  }
}

// The manual page and the bash completion name every command and every
// option that --help shows.
TEST_F(OperatorTest, ManualAndCompletionNameEveryOption) {
  const fs::path cli =
      fs::path(MARL_SCHEMA_FILE).parent_path().parent_path() / ".." / "cli";
  const std::string manual = ReadFile(cli / "marl-checkout.1");
  const std::string completion =
      ReadFile(cli / "marl-checkout.bash-completion");
  ASSERT_FALSE(manual.empty());
  ASSERT_FALSE(completion.empty());
  const std::regex option(R"(--[a-z][a-z-]*)");
  for (const std::string command : {"demo", "init", "call", "status", "check",
                                    "close", "reopen", "log", "list"}) {
    EXPECT_NE(manual.find("\n.B " + command + "\n"), std::string::npos)
        << command;
    EXPECT_NE(completion.find(" " + command + ")"), std::string::npos)
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
      for (char c : name) escaped += c == '-' ? "\\-" : std::string(1, c);
      EXPECT_NE(manual.find(escaped), std::string::npos) << command << name;
      EXPECT_NE(completion.find(name), std::string::npos) << command << name;
    }
  }
}

}  // namespace
}  // namespace marl::test
