// Support of the operator tool's end-to-end tests: a temporary directory per
// test, running marl-checkout (MARL_CLI_PATH) as a child process with its
// output captured, and per-table snapshots of a database through the sqlite3
// C API for before/after comparisons.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace marl::test {

struct ToolResult {
  int status = -1;  // exit status, -1 when killed
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A child marl-checkout whose output goes to files of the test's directory;
// its standard input is `input` (a file, not a terminal).
class ToolProcess {
 public:
  ToolProcess(const std::filesystem::path& dir,
              const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {},
              const std::string& input = "") {
    static std::atomic<int> counter{0};  // processes may start on threads
    const std::string stem = (dir / "run").string() + std::to_string(++counter);
    std::ofstream(stem + ".in", std::ios::binary) << input;
    out_ = stem + ".out";
    err_ = stem + ".err";
    std::vector<std::string> argv_s = {MARL_CLI_PATH}, env_s;
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0)
        env_s.push_back(entry);
    }
    for (const auto& [k, v] : env) env_s.push_back(k + "=" + v);
    std::vector<char*> argv, envp;
    for (auto& a : argv_s) argv.push_back(a.data());
    for (auto& e : env_s) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (stem + ".in").c_str(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                    envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  // Ends the process at once (SIGKILL).
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
  }

  ToolResult Wait() {
    ToolResult r;
    if (pid_ > 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.out = ReadFile(out_);
    r.err = ReadFile(err_);
    return r;
  }

 private:
  pid_t pid_ = -1;
  std::string out_, err_;
};

// One table's rows, each as text, sorted.
using Snapshot = std::map<std::string, std::vector<std::string>>;

// What a comparison leaves out: columns of a table, rows matching a
// condition, whole tables.
struct Leave {
  std::map<std::string, std::set<std::string>> columns;
  std::map<std::string, std::string> rows;  // table -> SQL condition
  std::set<std::string> tables;
};

inline Snapshot TakeSnapshot(const std::string& path, const Leave& leave = {}) {
  Snapshot snap;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return snap;
  }
  std::vector<std::string> tables;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW)
    tables.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  for (const std::string& t : tables) {
    if (leave.tables.count(t)) continue;
    std::string sql = "SELECT * FROM [" + t + "]";
    if (auto it = leave.rows.find(t); it != leave.rows.end())
      sql += " WHERE NOT (" + it->second + ")";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
      continue;
    }
    const auto skip = leave.columns.find(t);
    std::vector<std::string>& rows = snap[t];
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (skip != leave.columns.end() &&
            skip->second.count(sqlite3_column_name(st, c)))
          continue;
        char buf[40];
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_INTEGER:
            row += "i" + std::to_string(sqlite3_column_int64(st, c));
            break;
          case SQLITE_FLOAT:
            std::snprintf(buf, sizeof buf, "r%.17g",
                          sqlite3_column_double(st, c));
            row += buf;
            break;
          case SQLITE_NULL:
            row += "n";
            break;
          default:
            row += "t" + std::string(reinterpret_cast<const char*>(
                             sqlite3_column_text(st, c)));
        }
        row += '|';
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    std::sort(rows.begin(), rows.end());
  }
  sqlite3_close(db);
  return snap;
}

// Compares table by table and names the first differing row of each.
inline void ExpectSameTables(const Snapshot& before, const Snapshot& after) {
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [table, rows] : before) {
    auto it = after.find(table);
    ASSERT_NE(it, after.end()) << table;
    if (rows == it->second) continue;
    std::vector<std::string> gone, added;
    std::set_difference(rows.begin(), rows.end(), it->second.begin(),
                        it->second.end(), std::back_inserter(gone));
    std::set_difference(it->second.begin(), it->second.end(), rows.begin(),
                        rows.end(), std::back_inserter(added));
    ADD_FAILURE() << table << ": " << rows.size() << " rows before, "
                  << it->second.size()
                  << " after; first gone: " << (gone.empty() ? "-" : gone[0])
                  << "; first added: " << (added.empty() ? "-" : added[0]);
  }
}

// The first value of a query as text ("" when none); Exec runs SQL.
inline std::string QueryText(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* st = nullptr;
  std::string v;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
  } else if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
    v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return v;
}
inline void Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sql;
  sqlite3_close(db);
}

// A fresh directory per test, removed afterwards; InitDemo makes the tiny
// demonstration company of seed 1 (current period 2024/11).
class OperatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/marl-operator-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    db_ = (dir_ / "company.db").string();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ToolResult Tool(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {},
                  const std::string& input = "") {
    return ToolProcess(dir_, args, env, input).Wait();
  }
  void InitDemo(const std::string& path) {
    ToolResult r = Tool(
        {"init", "--db", path, "--demo", "--scale", "tiny", "--seed", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string CurrentPeriod(const std::string& path) {
    const std::string q =
        "SELECT FValue FROM t_SystemProfile WHERE FCategory='CB' AND FKey=";
    return QueryText(path, q + "'CurrentYear'") + "/" +
           QueryText(path, q + "'CurrentPeriod'");
  }

  std::filesystem::path dir_;
  std::string db_;
};

}  // namespace marl::test
