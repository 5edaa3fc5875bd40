// The close log (see close_log.h).
#include "close_log.h"

#include <strings.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/provider.h"
#include "marlcheckout/transaction.h"

#ifndef MARL_TOOL_VERSION
#define MARL_TOOL_VERSION "unknown"
#endif

namespace marl::cli {

namespace {

const char* const kColumns =
    "FID, FCommand, FStarted, FEnded, FOperator, FHost, FToolVersion, "
    "FPeriodFrom, FPeriodTo, FResult, FMessage, FSteps, FReconciliation";

std::string Body() {
  return std::string(" (\n") +
         "  FID             INTEGER NOT NULL PRIMARY KEY,\n"
         "  FCommand        VARCHAR(16) NOT NULL,\n"
         "  FStarted        VARCHAR(32) NOT NULL,\n"
         "  FEnded          VARCHAR(32) NOT NULL,\n"
         "  FOperator       VARCHAR(255) NOT NULL,\n"
         "  FHost           VARCHAR(255) NOT NULL,\n"
         "  FToolVersion    VARCHAR(32) NOT NULL,\n"
         "  FPeriodFrom     VARCHAR(16) NOT NULL,\n"
         "  FPeriodTo       VARCHAR(16) NOT NULL,\n"
         "  FResult         VARCHAR(16) NOT NULL,\n"
         "  FMessage        VARCHAR(4000) NOT NULL,\n"
         "  FSteps          VARCHAR(4000) NOT NULL,\n"
         "  FReconciliation VARCHAR(4000) NOT NULL\n"
         ")";
}

std::string DbmsName(const Target& target) {
  data::CParse parse;
  try {
    parse.ParseString(target.dsn);
    return parse.ConDBMSName();
  } catch (const Error&) {
    return "SQLite";
  }
}

std::string Text(const Variant& v) { return CellText(v); }

Json ParseJson(const std::string& text) {
  Json j = Json::parse(text, nullptr, false);
  return j.is_discarded() ? Json() : j;
}

LogEntry FromRow(const std::vector<Variant>& r) {
  LogEntry e;
  e.id = static_cast<int64_t>(r.at(0).ToDouble());
  e.command = Text(r.at(1));
  e.started = Text(r.at(2));
  e.ended = Text(r.at(3));
  e.operator_name = Text(r.at(4));
  e.host = Text(r.at(5));
  e.version = Text(r.at(6));
  e.from = Text(r.at(7));
  e.to = Text(r.at(8));
  e.result = Text(r.at(9));
  e.message = Text(r.at(10));
  e.steps = ParseJson(Text(r.at(11)));
  if (!e.steps.is_array()) e.steps = Json::array();
  e.reconciliation = ParseJson(Text(r.at(12)));
  return e;
}

data::BoundParam Param(const std::string& text) {
  return {"", 202, static_cast<int32_t>(text.size()), Variant::Text(text)};
}

}  // namespace

std::string CloseLogDdl(const std::string& dbms_name) {
  const std::string table = kCloseLogTable;
  if (strcasecmp(dbms_name.c_str(), "Microsoft SQL Server") == 0 ||
      strcasecmp(dbms_name.c_str(), "SQL Server") == 0) {
    return "IF OBJECT_ID('" + table + "') IS NULL\nCREATE TABLE " + table +
           Body() + ";\n";
  }
  return "CREATE TABLE IF NOT EXISTS " + table + Body() + ";\n";
}

void EnsureCloseLog(const Target& target) {
  auto conn = data::OpenPhysical(target.connect);
  conn->RunNativeScript(CloseLogDdl(DbmsName(target)));
}

void WriteCloseLog(const Target& target, const LogEntry& e) {
  // The next number is read in the same transaction as the insert.
  std::unique_ptr<TransactionScope> own;
  if (!Transaction::Current()) own = std::make_unique<TransactionScope>();
  auto conn = data::Connection::Create();
  conn->Open(target.connect);
  auto rows =
      conn->Run(std::string("SELECT MAX(FID) FROM ") + kCloseLogTable, {}).rows;
  int64_t id = 1;
  if (!rows.empty() && !rows[0].empty() && !rows[0][0].IsEmptyOrNull()) {
    id = static_cast<int64_t>(rows[0][0].ToDouble()) + 1;
  }
  std::vector<data::BoundParam> params = {
      {"", 3, 4, Variant::I4(static_cast<int32_t>(id))},
      Param(e.command),
      Param(e.started),
      Param(e.ended),
      Param(e.operator_name),
      Param(e.host),
      Param(e.version),
      Param(e.from),
      Param(e.to),
      Param(e.result),
      Param(e.message.substr(0, 4000)),
      Param(Dump(e.steps).substr(0, 4000)),
      Param(Dump(e.reconciliation))};
  conn->Run(std::string("INSERT INTO ") + kCloseLogTable + " (" + kColumns +
                ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            params);
  conn->Close();
  if (own) own->Commit();
}

std::vector<LogEntry> ReadCloseLog(const Target& target) {
  auto conn = data::Connection::Create();
  conn->Open(target.connect);
  std::vector<LogEntry> entries;
  std::vector<std::vector<Variant>> rows;
  try {
    rows = conn->Run(std::string("SELECT ") + kColumns + " FROM " +
                         kCloseLogTable + " ORDER BY FID",
                     {})
               .rows;
  } catch (const Error&) {
    return entries;  // no log table yet: nothing logged
  }
  for (const auto& r : rows) entries.push_back(FromRow(r));
  return entries;
}

std::optional<LogEntry> LastClose(const Target& target) {
  std::optional<LogEntry> last;
  for (LogEntry& e : ReadCloseLog(target)) {
    if (e.command == "close" && e.result == "done") last = std::move(e);
  }
  return last;
}

Json LogEntryJson(const LogEntry& e) {
  return {{"id", e.id},
          {"command", e.command},
          {"started", e.started},
          {"ended", e.ended},
          {"operator", e.operator_name},
          {"host", e.host},
          {"toolVersion", e.version},
          {"from", e.from},
          {"to", e.to},
          {"result", e.result},
          {"message", e.message},
          {"steps", e.steps},
          {"reconciliation", e.reconciliation}};
}

std::string NowUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string ToolVersion() { return MARL_TOOL_VERSION; }

}  // namespace marl::cli
