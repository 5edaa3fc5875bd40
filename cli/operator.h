// Shared pieces of the operator's commands (status, check, close, reopen,
// list, demo): connection options, the database a command works on, period
// arithmetic, direct counting reads, error reporting and exit statuses, and
// the entry points that `demo` strings together.
//
// Exit statuses: 0 success; 2 usage; 3 a component error (printed with its
// number, source and description); 4 refused by a guard (nothing changed).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common.h"
#include "marlcheckout/error.h"
#include "marlcheckout/registry.h"

namespace marl::data {
class Connection;
}

namespace marl::cli {

inline constexpr int kExitRefused = 4;

// A new object of component class T (by T::kProgId) from the registry.
// Raises kClassNotRegistered ("<ProgID> is not available", source
// "marl-checkout") when the registry gives an object of another class, and
// passes the registry's own failures on.
template <class T>
std::shared_ptr<T> NewComponent() {
  auto object =
      std::dynamic_pointer_cast<T>(Registry::Instance().Create(T::kProgId));
  if (!object) {
    throw Error(err::kClassNotRegistered, "marl-checkout",
                std::string(T::kProgId) + " is not available");
  }
  return object;
}

// A guard refused the command; the message is printed and the tool exits 4.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --db PATH | --dsn STRING, --lang, --trace-sql FILE.
struct ConnectionOptions {
  std::string db;
  std::string dsn;
  std::string lang = "en";
  std::string trace;
};
void AddConnectionOptions(CLI::App* sub, ConnectionOptions* options);

// The database a command works on.
struct Target {
  std::string dsn;      // connection property string handed to the component
  std::string connect;  // its "ConnectString": what the data layer opens
  std::string label;    // the path of --db, else the connect string with
                        // its password values masked
};

// The connect string with the values of its password keys ("PWD",
// "Password") replaced by "***", for messages.
std::string MaskPasswords(const std::string& connect);

// Checks the options (exactly one of --db and --dsn; --db must name an
// existing file; the property string must parse) and switches on SQL tracing
// for --trace-sql. Raises UsageError.
Target OpenTarget(const ConnectionOptions& options);

struct YearPeriod {
  int32_t year = 0;
  int32_t period = 0;
  bool operator==(const YearPeriod&) const = default;
};
std::string ToText(const YearPeriod& p);  // "2024/11"
// "YYYY/P" (also "YYYY/PP"); UsageError otherwise.
YearPeriod ParseYearPeriod(const std::string& text);
// Period 1 of the next year after `period_count`, else the next period.
YearPeriod NextPeriod(const YearPeriod& p, int32_t period_count);
// The period before: period - 1, or `period_count` of the previous year.
YearPeriod PreviousPeriod(const YearPeriod& p, int32_t period_count);

// Direct reads of the tool itself (row counts, profile values): one
// data-layer connection. Opened while a transaction scope is current it is
// a handle on that transaction's connection and sees its uncommitted work;
// otherwise every read commits on its own and never waits for a writer's
// open transaction.
class Database {
 public:
  explicit Database(const Target& target);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // The leading number of a profile value (0 when missing or not numeric),
  // as the component reads it.
  int32_t ProfileNumber(const std::string& category, const std::string& key);
  YearPeriod CurrentPeriod();  // 'CB' 'CurrentYear' / 'CurrentPeriod'
  int32_t PeriodCount();       // 'GL' 'PeriodCount'
  int64_t Count(const std::string& table, const std::string& where = "");
  int64_t CountPeriod(const std::string& table, const YearPeriod& p);
  // Every row of a query (for small lookups).
  std::vector<std::vector<Variant>> Rows(const std::string& sql);
  void Close();

 private:
  std::shared_ptr<data::Connection> conn_;
};

// Prints a component error on standard error: number (decimal and hex),
// source and description. A database held by another writer gets a hint.
void PrintComponentError(const std::string& command, const Error& e);

// Runs a command body and maps its failures to exit statuses: UsageError 2,
// Error 3 (printed), Refused 4 (printed), any other exception 1.
int RunGuarded(const std::string& command, const std::function<int()>& body);

// One step of a close or reopen plan.
struct PlanStep {
  std::string name;
  std::vector<std::string> tables;  // tables the step may write
  std::function<void()> run;
};
struct StepResult {
  std::string name;
  int64_t rows = 0;  // records affected, as the provider reports them
  double seconds = 0;
};
struct TableCount {
  std::string table;
  int64_t before = 0;
  int64_t after = 0;
};
struct PlanReport {
  YearPeriod from;  // the current period before the plan
  YearPeriod to;    // the current period after it
  std::vector<StepResult> steps;
  std::vector<TableCount> tables;
  double seconds = 0;
  bool committed = false;
  Json reconciliation;  // close: see reconcile.h; null otherwise
};

struct PlanOptions {
  std::optional<YearPeriod> period;  // close: the period to close
  bool dry_run = false;
  bool yes = false;
  bool force = false;        // close: despite no costing work; reopen: despite
                             // vouchers or no close to take back
  bool print_tables = true;  // the table counts after a committed plan
  bool show_checks = true;   // close: the pre-close checks before the plan
  bool strict = false;       // close: a reconciliation difference rolls back
  // Runs inside the plan's transaction just before a real run commits (the
  // close log's row of a done attempt); a failure rolls the plan back.
  std::function<void(const PlanReport&)> before_commit;
};

// The close and the reopen (cmd_close.cpp). Return the exit status; raise
// as RunGuarded expects. `report` is filled as far as the plan ran.
int RunClose(const Target& target, const PlanOptions& options,
             std::ostream& out, PlanReport* report);
int RunReopen(const Target& target, const PlanOptions& options,
              std::ostream& out, PlanReport* report);
// Rows per touched table, before and after (and the steps for a dry run).
void PrintPlanReport(const PlanReport& report, bool with_steps,
                     std::ostream& out);

// status (cmd_status.cpp) and check (cmd_check.cpp).
int RunStatus(const Target& target, std::ostream& out, bool json = false);
// check exits 4 when a line would make close or reopen refuse.
int RunCheck(const Target& target, std::optional<YearPeriod> period,
             std::ostream& out, bool json = false);

// Text of a value for tables and CSV: numbers in their shortest exact form,
// dates canonical, empty and null as "".
std::string CellText(const Variant& v);

}  // namespace marl::cli
