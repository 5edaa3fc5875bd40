// marl-checkout close and reopen: the period-end close as one all-or-nothing
// unit, and taking the last close back.
//
//   close  [--period YYYY/P] [--dry-run] [--yes]
//   reopen [--dry-run] [--yes] [--force]
//
// The plan of a close of period P (the current period of the profile) into
// N, every step a call of a public object created inside ONE transaction
// scope, so that a failure anywhere rolls everything back:
//    1 SetEndBal P            6 SetCostSortData P->N     11
//    SetCostRevertRealEndBal P 2 SetBegBal P->N         7 SetCostDeputyData
//    P->N   12 EndHistoryData P 3 SetStandardData P->N   8 SetDayAccount P->N
//    13 UpdateCostBalance 4 SetStdCostData P->N    9 SetCostRevertStd P 14
//    SetCurrentPeriod N 5 SetCostTypeData P->N  10 SetCostRevertRealEndStk P
// (moves with bEnd true). The three pre-close checks are shown before.
//
// The reopen of the current period N back to P (the period before it): the
// voucher guard (CheckHasVoucher of N refuses unless --force),
// UnCheckOnlineBalance N when HasCheckedOnlineBalance N, the three
// cost-revert moves and EndHistoryData of P with bEnd false,
// CheckOutUpdate.Delete of N's cost balance rows, SetCurrentPeriod P with
// bUnClosed true.
//
// Readers and two commands started together. An SQLite database is kept in
// write-ahead-log mode (the provider switches a database to it when it
// opens it, see sqlite_provider.h): readers (status, check, list, the
// period read below) never wait for a close, and a close never waits for
// them; they read the committed state throughout. The period to work on is
// read first, from committed data, outside the transaction, and checked
// (CheckedProfilePeriod: refused, exit 4, when the profile holds no usable
// period). The first statement inside the scope (TransPeriod) takes the
// database's write lock, so a second close waits there, up to the busy
// timeout (saying so on a terminal), and, once it has the database, reads
// and checks the current period again: when it is no longer the period it
// set out to close, it refuses (exit 4); when the wait runs out it refuses
// too (exit 4), naming what it waited for and for how long. So a double
// start makes exactly one close. A server database answers the first read
// from committed data without waiting. Nothing the tool sends itself
// inside the transaction is particular to one database: the rows of each
// step are the records affected that the provider reported for the step's
// texts (data::RecordsAffected), and the table counts are plain COUNT(*)
// queries. Any error that ends the plan rolls all of it back, and the
// message says that nothing was changed.
//
// Choices made here:
// - Without --yes (or --dry-run) the command asks on a terminal and refuses
//   (exit 4) when standard input is not one: an answer piped in is not
//   taken. Answering anything but "y"/"yes" refuses (exit 4).
// - close refuses (exit 4, unless --force) a period that shows no costing
//   work (CostingRows): closing it would carry nothing into the next.
// - reopen also refuses (exit 4, unless --force) when the period before the
//   current one shows no trace of a close (no cost balance, balance or
//   history rows): taking such a "close" back would only delete the
//   current period's cost balance rows.
// - Progress goes to standard error: on a terminal each step shows while it
//   runs and is completed in place; otherwise one line per finished step.
//   "rows" counts the rows the step inserted, updated or deleted (the
//   records affected the provider reported for its texts).
//
// Test-only: MARL_FAULT_MATCH=TEXT and MARL_FAULT_NTH=N make the N-th
// statement (default 1) that the component runs inside the plan's
// transaction, counting only the statements of texts that contain TEXT
// (every text when TEXT is not set), fail, through the data layer's fault
// injection (data::FaultPlan: a text of several statements can fail after
// its first ones ran). The tool's own reads are not counted. They exist for
// the tool's own tests of the all-or-nothing rule; do not set them
// otherwise.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>

#include "data/provider.h"
#include "guards.h"
#include "interrupt.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"
#include "money.h"
#include "operator.h"
#include "plan_run.h"
#include "reconcile.h"
#include "safeguards.h"
#include "table_format.h"

