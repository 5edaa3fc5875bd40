// A close or reopen as the operator runs it: the plan (RunClose,
// RunReopen), its row in the close log, and its report as text or JSON.
#pragma once

#include <string>

#include "operator.h"

namespace marl::cli {

struct PlanCommand {
  std::string command;  // close | reopen
  PlanOptions plan;
  bool json = false;
  std::string operator_name;  // empty: the OS user
};

// Runs the plan and logs the attempt (not a dry run): a done one inside
// the plan's transaction, any other after the rollback in a transaction of
// its own. With json, standard output gets one object (see
// PlanReportJson) whatever the result; the failure is then raised as
// RunGuarded expects.
// `report`, when given, gets the plan's report.
int RunPlanCommand(const Target& target, const PlanCommand& c,
                   PlanReport* report = nullptr);

// The tool as the user started it (argv[0] when it names a path, else
// "marl-checkout"), for hints that run as printed.
std::string ToolCommand();
void SetToolCommand(const std::string& argv0);

// result: done, dry run, refused, failed or rolled back.
// {"command", "database", "from", "to", "dryRun", "result", "message",
//  "seconds", "steps": [{"name", "rows", "seconds"}],
//  "tables": [{"table", "before", "after"}], "reconciliation" (close:
//  see ReconciliationJson; null for a reopen or a plan that stopped
//  before it)}
Json PlanReportJson(const std::string& command, const Target& target,
                    const PlanReport& report, bool dry_run,
                    const std::string& result, const std::string& message);

}  // namespace marl::cli
