// The component against hand-written SQLite, each item with its own limit.
//
// Companies: the tool's demonstration company (`init --demo --seed 1`) at
// scale medium (36 periods) and large (the same company with 72 periods),
// built once into the cache directory and rebuilt when the schema script or
// the demonstration generator changes; tiny for the process item.
//
// Items:
// - each cost balance list (limits/lists.cpp) against the best query that
//   returns the same rows, proven first on both companies: within 2x on
//   both, and its growth from medium to large no more than the best's
//   growth + 10%;
// - a list process (`marl-checkout list balances-dept` on the tiny company)
//   against the tool started for nothing (`--help`): the list's fixed cost,
//   at most 2 ms more; and the same difference against what the list's best
//   query costs a hand-written process (the sqlite3 shell) beyond starting
//   it, which leaves SQLite's own work out: the tool's own fixed cost, at
//   most 2 ms;
// - each step of the close (limits/close.cpp) against hand-written SQL with
//   the same effect, proven first by table digests: within 1.3x (the cost
//   balance rebuild, which writes row by row, within 1.5x of a hand-written
//   prepared-statement loop that leaves the same rows); the whole
//   close (`marl-checkout close --yes`, a process) against one raw script
//   doing it in one transaction: within 1.5x, and growing no more than
//   x1.1 from medium to large.
// Runs are interleaved (every item once per round, tool and best in
// alternating order) and the medians reported, since the machine is shared.
//
// Usage: bench_limits [--runs=N] [--process-runs=N] [--step-runs=N]
//                     [--only=TEXT] [--cache=DIR] [--strict]
// --runs counts the rounds of the lists and of the whole close,
// --process-runs those of the list process, --step-runs those of the close
// steps (cheap: a round is one rolled-back close of each company; three
// per --runs unless given).
// --only keeps the items whose name contains TEXT; --strict exits 1 when an
// item misses its limit. Exit 2 when equivalence cannot be proven.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "limits/limits.h"

namespace {

using bench::Company;
using bench::Item;
using bench::Settings;

void RunListProcess(const Settings& settings, const Company& tiny,
                    std::vector<Item>* items) {
  Item it;
  it.name = "list process fixed cost";
  it.target = 2.0;
  it.absolute = true;
  it.note = "tiny company; best: the tool's --help";
  // The same against a hand-written process: what the list costs beyond
  // starting the tool, against what its best query costs the sqlite3 shell
  // beyond starting it (SQLite's own start-up, schema read, compilation and
  // run are paid by both).
  Item own;
  own.name = "list process own fixed cost";
  own.target = 2.0;
  own.absolute = true;
  own.note = "list - --help against the sqlite3 shell: best query - SELECT 1";
  const std::vector<std::vector<std::string>> runs = {
      {MARL_CLI_PATH, "list", "balances-dept", "--db", tiny.path, "--dept",
       tiny.dept},
      {MARL_CLI_PATH, "--help"},
      {MARL_SQLITE3_SHELL, "-batch", "-init", "/dev/null", tiny.path,
       BestBalancesDeptQuery(tiny)},
      {MARL_SQLITE3_SHELL, "-batch", "-init", "/dev/null", tiny.path,
       "SELECT 1"}};
  for (const auto& argv : runs) bench::RunProcess(argv);  // warm the cache
  for (int run = 0; run < settings.process_runs; ++run) {
    double ms[4];
    for (size_t i = 0; i < runs.size(); ++i) {
      // alternating order, so that neither side always runs first
      const size_t at = run % 2 == 0 ? i : runs.size() - 1 - i;
      ms[at] = bench::RunProcess(runs[at]);
    }
    it.medium.tool_ms.push_back(ms[0]);
    it.medium.best_ms.push_back(ms[1]);
    own.medium.tool_ms.push_back(ms[0] - ms[1]);
    own.medium.best_ms.push_back(ms[2] - ms[3]);
  }
  items->push_back(std::move(it));
  items->push_back(std::move(own));
}

bool Flag(const char* arg, const char* name, std::string* value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  *value = arg + n + 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  settings.cache_dir = MARL_BENCH_CACHE;
  if (const char* env = std::getenv("MARL_BENCH_CACHE")) {
    settings.cache_dir = env;
  }
  bool strict = false;
  for (int i = 1; i < argc; ++i) {
    std::string v;
    if (Flag(argv[i], "--runs", &v)) {
      settings.runs = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--process-runs", &v)) {
      settings.process_runs = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--step-runs", &v)) {
      settings.step_runs = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--only", &v)) {
      settings.only = v;
    } else if (Flag(argv[i], "--cache", &v)) {
      settings.cache_dir = v;
    } else if (std::strcmp(argv[i], "--strict") == 0) {
      strict = true;
    } else if (std::strncmp(argv[i], "--benchmark", 11) == 0) {
      // flags meant for the other benchmarks of ./dev bench
    } else {
      std::fprintf(stderr, "bench_limits: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (settings.runs < 1 || settings.process_runs < 1 ||
      settings.step_runs < 0) {
    std::fprintf(stderr, "bench_limits: runs must be at least 1\n");
    return 2;
  }
  std::vector<Item> items;
  try {
    const Company medium = bench::EnsureCompany(settings, "medium");
    const Company large = bench::EnsureCompany(settings, "large");
    const Company tiny = bench::EnsureCompany(settings, "tiny");
    bench::RunLists(settings, medium, large, &items);
    bench::RunClose(settings, medium, large, &items);
    if (settings.Chosen("list process fixed cost")) {
      RunListProcess(settings, tiny, &items);
    }
  } catch (const bench::Failure& e) {
    std::fprintf(stderr, "bench_limits: %s\n", e.what());
    return 2;
  }
  if (items.empty()) {
    std::fprintf(stderr, "bench_limits: --only=%s selects no item\n",
                 settings.only.c_str());
    return 2;
  }
  const bool all = bench::Report(items);
  std::printf("%s\n", all ? "every item within its limit"
                          : "some items miss their limit (MISS above)");
  return strict && !all ? 1 : 0;
}
