// The operator tool on a database server against the embedded database: a
// close of the medium demonstration company and each of the four lists,
// run through marl-checkout (the built tool beside this benchmark's folder,
// or MARL_CLI) on the same company in an SQLite file (--db) and in a scratch
// database on the PostgreSQL server that MARL_TEST_PG names by an ODBC
// connection string (--dsn), as ./dev with-pg sets it; without it nothing
// runs. After the runs, each PostgreSQL figure is printed as a ratio to the
// SQLite one of the same run.
//
// What a figure holds: the whole command as the operator runs it (process
// start, connecting, the work, the output to /dev/null), on both sides. A
// close iteration times `close --yes`; the reopen that brings the company
// back for the next iteration (`reopen --yes --force`) is not timed.
//
// Environment: MARL_BENCH_SCALE (default medium) and MARL_BENCH_SEED
// (default 1) choose the company; MARL_BENCH_CLOSES (default 3) and
// MARL_BENCH_LISTS (default 5) the iterations.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "data/provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string Env(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

fs::path ToolPath() {
  if (const char* v = std::getenv("MARL_CLI")) return v;
  return fs::canonical("/proc/self/exe").parent_path().parent_path() /
         "marl-checkout";
}

// Runs the tool with its output discarded; its exit status.
int RunTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv_s = {ToolPath().string()};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) ==
      0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One database holding the demonstration company.
struct Target {
  std::string name;
  std::vector<std::string> args;     // {"--db", PATH} or {"--dsn", STRING}
  std::vector<std::string> options;  // for every command but init
};

// The scratch databases, removed at exit.
class Databases {
 public:
  Databases() {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-bench-server-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
  }
  ~Databases() {
    if (!pg_database_.empty()) {
      try {
        auto conn = marl::data::OpenPhysical(server_);
        conn->RunNativeScript("DROP DATABASE IF EXISTS " + pg_database_ +
                              " WITH (FORCE)");
      } catch (const marl::Error& e) {
        std::fprintf(stderr, "dropping %s: %s\n", pg_database_.c_str(),
                     e.what());
      }
    }
    fs::remove_all(dir_);
  }

  Target Sqlite() const {
    return {"SQLite", {"--db", (dir_ / "erp.db").string()}, {"--lang", "chs"}};
  }

  // A new database on the server of MARL_TEST_PG.
  Target Postgres(const std::string& server) {
    server_ = server;
    pg_database_ = "marl_bench_" + std::to_string(getpid());
    auto conn = marl::data::OpenPhysical(server_);
    conn->RunNativeScript("CREATE DATABASE " + pg_database_);
    static const std::regex kDatabase(R"((^|;)\s*Database\s*=[^;]*)",
                                      std::regex::icase);
    std::string connect = server_;
    if (std::regex_search(connect, kDatabase)) {
      connect =
          std::regex_replace(connect, kDatabase, "$1Database=" + pg_database_);
    } else {
      connect += ";Database=" + pg_database_;
    }
    return {
        "PostgreSQL",
        {"--dsn", "ConnectString={" + connect +
                      "};DBMS Name=PostgreSQL;DBMS Version=15;LANGUAGE=chs"},
        {}};
  }

 private:
  fs::path dir_;
  std::string server_;
  std::string pg_database_;
};

std::vector<std::string> Args(const std::string& command, const Target& t,
                              const std::vector<std::string>& more = {}) {
  std::vector<std::string> all = {command};
  all.insert(all.end(), t.args.begin(), t.args.end());
  if (command != "init") {
    all.insert(all.end(), t.options.begin(), t.options.end());
  }
  all.insert(all.end(), more.begin(), more.end());
  return all;
}

void Close(benchmark::State& state, const Target& t) {
  for (auto _ : state) {
    if (RunTool(Args("close", t, {"--yes"})) != 0) {
      state.SkipWithError("close failed");
      break;
    }
    state.PauseTiming();
    const int reopened = RunTool(Args("reopen", t, {"--yes", "--force"}));
    state.ResumeTiming();
    if (reopened != 0) {
      state.SkipWithError("reopen failed");
      break;
    }
  }
}

void List(benchmark::State& state, const Target& t,
          const std::vector<std::string>& list) {
  std::vector<std::string> more = list;
  more.insert(more.end(), {"--format", "json"});
  for (auto _ : state) {
    if (RunTool(Args("list", t, more)) != 0) {
      state.SkipWithError("list failed");
      break;
    }
  }
}

// The console report, and every run's real time per iteration by name.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (!r.error_occurred && r.iterations > 0) {
        seconds[r.run_name.function_name] =
            r.real_accumulated_time / static_cast<double>(r.iterations);
      }
    }
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  marl::RegisterComponent();  // the providers
  const std::string scale = Env("MARL_BENCH_SCALE", "medium");
  const std::string seed = Env("MARL_BENCH_SEED", "1");
  const int closes = std::stoi(Env("MARL_BENCH_CLOSES", "3"));
  const int lists = std::stoi(Env("MARL_BENCH_LISTS", "5"));

  const std::string server = Env("MARL_TEST_PG", "");
  if (server.empty()) {
    std::fprintf(stderr,
                 "bench_server: MARL_TEST_PG is not set, nothing to compare "
                 "(./dev with-pg ./dev bench runs it)\n");
    return 0;
  }
  Databases databases;
  const std::vector<Target> targets = {databases.Sqlite(),
                                       databases.Postgres(server)};
  for (const Target& t : targets) {
    if (RunTool(Args(
            "init", t,
            {"--force", "--demo", "--scale", scale, "--seed", seed})) != 0) {
      std::fprintf(stderr, "init of the %s company failed\n", t.name.c_str());
      return 1;
    }
  }

  const std::vector<std::pair<std::string, std::vector<std::string>>> kLists = {
      {"balances", {"balances"}},
      {"costs", {"costs"}},
      {"balances-dept", {"balances-dept", "--dept", "D01"}},
      {"batches", {"batches"}}};
  std::vector<std::string> items = {"close"};
  for (const Target& t : targets) {
    benchmark::RegisterBenchmark(("close/" + t.name).c_str(), Close, t)
        ->Iterations(closes)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  for (const auto& [name, list] : kLists) {
    items.push_back("list " + name);
    for (const Target& t : targets) {
      benchmark::RegisterBenchmark(("list " + name + "/" + t.name).c_str(),
                                   List, t, list)
          ->Iterations(lists)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
    }
  }

  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\nPostgreSQL / SQLite (%s company, seed %s):\n", scale.c_str(),
              seed.c_str());
  for (const std::string& item : items) {
    const auto pg = reporter.seconds.find(item + "/PostgreSQL");
    const auto lite = reporter.seconds.find(item + "/SQLite");
    if (pg == reporter.seconds.end() || lite == reporter.seconds.end()) {
      continue;
    }
    std::printf("  %-20s %8.1f ms / %8.1f ms = %5.2f\n", item.c_str(),
                pg->second * 1e3, lite->second * 1e3,
                pg->second / lite->second);
  }
  return 0;
}