namespace marl::cli {

namespace {

template <class T>
std::shared_ptr<T> CreateObject() {
  auto object =
      std::dynamic_pointer_cast<T>(Registry::Instance().Create(T::kProgId));
  if (!object) {
    throw Error(err::kClassNotRegistered, "marl-checkout",
                std::string(T::kProgId) +
                    " is registered with a class the tool cannot drive");
  }
  return object;
}

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

class Progress {
 public:
  explicit Progress(size_t total)
      : total_(total), tty_(::isatty(STDERR_FILENO) != 0) {}

  void Start(size_t n, const std::string& name) {
    if (!tty_) return;
    std::cerr << "\r\033[K" << Prefix(n) << name << " ..." << std::flush;
  }
  void Finish(size_t n, const StepResult& r) {
    if (tty_) std::cerr << "\r\033[K";
    std::cerr << Prefix(n) << r.name << ": " << r.rows << " rows, "
              << Seconds(r.seconds) << " s\n"
              << std::flush;
  }
  void Fail(size_t n, const std::string& name) {
    if (tty_) std::cerr << "\r\033[K";
    std::cerr << Prefix(n) << name << ": failed\n" << std::flush;
  }

 private:
  std::string Prefix(size_t n) const {
    std::string total = std::to_string(total_);
    std::string num = std::to_string(n);
    return "[" + std::string(total.size() - num.size(), ' ') + num + "/" +
           total + "] ";
  }
  size_t total_;
  bool tty_;
};

// Test-only fault injection (see the file comment), armed while alive.
class TestFaultPlan {
 public:
  TestFaultPlan() {
    const char* match = std::getenv("MARL_FAULT_MATCH");
    const char* nth = std::getenv("MARL_FAULT_NTH");
    if (match == nullptr && nth == nullptr) return;
    data::FaultPlan plan;
    plan.nth = nth != nullptr ? std::atoll(nth) : 1;
    plan.number = err::kDbFail;
    plan.description = "Injected fault (MARL_FAULT_MATCH/MARL_FAULT_NTH)";
    plan.match = match != nullptr ? match : "";
    data::SetFaultPlan(plan);
  }
  ~TestFaultPlan() { data::SetFaultPlan({}); }
  TestFaultPlan(const TestFaultPlan&) = delete;
  TestFaultPlan& operator=(const TestFaultPlan&) = delete;
};

// Runs the steps in order inside the current transaction scope, with
// progress, filling the report with the records each step affected and the
// row counts of every touched table before and after.
void RunSteps(const std::vector<PlanStep>& steps, Database& db,
              PlanReport* report) {
  std::vector<std::string> tables;
  std::set<std::string> seen;
  for (const PlanStep& s : steps) {
    for (const std::string& t : s.tables) {
      if (seen.insert(t).second) tables.push_back(t);
    }
  }
  report->tables.clear();
  for (const std::string& t : tables) {
    report->tables.push_back({t, db.Count(t), 0});
  }
  Progress progress(steps.size());
  const auto plan_start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < steps.size(); ++i) {
    const PlanStep& step = steps[i];
    progress.Start(i + 1, step.name);
    const int64_t affected_before = data::RecordsAffected();
    const auto start = std::chrono::steady_clock::now();
    try {
      step.run();
    } catch (...) {
      progress.Fail(i + 1, step.name);
      throw;
    }
    StepResult r;
    r.name = step.name;
    r.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    r.rows = data::RecordsAffected() - affected_before;
    progress.Finish(i + 1, r);
    report->steps.push_back(r);
    ThrowIfInterrupted();
  }
  report->seconds = std::chrono::duration<double>(
                        std::chrono::steady_clock::now() - plan_start)
                        .count();
  for (TableCount& c : report->tables) c.after = db.Count(c.table);
}

// A close or reopen needs --yes or a "y"/"yes" typed on a terminal. Without
// a terminal nothing is asked and the command refuses: an answer piped in
// (`echo y | ...`) is not taken as one.
void Confirm(const std::string& question, const PlanOptions& o) {
  if (o.yes || o.dry_run) return;
  if (::isatty(STDIN_FILENO) == 0) {
    throw Refused("confirmation needed: give --yes");
  }
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  if (!IsYes(answer)) throw Refused("not confirmed; nothing was changed");
}

int16_t Short(int32_t v, const char* what) {
  if (v < INT16_MIN || v > INT16_MAX) {
    throw UsageError(std::string(what) + " out of range: " + std::to_string(v));
  }
  return static_cast<int16_t>(v);
}

// Ends the plan: a dry run rolls back and prints the whole report; a real
// run commits.
int Finish(TransactionScope& scope, Database& db, const PlanOptions& o,
           const std::string& what, std::ostream& out, PlanReport* report) {
  db.Close();
  if (o.dry_run) {
    scope.Rollback();
    out << "Dry run of the " << what << " (" << Seconds(report->seconds)
        << " s):\n";
    PrintPlanReport(*report, true, out);
    PrintReconciliation(report->reconciliation, out);
    out << "Rolled back: the database is unchanged.\n";
    return kExitOk;
  }
  ThrowIfInterrupted();
  if (o.before_commit) o.before_commit(*report);
  {
    SignalsHeld held("interrupted during the commit, which completed: the " +
                     what + " is done");
    scope.Commit();
  }
  report->committed = true;
  out << "Done in " << Seconds(report->seconds) << " s: the current period is "
      << ToText(report->to) << ".\n";
  if (o.print_tables) PrintPlanReport(*report, false, out);
  PrintReconciliation(report->reconciliation, out);
  if (report->reconciliation.is_object()) {
    out << "The total rows of " << ToText(report->to)
        << " read 0 until its first costing run computes them; the items "
           "carry the opening balances.\n";
  }
  return kExitOk;
}

void PrintChecks(CheckOutInfo& info, const Target& t, const YearPeriod& p,
                 std::ostream& out) {
  out << "  CheckHasVoucher: "
      << (info.CheckHasVoucher(t.dsn, p.year, p.period) ? "yes" : "no")
      << "\n  HasCheckedOnlineBalance: "
      << (info.HasCheckedOnlineBalance(t.dsn, p.year, p.period) ? "yes" : "no")
      << "\n  CheckHaveRevert: "
      << (info.CheckHaveRevert(t.dsn, p.year, p.period) ? "yes" : "no") << "\n";
}

}  // namespace

