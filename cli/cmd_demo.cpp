// marl-checkout demo [--db PATH] [--force] [--scale S] [--seed N] [--lang L]
//
// The newcomer's first run: creates a demonstration database, shows its
// status and the pre-close checks, closes the current period with progress,
// shows what changed (rows per table before and after, and the first rows
// of the new period's cost balance list) and says how to take the close
// back.
//
// Which file: --db PATH, default ./marl-demo.db. The demo never works on an
// existing database: an earlier demonstration database (recognised by the
// mark in its file header, see demo_data.h) is replaced by a fresh one, so
// `./dev demo` can be run again and again; any other existing file is
// refused (exit 4) unless --force is given.
#include <filesystem>
#include <iostream>

#include "demo_data.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/registry.h"
#include "operator.h"
#include "plan_run.h"
#include "table_format.h"

namespace marl::cli {

namespace {

struct DemoCommandOptions {
  std::string db = "marl-demo.db";
  bool force = false;
  std::string lang = "en";
  DemoOptions demo;
};

void Heading(std::ostream& out, const std::string& text) {
  out << "\n== " << text << " ==\n";
}

// The first rows of the new period's cost balance list, a few columns.
void ShowNewPeriod(const Target& t, const YearPeriod& p, std::ostream& out) {
  auto info = std::dynamic_pointer_cast<CheckOutInfo>(
      Registry::Instance().Create(CheckOutInfo::kProgId));
  if (!info) return;
  // The rows the close carried in: those with a beginning balance.
  auto list = info->GetList(t.dsn, p.year, p.period, "", "FBegBal<>0");
  const char* const columns[] = {"FExpDeptName", "FProductName", "FCostName",
                                 "FBegBal",      "FAccount",     "FEndBal"};
  TextTable table({"department", "product", "cost item", "beginning balance",
                   "period amount", "ending balance"});
  for (size_t c = 3; c < 6; ++c) table.SetRightAligned(c);
  const int32_t shown = std::min<int32_t>(list->UBound(), 12);
  for (int32_t i = 1; i <= shown; ++i) {
    auto row = list->Record(i);
    std::vector<std::string> cells;
    for (const char* c : columns) {
      cells.push_back(row ? CellText(row->Value(c)) : "");
    }
    table.AddRow(std::move(cells));
  }
  out << "Opening balances carried into " << ToText(p)
      << " (list balances, GetList with the filter FBegBal<>0), first " << shown
      << " of " << list->UBound() << " rows:\n"
      << table.Render("  ");
}

int RunDemo(const DemoCommandOptions& o) {
  namespace fs = std::filesystem;
  std::ostream& out = std::cout;
  std::error_code ec;
  if (fs::exists(o.db, ec)) {
    if (!o.force && !IsDemoDatabase(o.db)) {
      throw Refused(o.db +
                    " exists and is not a demonstration database; give "
                    "another --db or --force to replace it");
    }
    out << "Replacing " << o.db << " with a fresh demonstration database.\n";
  }
  out << "Creating the demonstration company in " << o.db << " (scale "
      << o.demo.scale << ", seed " << o.demo.seed << ") ..." << std::flush;
  try {
    CreateDemoDatabase(o.db, o.demo);
  } catch (const std::exception& e) {
    out << "\n";
    std::cerr << "marl-checkout demo: " << e.what() << "\n";
    return kExitError;
  }
  out << " done.\n";

  ConnectionOptions connection;
  connection.db = o.db;
  connection.lang = o.lang;
  const Target target = OpenTarget(connection);

  Heading(out, "Status (marl-checkout status)");
  RunStatus(target, out);
  Heading(out, "Checks before the close (marl-checkout check)");
  RunCheck(target, std::nullopt, out);

  Heading(out, "Close (marl-checkout close --yes)");
  out << "Progress is shown on standard error, step by step.\n";
  PlanOptions plan;
  plan.yes = true;
  plan.print_tables = false;
  plan.show_checks = false;
  PlanReport report;
  int rc = RunPlanCommand(target, {"close", plan, false, ""}, &report);
  if (rc != kExitOk) return rc;

  Heading(out, "What changed");
  out << "Rows per table before and after the close:\n";
  PrintPlanReport(report, false, out);
  ShowNewPeriod(target, report.to, out);

  Heading(out, "Next");
  const std::string db = o.db;
  const std::string tool = ToolCommand();
  out << "The database stays in " << db << ". Look around:\n"
      << "  " << tool << " status --db " << db << "\n"
      << "  " << tool << " log --db " << db << "\n"
      << "  " << tool << " list balances --db " << db << " --period "
      << ToText(report.from) << "\n"
      << "  " << tool << " list costs --db " << db << " --format csv\n"
      << "To take the close back (" << ToText(report.to) << " back to "
      << ToText(report.from) << "):\n"
      << "  " << tool << " reopen --db " << db << " --dry-run\n"
      << "  " << tool << " reopen --db " << db << " --yes\n";
  return kExitOk;
}

CommandRunner SetupDemo(CLI::App* sub) {
  auto o = std::make_shared<DemoCommandOptions>();
  sub->add_option("--db", o->db,
                  "Database file to create (default marl-demo.db)");
  sub->add_flag("--force", o->force,
                "Replace the file even when it is not a demonstration "
                "database");
  sub->add_option("--scale", o->demo.scale,
                  "tiny, small (default), medium "
                  "or large")
      ->check(CLI::IsMember({"tiny", "small", "medium", "large"}));
  sub->add_option("--seed", o->demo.seed, "Seed of the demonstration data");
  sub->add_option("--lang", o->lang, "Language of texts (chs, cht, en)")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
  sub->footer(
      "Exit status: 0 done; 2 usage; 3 the database could not be created, "
      "or a component error; 4 refused (the file exists and is not a "
      "demonstration database).");
  return [o] { return RunGuarded("demo", [&] { return RunDemo(*o); }); };
}

const CommandRegistration kDemo(
    "demo", 5,
    "Create a demonstration database, show it, close its current period "
    "and show what changed",
    SetupDemo);

}  // namespace

}  // namespace marl::cli
