// A close or reopen as the operator runs it (see plan_run.h).
#include "plan_run.h"

#include <exception>
#include <iostream>
#include <sstream>

#include "close_log.h"
#include "interrupt.h"
#include "reconcile.h"
#include "safeguards.h"

namespace marl::cli {

namespace {

Json StepsJson(const PlanReport& report, bool with_seconds) {
  Json steps = Json::array();
  for (const StepResult& s : report.steps) {
    Json step = {{"name", s.name}, {"rows", s.rows}};
    if (with_seconds) step["seconds"] = s.seconds;
    steps.push_back(step);
  }
  return steps;
}

}  // namespace

Json PlanReportJson(const std::string& command, const Target& target,
                    const PlanReport& report, bool dry_run,
                    const std::string& result, const std::string& message) {
  Json tables = Json::array();
  for (const TableCount& t : report.tables) {
    tables.push_back(
        {{"table", t.table}, {"before", t.before}, {"after", t.after}});
  }
  return {{"command", command},
          {"database", target.label},
          {"from", ToText(report.from)},
          {"to", ToText(report.to)},
          {"dryRun", dry_run},
          {"result", result},
          {"message", message},
          {"seconds", report.seconds},
          {"steps", StepsJson(report, true)},
          {"tables", tables},
          {"reconciliation", report.reconciliation}};
}

namespace {
std::string& ToolCommandText() {
  static std::string text = "marl-checkout";
  return text;
}
}  // namespace

std::string ToolCommand() { return ToolCommandText(); }

void SetToolCommand(const std::string& argv0) {
  if (argv0.find('/') != std::string::npos) ToolCommandText() = argv0;
}

int RunPlanCommand(const Target& target, const PlanCommand& c,
                   PlanReport* report_out) {
  const bool logged = !c.plan.dry_run;
  LogEntry entry;
  entry.command = c.command;
  entry.started = NowUtc();
  entry.operator_name = c.operator_name.empty() ? OsUser() : c.operator_name;
  entry.host = HostName();
  entry.version = ToolVersion();
  auto fill = [&](const PlanReport& report, const std::string& result,
                  const std::string& message) {
    entry.ended = NowUtc();
    entry.from = ToText(report.from);
    entry.to = ToText(report.to);
    entry.result = result;
    entry.message = message;
    entry.steps = StepsJson(report, false);
    if (report.reconciliation.is_object()) {
      const Json& total = report.reconciliation["total"];
      entry.reconciliation = {{"closing", total["closing"]},
                              {"opening", total["opening"]},
                              {"difference", total["difference"]}};
    }
  };
  // Every attempt gets its row: without the table nothing is started.
  if (logged) EnsureCloseLog(target);

  PlanOptions plan = c.plan;
  if (logged) {
    plan.before_commit = [&](const PlanReport& report) {
      fill(report, "done", "");
      WriteCloseLog(target, entry);
    };
  }
  std::ostringstream discarded;
  std::ostream& out = c.json ? discarded : std::cout;
  PlanReport report;
  std::string result, message;
  std::exception_ptr failure;
  int status = kExitOk;
  bool interrupted = false;
  InterruptScope interrupt_scope(c.command);
  try {
    try {
      status = c.command == "close" ? RunClose(target, plan, out, &report)
                                    : RunReopen(target, plan, out, &report);
    } catch (const Error& e) {
      RaiseEnded(e, c.command);  // says that nothing was changed
    }
    result = plan.dry_run ? "dry run" : "done";
  } catch (const RolledBack& e) {
    result = "rolled back";
    message = e.what();
    failure = std::current_exception();
  } catch (const Refused& e) {
    result = "refused";
    message = e.what();
    failure = std::current_exception();
  } catch (const Error& e) {
    result = "failed";
    message = "error " + std::to_string(e.number()) + " (" + e.source() +
              "): " + e.description();
    failure = std::current_exception();
  } catch (const Interrupted&) {
    result = "rolled back";
    message = "interrupted (Ctrl-C or SIGTERM)";
    interrupted = true;
  } catch (const std::exception& e) {
    result = "failed";
    message = e.what();
    failure = std::current_exception();
  }
  if (report.from == YearPeriod{}) {
    // Refused before the plan read the period: log the current one.
    try {
      Database db(target);
      const int32_t count = db.PeriodCount();
      report.from = db.CurrentPeriod();
      report.to = c.command == "close" ? NextPeriod(report.from, count)
                                       : PreviousPeriod(report.from, count);
    } catch (const Error&) {
      // The log says 0/0: the database could not tell.
    }
  }
  if ((failure || interrupted) && logged) {
    // Logged after the rollback (the plan's scope has ended), on its own.
    fill(report, result, message);
    try {
      WriteCloseLog(target, entry);
    } catch (const Error& e) {
      std::cerr << "marl-checkout " << c.command
                << ": the attempt could not be logged: " << e.description()
                << "\n";
    }
  }
  if (c.json) {
    std::cout << Dump(PlanReportJson(c.command, target, report, c.plan.dry_run,
                                     result, message))
              << "\n";
  }
  if (report_out) *report_out = report;
  if (interrupted) {
    std::cerr << "marl-checkout " << c.command << ": interrupted: the "
              << c.command << " was rolled back; nothing was changed\n";
    return kExitInterrupted;
  }
  if (failure) std::rethrow_exception(failure);
  return status;
}

}  // namespace marl::cli