void PrintPlanReport(const PlanReport& report, bool with_steps,
                     std::ostream& out) {
  if (with_steps) {
    TextTable steps({"step", "name", "rows", "seconds"});
    steps.SetRightAligned(0);
    steps.SetRightAligned(2);
    steps.SetRightAligned(3);
    for (size_t i = 0; i < report.steps.size(); ++i) {
      const StepResult& s = report.steps[i];
      steps.AddRow({std::to_string(i + 1), s.name, std::to_string(s.rows),
                    Seconds(s.seconds)});
    }
    out << steps.Render("  ");
  }
  TextTable tables({"table", "rows before", "rows after", "change"});
  for (size_t c = 1; c < 4; ++c) tables.SetRightAligned(c);
  for (const TableCount& t : report.tables) {
    int64_t d = t.after - t.before;
    tables.AddRow({t.table, std::to_string(t.before), std::to_string(t.after),
                   d == 0 ? "0" : (d > 0 ? "+" : "") + std::to_string(d)});
  }
  out << tables.Render("  ");
}

int RunClose(const Target& target, const PlanOptions& o, std::ostream& out,
             PlanReport* report) {
  YearPeriod current;
  int32_t period_count = 0;
  {
    Database db(target);  // committed data
    const ProfilePeriod checked = CheckedProfilePeriod(db);
    current = checked.current;
    period_count = checked.period_count;
  }
  if (o.period && !(*o.period == current)) {
    throw Refused("the current period is " + ToText(current) + ", not " +
                  ToText(*o.period) + "; only the current period is closed");
  }
  const YearPeriod from = current;
  report->from = from;
  report->to = NextPeriod(from, period_count);
  out << "Close of " << ToText(from) << " into "
      << ToText(NextPeriod(from, period_count)) << " (" << target.label
      << ")\n";
  if (o.show_checks) {
    auto info = CreateObject<CheckOutInfo>();
    out << "Pre-close checks of " << ToText(from) << ":\n";
    PrintChecks(*info, target, from, out);
  }
  out << std::flush;
  if (!o.force) {
    Database db(target);  // committed data
    if (CostingRows(db, from) == 0) {
      throw Refused(ToText(from) +
                    " shows no costing work (no rows of a costing run); "
                    "closing it would carry nothing. Give --force to close "
                    "it anyway");
    }
  }
  Confirm("Close " + ToText(from) + "?", o);

  report->from = from;
  TransactionScope scope;
  Database db(target);  // joins the scope
  TestFaultPlan fault_plan;
  auto update = CreateObject<CheckOutUpdate>();
  auto close = CreateObject<CloseData>();
  Variant tvec, batches;
  int32_t y = 0, p = 0, ny = 0, np = 0;
  // First statement of the scope: takes the write lock (waits for another
  // close) and reads the period as it now stands.
  update->TransPeriod(target.dsn, tvec, batches, y, p, ny, np);
  if (!(CheckedProfilePeriod(db).current == from) ||
      !(YearPeriod{y, p} == from)) {
    throw Refused("the current period is now " + ToText({y, p}) + ", not " +
                  ToText(from) +
                  ": another close or reopen finished first; nothing was "
                  "changed");
  }
  report->to = {ny, np};
  const std::string& dsn = target.dsn;
  const int16_t Y = Short(y, "year"), P = Short(p, "period");
  const int16_t NY = Short(ny, "year"), NP = Short(np, "period");
  auto c = close.get();
  std::vector<PlanStep> steps = {
      {"SetEndBal", {"cbBalance"}, [=] { c->SetEndBal(dsn, Y, P); }},
      {"SetBegBal",
       {"cbBalance", "cbCostObjDetail"},
       [=] { c->SetBegBal(dsn, Y, P, NY, NP); }},
      {"SetStandardData",
       {"CBRationStandardInfo"},
       [=] { c->SetStandardData(dsn, Y, P, NY, NP); }},
      {"SetStdCostData",
       {"CBStdSalaryRate", "CBStdStdManhour", "CBStdFloatMakeRate",
        "CBStdStdPrice", "CBStdfixedMakebudget", "CBStdBudgetOutput"},
       [=] { c->SetStdCostData(dsn, Y, P, NY, NP); }},
      {"SetCostTypeData",
       {"cbCostTypeInfo"},
       [=] { c->SetCostTypeData(dsn, Y, P, NY, NP); }},
      {"SetCostSortData",
       {"CBSortStandardInfo"},
       [=] { c->SetCostSortData(dsn, Y, P, NY, NP); }},
      {"SetCostDeputyData",
       {"CBDeputyInfo"},
       [=] { c->SetCostDeputyData(dsn, Y, P, NY, NP); }},
      {"SetDayAccount",
       {"DayCost_Balance", "DayCost_CostObjDetail"},
       [=] { c->SetDayAccount(dsn, y, p, ny, np); }},
      {"SetCostRevertStd",
       {"CBCarriedCostRevertStdInfo", "CBCarriedCostRevertStdInfo_History"},
       [=] { c->SetCostRevertStd(dsn, y, p, true); }},
      {"SetCostRevertRealEndStk",
       {"CBCarriedCostRevertRealEndStk",
        "CBCarriedCostRevertRealEndStk_History"},
       [=] { c->SetCostRevertRealEndStk(dsn, y, p, true); }},
      {"SetCostRevertRealEndBal",
       {"CBCarriedCostRevertRealEndBal",
        "CBCarriedCostRevertRealEndBal_History"},
       [=] { c->SetCostRevertRealEndBal(dsn, y, p, true); }},
      {"EndHistoryData",
       {"cbMaterielInfo", "cbMaterielInfo_History", "cbExpenseDistributeInfo",
        "cbExpenseDistributeInfo_History"},
       [=] { c->EndHistoryData(dsn, y, p, true); }},
      {"UpdateCostBalance",
       {"CB_CostBalance"},
       [u = update.get(), dsn] { u->UpdateCostBalance(dsn); }},
      {"SetCurrentPeriod",
       {"t_SystemProfile"},
       [=] { c->SetCurrentPeriod(dsn, NY, NP); }},
  };
  RunSteps(steps, db, report);
  const Reconciliation rec = Reconcile(db, from, {ny, np});
  report->reconciliation = ReconciliationJson(rec, from, {ny, np});
  if (o.strict && !rec.Balanced()) {
    PrintReconciliation(report->reconciliation, out);
    throw RolledBack(
        "the opening balances of " + ToText({ny, np}) +
        " differ from the closing work in process of " + ToText(from) + " by " +
        Money(rec.total.Difference()) +
        " in total (--strict); the close was rolled back, nothing was "
        "changed");
  }
  return Finish(scope, db, o, "close of " + ToText(from), out, report);
}

