// marl-checkout log [--format table|csv|json] [--last N]: the close log,
// oldest attempt first (see close_log.h). A database without the log table
// gets it (it was made before the tool kept a log).
#include <iostream>

#include "close_log.h"
#include "money.h"
#include "operator.h"
#include "table_format.h"

namespace marl::cli {

namespace {

struct LogOptions {
  ConnectionOptions connection;
  std::string format = "table";
  size_t last = 0;
};

std::string Total(const Json& reconciliation, const char* key) {
  if (!reconciliation.is_object() || !reconciliation.contains(key)) return "";
  const Json& v = reconciliation[key];
  return v.is_number() ? Money(v.get<double>()) : "";
}

int64_t Rows(const Json& steps) {
  int64_t rows = 0;
  for (const Json& s : steps) rows += s.value("rows", int64_t{0});
  return rows;
}

int RunLog(const LogOptions& o, std::ostream& out) {
  const Target t = OpenTarget(o.connection);
  EnsureCloseLog(t);
  std::vector<LogEntry> entries = ReadCloseLog(t);
  if (o.last > 0 && entries.size() > o.last) {
    entries.erase(entries.begin(), entries.end() - o.last);
  }
  if (o.format == "json") {
    Json rows = Json::array();
    for (const LogEntry& e : entries) rows.push_back(LogEntryJson(e));
    out << rows.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  if (o.format == "csv") {
    const std::vector<std::string> columns = {
        "FID",      "FCommand",     "FStarted",       "FEnded",    "FOperator",
        "FHost",    "FToolVersion", "FPeriodFrom",    "FPeriodTo", "FResult",
        "FMessage", "FSteps",       "FReconciliation"};
    for (size_t c = 0; c < columns.size(); ++c) {
      out << (c ? "," : "") << columns[c];
    }
    out << "\r\n";
    for (const LogEntry& e : entries) {
      const std::vector<std::string> cells = {std::to_string(e.id),
                                              e.command,
                                              e.started,
                                              e.ended,
                                              e.operator_name,
                                              e.host,
                                              e.version,
                                              e.from,
                                              e.to,
                                              e.result,
                                              e.message,
                                              Dump(e.steps),
                                              Dump(e.reconciliation)};
      for (size_t c = 0; c < cells.size(); ++c) {
        out << (c ? "," : "") << CsvField(cells[c]);
      }
      out << "\r\n";
    }
    return kExitOk;
  }
  if (entries.empty()) {
    out << "No close or reopen has been logged in " << t.label << ".\n";
    return kExitOk;
  }
  TextTable table({"#", "command", "started (UTC)", "ended", "operator", "host",
                   "from", "to", "result", "rows", "difference"});
  table.SetRightAligned(0);
  table.SetRightAligned(9);
  table.SetRightAligned(10);
  for (const LogEntry& e : entries) {
    table.AddRow({std::to_string(e.id), e.command, e.started,
                  e.ended.substr(e.ended.size() > 8 ? e.ended.size() - 8 : 0),
                  e.operator_name, e.host, e.from, e.to, e.result,
                  std::to_string(Rows(e.steps)),
                  Total(e.reconciliation, "difference")});
  }
  out << table.Render();
  for (const LogEntry& e : entries) {
    if (!e.message.empty()) {
      out << "#" << e.id << " " << e.result << ": " << e.message << "\n";
    }
  }
  return kExitOk;
}

CommandRunner SetupLog(CLI::App* sub) {
  auto o = std::make_shared<LogOptions>();
  AddConnectionOptions(sub, &o->connection);
  sub->add_option("--format", o->format, "table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  sub->add_option("--last", o->last, "Only the last N attempts")
      ->check(CLI::PositiveNumber);
  sub->footer("Exit status: 0 listed; 2 usage; 3 a component error.");
  return
      [o] { return RunGuarded("log", [&] { return RunLog(*o, std::cout); }); };
}

const CommandRegistration kLog(
    "log", 65,
    "The close log: every close and reopen attempt, who, when, with what "
    "result",
    SetupLog);

}  // namespace

}  // namespace marl::cli
