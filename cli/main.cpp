// marl-checkout: the operator's command-line tool. Each command lives in a
// cli/cmd_<name>.cpp file and registers itself (see common.h).
#include <sqlite3.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>
#include <string>

#include "common.h"
#include "marlcheckout/server.h"
#include "plan_run.h"
#include "process_heap.h"

#ifndef MARL_VERSION
#define MARL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using marl::cli::CommandInfo;
  // No memory statistics in SQLite: nothing in the tool reads them (nor sets
  // a heap limit, which needs them), and keeping them takes a global mutex
  // and a counter update around every allocation SQLite makes (about 7% of
  // the instructions of a short list). Like the setting below, it belongs to
  // the process and precedes SQLite's first use.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  // Before SQLite is first used: no bulk page allocation per page cache.
  // Every connection and every temporary b-tree a statement builds (for
  // DISTINCT, UNION, GROUP BY, a materialised subquery) would otherwise
  // allocate and touch 20 pages up front; the lists build dozens of them
  // over a few rows, and those untouched pages were the largest single cost
  // of a short command. Pages are allocated as they are used instead. The
  // setting belongs to the process, which the tool owns.
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  // Fewer page faults for what a command reads into memory (see
  // process_heap.h); where huge pages are not offered, nothing changes.
  marl::cli::BackHeapWithHugePages();
  DllRegisterServer();
  if (argc > 0) marl::cli::SetToolCommand(argv[0]);

  CLI::App app{"marl-checkout: period-end closing tool of the cost module"};
  app.require_subcommand(1);
  // The tool's version and the version of the SQLite library it runs on
  // (the one loaded, which may be newer than the one it was built with).
  app.set_version_flag("--version", [] {
    return std::string("marl-checkout ") + MARL_VERSION + " (SQLite " +
           sqlite3_libversion() + ")";
  });
  std::vector<CommandInfo> commands = marl::cli::Commands();
  std::stable_sort(commands.begin(), commands.end(),
                   [](const CommandInfo& a, const CommandInfo& b) {
                     return a.order < b.order;
                   });
  // Every command is listed, but only a command that can be parsed gets its
  // options: the one named first, or every one where the first argument
  // names none (anything else before a command is parsed, or refused, as
  // ever). The tool's own help and version, alone, need none.
  const std::string first = argc > 1 ? argv[1] : "";
  const bool named =
      std::any_of(commands.begin(), commands.end(),
                  [&](const CommandInfo& c) { return c.name == first; });
  const bool bare =
      argc < 2 || (argc == 2 && (first == "--help" || first == "-h" ||
                                 first == "--version"));
  std::map<std::string, marl::cli::CommandRunner> runners;
  for (const CommandInfo& c : commands) {
    CLI::App* sub = app.add_subcommand(c.name, c.description);
    if (named ? c.name == first : !bare) runners[c.name] = c.setup(sub);
  }

  app.footer(
      "Exit status, the same in every command: 0 done; 2 usage error; 3 an "
      "error raised by the component or the database (nothing changed); 4 "
      "refused by a guard (nothing changed).");
  if (argc < 2) {
    std::cout << app.help();
    return marl::cli::kExitUsage;
  }
  if (!first.empty() && first[0] != '-' && !named) {
    std::string names;
    for (const CommandInfo& c : commands) names += " " + c.name;
    std::cerr << "marl-checkout: unknown command '" << first
              << "'; the commands are:" << names << "\n";
    return marl::cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return marl::cli::kExitUsage;
  }
  for (CLI::App* sub : app.get_subcommands()) {
    auto it = runners.find(sub->get_name());
    if (it != runners.end()) return it->second();
  }
  return marl::cli::kExitUsage;
}