int RunReopen(const Target& target, const PlanOptions& o, std::ostream& out,
              PlanReport* report) {
  YearPeriod current;
  int32_t period_count = 0;
  {
    Database db(target);
    const ProfilePeriod checked = CheckedProfilePeriod(db);
    current = checked.current;
    period_count = checked.period_count;
  }
  const YearPeriod back = PreviousPeriod(current, period_count);
  report->from = current;
  report->to = back;
  out << "Reopen: back from " << ToText(current) << " to " << ToText(back)
      << " (" << target.label << ")\n"
      << std::flush;
  auto voucher_guard = [&](CheckOutInfo& info) {
    if (!o.force &&
        info.CheckHasVoucher(target.dsn, current.year, current.period)) {
      throw Refused("vouchers were made for the opening balances of " +
                    ToText(current) +
                    " (CheckHasVoucher); take them back first, or give "
                    "--force");
    }
  };
  voucher_guard(*CreateObject<CheckOutInfo>());
  Confirm("Take back the close of " + ToText(back) + "?", o);

  report->from = current;
  report->to = back;
  TransactionScope scope;
  Database db(target);
  TestFaultPlan fault_plan;
  auto update = CreateObject<CheckOutUpdate>();
  auto close = CreateObject<CloseData>();
  auto info = CreateObject<CheckOutInfo>();
  Variant tvec, batches;
  int32_t y = 0, p = 0, ny = 0, np = 0;
  update->TransPeriod(target.dsn, tvec, batches, y, p, ny, np);
  if (!(CheckedProfilePeriod(db).current == current) ||
      !(YearPeriod{y, p} == current)) {
    throw Refused("the current period is now " + ToText({y, p}) + ", not " +
                  ToText(current) +
                  ": another close or reopen finished first; nothing was "
                  "changed");
  }
  voucher_guard(*info);
  if (!o.force) {
    if (CloseTraceRows(db, back) == 0) {
      throw Refused(ToText(back) +
                    " shows no close to take back (no cost balance, balance "
                    "or history rows); give --force to reopen anyway");
    }
  }

  const std::string& dsn = target.dsn;
  const int32_t by = back.year, bp = back.period;
  const int16_t BY = Short(by, "year"), BP = Short(bp, "period");
  auto c = close.get();
  std::vector<PlanStep> steps;
  if (info->HasCheckedOnlineBalance(dsn, current.year, current.period)) {
    steps.push_back({"UnCheckOnlineBalance",
                     {"CBOnInitBalance", "CBCostObjAdjustDetail"},
                     [=] { c->UnCheckOnlineBalance(dsn, y, p); }});
  }
  steps.push_back(
      {"SetCostRevertStd",
       {"CBCarriedCostRevertStdInfo", "CBCarriedCostRevertStdInfo_History"},
       [=] { c->SetCostRevertStd(dsn, by, bp, false); }});
  steps.push_back({"SetCostRevertRealEndStk",
                   {"CBCarriedCostRevertRealEndStk",
                    "CBCarriedCostRevertRealEndStk_History"},
                   [=] { c->SetCostRevertRealEndStk(dsn, by, bp, false); }});
  steps.push_back({"SetCostRevertRealEndBal",
                   {"CBCarriedCostRevertRealEndBal",
                    "CBCarriedCostRevertRealEndBal_History"},
                   [=] { c->SetCostRevertRealEndBal(dsn, by, bp, false); }});
  steps.push_back(
      {"EndHistoryData",
       {"cbMaterielInfo", "cbMaterielInfo_History", "cbExpenseDistributeInfo",
        "cbExpenseDistributeInfo_History"},
       [=] { c->EndHistoryData(dsn, by, bp, false); }});
  steps.push_back({"Delete (CB_CostBalance " + ToText(current) + ")",
                   {"CB_CostBalance"},
                   [u = update.get(), dsn, y, p] {
                     auto filter = FieldValueSet::Create();
                     filter->SetValue("FYear", Variant::I4(y));
                     filter->SetValue("FPeriod", Variant::I4(p));
                     u->Delete(dsn, filter, true);
                   }});
  steps.push_back({"SetCurrentPeriod",
                   {"t_SystemProfile", "cbBalance", "cbCostObjDetail"},
                   [=] {
                     bool unclosed = true;
                     c->SetCurrentPeriod(dsn, BY, BP, unclosed);
                   }});
  RunSteps(steps, db, report);
  return Finish(scope, db, o, "reopen of " + ToText(back), out, report);
}

