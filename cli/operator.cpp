// Shared pieces of the operator's commands (see operator.h).
#include "operator.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <regex>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/provider.h"
#include "safeguards.h"

namespace marl::cli {

void AddConnectionOptions(CLI::App* sub, ConnectionOptions* options) {
  sub->add_option("--db", options->db, "SQLite database file");
  sub->add_option("--dsn", options->dsn,
                  "Whole connection property string (instead of --db)");
  sub->add_option("--lang", options->lang,
                  "Language of texts and messages (with --db)")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
  sub->add_option("--trace-sql", options->trace,
                  "Append every statement sent to FILE as JSON lines");
}

Target OpenTarget(const ConnectionOptions& o) {
  if (!o.db.empty() && !o.dsn.empty()) {
    throw UsageError("give either --db or --dsn, not both");
  }
  if (o.db.empty() && o.dsn.empty()) {
    throw UsageError("give the database with --db PATH or --dsn STRING");
  }
  Target t;
  if (!o.db.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(o.db, ec)) {
      throw UsageError("no database at " + o.db +
                       " (create one with marl-checkout init --demo)");
    }
    t.dsn = SqliteDsn(o.db, o.lang);
    t.label = o.db;
  } else {
    CheckPropertyString(o.dsn);
    t.dsn = o.dsn;
  }
  data::CParse parse;
  try {
    parse.ParseString(t.dsn);
    t.connect = parse.ConStr();
  } catch (const Error&) {
    throw UsageError("the connection property string has no ConnectString: " +
                     t.dsn);
  }
  if (t.label.empty()) t.label = MaskPasswords(t.connect);
  if (!o.trace.empty()) {
    CheckTraceFile(o.trace, t);
    data::SetTraceFile(o.trace);
  }
  AnnounceWaits();
  return t;
}

std::string MaskPasswords(const std::string& connect) {
  static const std::regex kPassword(
      R"(((?:^|;)\s*(?:pwd|password)\s*=\s*)(\{[^}]*\}?|[^;]*))",
      std::regex::icase);
  return std::regex_replace(connect, kPassword, "$1***");
}

std::string ToText(const YearPeriod& p) {
  return std::to_string(p.year) + "/" + std::to_string(p.period);
}

YearPeriod ParseYearPeriod(const std::string& text) {
  static const std::regex kShape(R"((\d{4})/(\d{1,2}))");
  std::smatch m;
  if (!std::regex_match(text, m, kShape)) {
    throw UsageError("a period is written YYYY/P, e.g. 2024/11: " + text);
  }
  YearPeriod p{std::stoi(m[1]), std::stoi(m[2])};
  if (p.period < 1) throw UsageError("periods are counted from 1: " + text);
  return p;
}

YearPeriod NextPeriod(const YearPeriod& p, int32_t period_count) {
  if (p.period == period_count) return {p.year + 1, 1};
  return {p.year, p.period + 1};
}

YearPeriod PreviousPeriod(const YearPeriod& p, int32_t period_count) {
  if (p.period <= 1) return {p.year - 1, period_count};
  return {p.year, p.period - 1};
}

Database::Database(const Target& target) : conn_(data::Connection::Create()) {
  conn_->Open(target.connect);
}

Database::~Database() { Close(); }

void Database::Close() {
  if (conn_ && conn_->State() == data::ado::kStateOpen) {
    try {
      conn_->Close();
    } catch (const Error&) {
      // Releasing a handle does not fail in a way the caller can act on.
    }
  }
}

std::vector<std::vector<Variant>> Database::Rows(const std::string& sql) {
  data::FaultExempt own_read;  // the fault plan aims at the component only
  return conn_->Run(sql, {}).rows;
}

int32_t Database::ProfileNumber(const std::string& category,
                                const std::string& key) {
  auto rows = Rows("SELECT FValue FROM t_SystemProfile WHERE FCategory='" +
                   category + "' AND FKey='" + key + "'");
  if (rows.empty() || rows[0].empty() || rows[0][0].IsEmptyOrNull()) return 0;
  // The leading number of the text, as the component reads it.
  const std::string text = rows[0][0].ToText();
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int32_t value = 0;
  std::from_chars(text.data() + i, text.data() + text.size(), value);
  return value;
}

YearPeriod Database::CurrentPeriod() {
  return {ProfileNumber("CB", "CurrentYear"),
          ProfileNumber("CB", "CurrentPeriod")};
}

int32_t Database::PeriodCount() { return ProfileNumber("GL", "PeriodCount"); }

int64_t Database::Count(const std::string& table, const std::string& where) {
  auto rows = Rows("SELECT COUNT(*) FROM " + table +
                   (where.empty() ? "" : " WHERE " + where));
  if (rows.empty() || rows[0].empty()) return 0;
  return static_cast<int64_t>(rows[0][0].ToDouble());
}

int64_t Database::CountPeriod(const std::string& table, const YearPeriod& p) {
  return Count(table, "FYear=" + std::to_string(p.year) +
                          " AND FPeriod=" + std::to_string(p.period));
}

void PrintComponentError(const std::string& command, const Error& e) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08" PRIX32,
                static_cast<uint32_t>(e.number()));
  std::cerr << "marl-checkout " << command
            << ": the component raised an error\n"
            << "  number:      " << e.number() << " (" << hex << ")\n"
            << "  source:      " << e.source() << "\n"
            << "  description: " << e.description() << "\n";
  const std::string& d = e.description();
  if (d.find("database is locked") != std::string::npos ||
      d.find("database is busy") != std::string::npos ||
      d.find("SQLITE_BUSY") != std::string::npos) {
    std::cerr << "The database is held by another writer (a close or reopen "
                 "still running?); waited for the busy timeout. Try again "
                 "when it has finished.\n";
  }
}

int RunGuarded(const std::string& command, const std::function<int()>& body) {
  try {
    return body();
  } catch (const UsageError& e) {
    std::cerr << "marl-checkout " << command << ": " << e.what() << "\n";
    return kExitUsage;
  } catch (const Refused& e) {
    std::cerr << "marl-checkout " << command << ": refused: " << e.what()
              << "\n";
    return kExitRefused;
  } catch (const Error& e) {
    PrintComponentError(command, e);
    return kExitError;
  } catch (const std::exception& e) {
    std::cerr << "marl-checkout " << command << ": " << e.what() << "\n";
    return kExitFailure;
  }
}

std::string CellText(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
      return "";
    case VarType::R4:
      return Variant::FormatDouble(v.AsR4());
    case VarType::R8:
      return Variant::FormatDouble(v.AsR8());
    case VarType::Date:
      return Variant::FormatDate(v.AsDate());
    case VarType::Bool:
      return v.AsBool() ? "true" : "false";
    case VarType::Object:
      return Dump(ToJson(v));
    default:
      return v.ToText();
  }
}

}  // namespace marl::cli