namespace {

struct CloseCommandOptions {
  ConnectionOptions connection;
  std::string period;
  PlanOptions plan;
  std::string format = "table";
  std::string operator_name;
};

// --format and --operator of close and reopen.
void AddPlanOutputOptions(CLI::App* sub, std::string* format,
                          std::string* operator_name) {
  sub->add_option("--format", *format,
                  "table (default) or json: one object on standard output")
      ->check(CLI::IsMember({"table", "json"}));
  sub->add_option("--operator", *operator_name,
                  "Name in the close log (default: the OS user)");
}

CommandRunner SetupClose(CLI::App* sub) {
  auto o = std::make_shared<CloseCommandOptions>();
  AddConnectionOptions(sub, &o->connection);
  CLI::Option* period =
      sub->add_option("--period", o->period,
                      "The period to close, YYYY/P; refused unless it is the "
                      "current one");
  sub->add_flag("--dry-run", o->plan.dry_run,
                "Run the whole plan, report it, then roll it back");
  sub->add_flag("--yes", o->plan.yes,
                "Confirm: without it the close asks on a terminal and "
                "refuses otherwise");
  sub->add_flag("--force", o->plan.force,
                "Close even a period that shows no costing work");
  sub->add_flag("--strict", o->plan.strict,
                "Roll the close back when the reconciliation shows a "
                "difference");
  AddPlanOutputOptions(sub, &o->format, &o->operator_name);
  sub->footer(
      "Steps: SetEndBal, SetBegBal, SetStandardData, SetStdCostData, "
      "SetCostTypeData, SetCostSortData, SetCostDeputyData, SetDayAccount, "
      "SetCostRevertStd, SetCostRevertRealEndStk, SetCostRevertRealEndBal, "
      "EndHistoryData, UpdateCostBalance, SetCurrentPeriod.\n"
      "Exit status: 0 closed (or dry run done); 2 usage; 3 a component "
      "error (nothing changed); 4 refused (nothing changed).");
  return [o, period] {
    return RunGuarded("close", [&] {
      Target t = OpenTarget(o->connection);
      PlanOptions plan = o->plan;
      if (period->count() > 0) plan.period = ParseYearPeriod(o->period);
      return RunPlanCommand(
          t, {"close", plan, o->format == "json", o->operator_name});
    });
  };
}

struct ReopenCommandOptions {
  ConnectionOptions connection;
  PlanOptions plan;
  std::string format = "table";
  std::string operator_name;
};

CommandRunner SetupReopen(CLI::App* sub) {
  auto o = std::make_shared<ReopenCommandOptions>();
  AddConnectionOptions(sub, &o->connection);
  sub->add_flag("--dry-run", o->plan.dry_run,
                "Run the whole plan, report it, then roll it back");
  sub->add_flag("--yes", o->plan.yes, "Do not ask for confirmation");
  sub->add_flag("--force", o->plan.force,
                "Reopen even when vouchers were made for the current "
                "period's opening balances, or when the period before "
                "shows no close");
  AddPlanOutputOptions(sub, &o->format, &o->operator_name);
  sub->footer(
      "Exit status: 0 reopened (or dry run done); 2 usage; 3 a component "
      "error (nothing changed); 4 refused (nothing changed).");
  return [o] {
    return RunGuarded("reopen", [&] {
      Target t = OpenTarget(o->connection);
      return RunPlanCommand(
          t, {"reopen", o->plan, o->format == "json", o->operator_name});
    });
  };
}

const CommandRegistration kClose(
    "close", 50,
    "Close the current period: the whole plan in one transaction, all or "
    "nothing",
    SetupClose);
const CommandRegistration kReopen(
    "reopen", 60,
    "Take back the last close: from the current period back to the one "
    "before, in one transaction",
    SetupReopen);

}  // namespace

}  // namespace marl::cli
