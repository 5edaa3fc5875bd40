#include "data/sqlite/sqlite_provider.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/translation_memo.h"
#include "marlcheckout/error.h"

namespace marl::data::sqlite {
namespace {

using tsql::Node;
using tsql::RunScript;
using tsql::Script;
using tsql::ScriptResult;
using tsql::Statement;
using tsql::StatementExecutor;
using tsql::StatementResult;
using tsql::Translate;

constexpr const char* kSource = "SQLite";
constexpr size_t kMaxCachedScripts = 512;
constexpr size_t kMaxCachedStatements = 256;
constexpr int kDefaultBusyTimeoutMs = 30000;
// A wait for another connection's lock that lasts this long is told to the
// wait notice (NotifyWaiting).
constexpr int64_t kWaitNoticeMs = 200;
// The page cache of a connection that has begun a write transaction
// (256 MiB; the pages are only allocated as they are used).
constexpr const char* kWriterCacheSize = "PRAGMA cache_size = -262144";

std::atomic<int64_t> g_prepared{0};
std::atomic<int64_t> g_opened{0};

// Owning handles: a statement is finalised and a database closed (rolling
// back an open transaction) when its handle ends.
struct StmtDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtDeleter>;
struct DbDeleter {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbDeleter>;

// Compiles `sql`; the SQLite result code, with `out` set on success.
int PrepareHandle(sqlite3* db, const std::string& sql, unsigned flags,
                  StmtHandle& out) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                              flags, &stmt, nullptr);
  out.reset(stmt);
  return rc;
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool Contains(const std::string& haystack, const char* needle) {
  return haystack.find(needle) != std::string::npos;
}

// Maps an SQLite failure to the error record. `compiling` is true when the
// failure came from preparing a statement.
Error MakeError(int rc, const std::string& message, bool compiling) {
  int32_t number = err::kDbFail;
  if (Contains(message, "no such table")) {
    number = err::kDbNoTable;
  } else if ((rc & 0xff) == SQLITE_CONSTRAINT) {
    number = err::kDbIntegrity;
  } else if (Contains(message, "syntax error") ||
             Contains(message, "no such column") ||
             Contains(message, "no such function") ||
             (compiling && (rc & 0xff) == SQLITE_ERROR)) {
    number = err::kDbSyntax;
  }
  return Error(number, kSource, message);
}

// ---------------------------------------------------------------------------
// Registered functions.

// LEN(x): length of x without trailing blanks, in UTF-16 code units.
void LenFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const unsigned char* text = sqlite3_value_text(argv[0]);
  int bytes = sqlite3_value_bytes(argv[0]);
  if (text == nullptr) {
    sqlite3_result_int(ctx, 0);
    return;
  }
  while (bytes > 0 && text[bytes - 1] == ' ') --bytes;
  int64_t units = 0;
  for (int i = 0; i < bytes; ++i) {
    unsigned char c = text[i];
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += (c >= 0xF0) ? 2 : 1;      // 4-byte sequences are surrogate pairs
  }
  sqlite3_result_int64(ctx, units);
}

// GETDATE(): the current local time as canonical text.
void GetDateFunction(sqlite3_context* ctx, int /*argc*/,
                     sqlite3_value** /*argv*/) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  double date =
      Variant::MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour, local.tm_min, local.tm_sec);
  std::string text = Variant::FormatDate(date);
  sqlite3_result_text(ctx, text.c_str(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

// ---------------------------------------------------------------------------
// Function masks for the provider properties. A bit is set when a call of
// the ODBC scalar function of that bit, by its own name, compiles on an
// SQLite connection of this provider (probed once per process, when a
// caller first reads one of the masks). The bits are
// those of the ODBC SQL_FN_NUM_*, SQL_FN_STR_*, SQL_FN_SYS_* and SQL_FN_TD_*
// masks, e.g. numeric 0x1 ABS, 0x200 FLOOR, 0x400000 ROUND; string 0x8
// LTRIM, 0x10 LENGTH, 0x100 REPLACE, 0x400 RTRIM; system 0x4 IFNULL; time
// and date 0x20000 CURRENT_DATE.
struct Probe {
  int32_t bit;
  const char* call;
};

const Probe kNumericProbes[] = {
    {0x1, "ABS(1)"},          {0x2, "ACOS(1)"},
    {0x4, "ASIN(1)"},         {0x8, "ATAN(1)"},
    {0x10, "ATAN2(1,1)"},     {0x20, "CEILING(1)"},
    {0x40, "COS(1)"},         {0x80, "COT(1)"},
    {0x100, "EXP(1)"},        {0x200, "FLOOR(1)"},
    {0x400, "LOG(1)"},        {0x800, "MOD(1,1)"},
    {0x1000, "SIGN(1)"},      {0x2000, "SIN(1)"},
    {0x4000, "SQRT(1)"},      {0x8000, "TAN(1)"},
    {0x10000, "PI()"},        {0x20000, "RAND()"},
    {0x40000, "DEGREES(1)"},  {0x80000, "LOG10(1)"},
    {0x100000, "POWER(1,1)"}, {0x200000, "RADIANS(1)"},
    {0x400000, "ROUND(1,0)"}, {0x800000, "TRUNCATE(1,0)"},
};
const Probe kStringProbes[] = {
    {0x1, "CONCAT('a','b')"},
    {0x2, "INSERT('a',1,1,'b')"},
    {0x4, "LEFT('a',1)"},
    {0x8, "LTRIM('a')"},
    {0x10, "LENGTH('a')"},
    {0x20, "LOCATE('a','b')"},
    {0x40, "LCASE('a')"},
    {0x80, "REPEAT('a',1)"},
    {0x100, "REPLACE('a','b','c')"},
    {0x200, "RIGHT('a',1)"},
    {0x400, "RTRIM('a')"},
    {0x800, "SUBSTRING('a',1,1)"},
    {0x1000, "UCASE('a')"},
    {0x2000, "ASCII('a')"},
    {0x4000, "CHAR(65)"},
    {0x8000, "DIFFERENCE('a','b')"},
    {0x10000, "LOCATE('a','b',1)"},
    {0x20000, "SOUNDEX('a')"},
    {0x40000, "SPACE(1)"},
    {0x80000, "BIT_LENGTH('a')"},
    {0x100000, "CHAR_LENGTH('a')"},
    {0x200000, "CHARACTER_LENGTH('a')"},
    {0x400000, "OCTET_LENGTH('a')"},
    {0x800000, "POSITION('a' IN 'b')"},
};
const Probe kSystemProbes[] = {
    {0x1, "USER()"},
    {0x2, "DATABASE()"},
    {0x4, "IFNULL(1,2)"},
};
const Probe kTimeDateProbes[] = {
    {0x1, "NOW()"},
    {0x2, "CURDATE()"},
    {0x4, "DAYOFMONTH('2000-01-01')"},
    {0x8, "DAYOFWEEK('2000-01-01')"},
    {0x10, "DAYOFYEAR('2000-01-01')"},
    {0x20, "MONTH('2000-01-01')"},
    {0x40, "QUARTER('2000-01-01')"},
    {0x80, "WEEK('2000-01-01')"},
    {0x100, "YEAR('2000-01-01')"},
    {0x200, "CURTIME()"},
    {0x400, "HOUR('2000-01-01')"},
    {0x800, "MINUTE('2000-01-01')"},
    {0x1000, "SECOND('2000-01-01')"},
    {0x2000, "TIMESTAMPADD(SQL_TSI_DAY,1,'2000-01-01')"},
    {0x4000, "TIMESTAMPDIFF(SQL_TSI_DAY,'2000-01-01','2000-01-02')"},
    {0x8000, "DAYNAME('2000-01-01')"},
    {0x10000, "MONTHNAME('2000-01-01')"},
    {0x20000, "CURRENT_DATE"},
    {0x40000, "CURRENT_TIME"},
    {0x80000, "CURRENT_TIMESTAMP"},
    {0x100000, "EXTRACT(YEAR FROM '2000-01-01')"},
};

template <size_t N>
int32_t ProbeMask(sqlite3* db, const Probe (&probes)[N]) {
  int32_t mask = 0;
  for (const Probe& p : probes) {
    StmtHandle stmt;
    if (PrepareHandle(db, std::string("SELECT ") + p.call, 0, stmt) ==
            SQLITE_OK &&
        stmt != nullptr) {
      mask |= p.bit;
    }
  }
  return mask;
}

struct FunctionMasks {
  int32_t numeric = 0, string = 0, system = 0, time_date = 0;
};

// The probes run inside one read transaction when the connection has none
// open: outside a transaction each compilation takes and drops the shared
// lock and reads the schema cookie again (a few system calls each), which
// made the probes most of a short process's time.
const FunctionMasks& Masks(sqlite3* db) {
  static std::once_flag once;
  static FunctionMasks masks;
  std::call_once(once, [db] {
    bool own = false;
    if (sqlite3_get_autocommit(db) != 0 &&
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {
      own = true;
      // Starts the read (the schema lock stays held until the end).
      sqlite3_exec(db, "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr, nullptr,
                   nullptr);
    }
    masks.numeric = ProbeMask(db, kNumericProbes);
    masks.string = ProbeMask(db, kStringProbes);
    masks.system = ProbeMask(db, kSystemProbes);
    masks.time_date = ProbeMask(db, kTimeDateProbes);
    if (own &&
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  });
  return masks;
}

// ---------------------------------------------------------------------------
// Values.

// Text and bytes are bound without a copy: the caller keeps `v` alive until
// the statement is reset and its bindings cleared.
void BindValue(sqlite3_stmt* stmt, int index, const Variant& v, sqlite3* db) {
  int rc = SQLITE_OK;
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case VarType::I2:
      rc = sqlite3_bind_int64(stmt, index, v.AsI2());
      break;
    case VarType::I4:
      rc = sqlite3_bind_int64(stmt, index, v.AsI4());
      break;
    case VarType::Byte:
      rc = sqlite3_bind_int64(stmt, index, v.AsByte());
      break;
    case VarType::Bool:
      rc = sqlite3_bind_int64(stmt, index, v.AsBool() ? 1 : 0);
      break;
    case VarType::R4:
      rc = sqlite3_bind_double(stmt, index, v.AsR4());
      break;
    case VarType::R8:
      rc = sqlite3_bind_double(stmt, index, v.AsR8());
      break;
    case VarType::Currency:
      rc = sqlite3_bind_double(
          stmt, index, static_cast<double>(v.AsCurrencyScaled()) / 10000.0);
      break;
    case VarType::Date: {
      std::string text = Variant::FormatDate(v.AsDate());
      rc = sqlite3_bind_text(stmt, index, text.c_str(),
                             static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case VarType::Text:
      rc =
          sqlite3_bind_text(stmt, index, v.AsText().c_str(),
                            static_cast<int>(v.AsText().size()), SQLITE_STATIC);
      break;
    case VarType::ByteArray:
      rc = sqlite3_bind_blob(stmt, index, v.AsBytes().data(),
                             static_cast<int>(v.AsBytes().size()),
                             SQLITE_STATIC);
      break;
    case VarType::Object:
      throw Error(err::kTypeMismatch, kSource,
                  "An object reference cannot be bound as a parameter value");
  }
  if (rc != SQLITE_OK) throw MakeError(rc, sqlite3_errmsg(db), false);
}

enum class DeclKind { None, Integer, Real, Text, DateText, Blob };

DeclKind KindOfDecl(const char* decl) {
  if (decl == nullptr || *decl == '\0') return DeclKind::None;
  std::string u = Upper(decl);
  if (Contains(u, "DATETEXT")) return DeclKind::DateText;
  if (Contains(u, "INT")) return DeclKind::Integer;
  if (Contains(u, "CHAR") || Contains(u, "CLOB") || Contains(u, "TEXT"))
    return DeclKind::Text;
  if (Contains(u, "BLOB")) return DeclKind::Blob;
  if (Contains(u, "REAL") || Contains(u, "FLOA") || Contains(u, "DOUB"))
    return DeclKind::Real;
  return DeclKind::None;
}

Variant ReadColumn(sqlite3_stmt* stmt, int col, DeclKind kind) {
  switch (sqlite3_column_type(stmt, col)) {
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(stmt, col);
      if (kind != DeclKind::Real && v >= INT32_MIN && v <= INT32_MAX) {
        return Variant::I4(static_cast<int32_t>(v));
      }
      return Variant::R8(static_cast<double>(v));
    }
    case SQLITE_FLOAT:
      return Variant::R8(sqlite3_column_double(stmt, col));
    case SQLITE_TEXT: {
      const char* text =
          reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
      std::string s(text, static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
      if (kind == DeclKind::DateText) {
        double date = 0;
        if (Variant::ParseDate(s, &date)) return Variant::Date(date);
      }
      return Variant::Text(std::move(s));
    }
    case SQLITE_BLOB: {
      const auto* data =
          static_cast<const uint8_t*>(sqlite3_column_blob(stmt, col));
      int n = sqlite3_column_bytes(stmt, col);
      return Variant::Bytes(std::vector<uint8_t>(data, data + n));
    }
    default:
      return Variant::Null();
  }
}

int32_t AdoTypeOfDecl(DeclKind kind) {
  switch (kind) {
    case DeclKind::Integer:
      return 3;
    case DeclKind::Real:
      return 5;
    case DeclKind::Text:
      return 202;
    case DeclKind::DateText:
      return 135;
    case DeclKind::Blob:
      return 205;
    case DeclKind::None:
      break;
  }
  return 0;
}

int32_t AdoTypeOfValue(const Variant& v) {
  switch (v.Type()) {
    case VarType::I4:
      return 3;
    case VarType::R8:
      return 5;
    case VarType::Date:
      return 135;
    case VarType::ByteArray:
      return 205;
    default:
      return 202;
  }
}

// ---------------------------------------------------------------------------
// The physical connection.

class SqliteConnection final : public PhysicalConnection,
                               private StatementExecutor {
 public:
  explicit SqliteConnection(const ConnectionParams& params) {
    path_ = params.Get("data source");
    if (path_.empty()) {
      throw Error(err::kDbFail, kSource,
                  "The connection string names no Data Source");
    }
    int busy_ms = kDefaultBusyTimeoutMs;
    std::string busy = params.Get("busy timeout");
    if (!busy.empty()) {
      auto [ptr, ec] =
          std::from_chars(busy.data(), busy.data() + busy.size(), busy_ms);
      if (ec != std::errc() || ptr != busy.data() + busy.size() ||
          busy_ms < 0) {
        throw Error(
            err::kDbFail, kSource,
            "Busy Timeout '" + busy + "' is not a number of milliseconds");
      }
    }
    struct stat before {};
    const bool stat_before = ::stat(path_.c_str(), &before) == 0;
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    db_handle_.reset(raw);
    db_ = raw;
    ++g_opened;
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      throw Error(err::kDbFail, kSource,
                  "Cannot open database '" + path_ + "': " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    busy_ms_ = busy_ms;
    sqlite3_busy_handler(db_, &SqliteConnection::OnBusy, this);
    try {
      Exec("PRAGMA foreign_keys = OFF");
      // Reads the schema now, so that a file that is not a database fails
      // here rather than at its first statement.
      Exec("PRAGMA schema_version");
      UseWriteAheadLog();
    } catch (const Error& e) {
      throw Error(e.number(), kSource,
                  "Cannot open database '" + path_ + "': " + e.description());
    }
    sqlite3_create_function_v2(db_, "LEN", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               LenFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "GETDATE", 0, SQLITE_UTF8, nullptr,
                               GetDateFunction, nullptr, nullptr, nullptr);
    // The file this handle has open is the one at the path before and after
    // the open (a file swapped in meanwhile leaves the connection unkept).
    struct stat after {};
    reusable_ = stat_before && ::stat(path_.c_str(), &after) == 0 &&
                after.st_dev == before.st_dev && after.st_ino == before.st_ino;
    file_dev_ = after.st_dev;
    file_ino_ = after.st_ino;
    sqlite3_set_authorizer(db_, &SqliteConnection::OnAuthorize, this);
  }

  // The statements are finalised before the database closes (members end
  // in reverse order); closing rolls back an open transaction.
  ~SqliteConnection() override = default;

  void Begin(bool for_write) override {
    if (for_write && !large_cache_) {
      Exec(kWriterCacheSize);
      large_cache_ = true;
    }
    Exec(for_write ? "BEGIN IMMEDIATE" : "BEGIN");
    read_transaction_ = !for_write;
  }
  void Commit() override {
    Exec("COMMIT");
    read_transaction_ = false;
  }
  void Rollback() override {
    read_transaction_ = false;
    if (InTransaction()) Exec("ROLLBACK");
  }
  bool InTransaction() const override {
    return sqlite3_get_autocommit(db_) == 0;
  }

  ResultSet Run(const std::string& text,
                const std::vector<BoundParam>& params) override {
    std::shared_ptr<const Script> script = ScriptFor(text);
    if (static_cast<size_t>(script->positional_count) != params.size()) {
      throw Error(err::kDbFail, kSource,
                  "The command text has " +
                      std::to_string(script->positional_count) +
                      " parameter markers but " +
                      std::to_string(params.size()) + " parameters were given");
    }
    if (script->writes && read_transaction_ && InTransaction()) {
      throw Error(err::kDbFail, kSource,
                  "A read transaction cannot run a text that writes");
    }
    // The values go into the storage kept from the last texts, one vector
    // for each of the last two counts (taken, so that a text run meanwhile
    // cannot share it): statements per row allocate nothing for them.
    if (spare_values_.size() != params.size()) {
      spare_values_.swap(spare_values_other_);
    }
    std::vector<Variant> values = std::move(spare_values_);
    values.resize(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
      CoerceParamInto(params[i], values[i]);
    }

    bool own_transaction = script->writes && !InTransaction();
    if (own_transaction) Begin(true);
    ScriptResult result;
    try {
      result = RunScript(*script, *this, values);
      if (own_transaction) Commit();
    } catch (...) {
      if (own_transaction) {
        try {
          Rollback();
        } catch (...) {
          // The original error is the one to report.
        }
      }
      throw;
    }

    spare_values_ = std::move(values);

    ResultSet out;
    out.has_rows = result.has_rows;
    out.records_affected = result.records_affected;
    out.columns.reserve(result.column_names.size());
    for (size_t i = 0; i < result.column_names.size(); ++i) {
      ColumnInfo c;
      c.name = std::move(result.column_names[i]);
      c.ado_type = i < result.column_types.size() ? result.column_types[i]
                                                  : ado_default_type_;
      out.columns.push_back(std::move(c));
    }
    out.rows = std::move(result.rows);
    return out;
  }

  // One statement that changes nothing: the script must be a single
  // statement to run, and SQLite must judge that statement read-only
  // (sqlite3_stmt_readonly) before it is stepped.
  ResultSet RunReadOnly(const std::string& text,
                        const std::vector<BoundParam>& params) override {
    std::shared_ptr<const Script> script = ScriptFor(text);
    if (script->nodes.size() != 1 ||
        script->nodes[0].kind != Node::Kind::Exec || script->writes) {
      throw Error(err::kDbFail, kSource,
                  "A read-only command must be a single statement that only "
                  "reads; this text holds other statements or writes");
    }
    read_only_ = true;
    struct ReadOnlyGuard {
      bool& flag;
      ~ReadOnlyGuard() { flag = false; }
    } guard{read_only_};
    return Run(text, params);
  }

  void RunNativeScript(const std::string& script) override {
    reusable_ = false;  // a native script may set anything on the session
    Exec(script.c_str());
  }

  // Kept by a reuse scope only as a new connection would be: no transaction,
  // no statement running, no text that set session state (the authorizer
  // marks those), and the file known.
  bool ReadyForReuse() override {
    if (!reusable_ || read_only_ || sqlite3_get_autocommit(db_) == 0) {
      return false;
    }
    for (sqlite3_stmt* s = sqlite3_next_stmt(db_, nullptr); s != nullptr;
         s = sqlite3_next_stmt(db_, s)) {
      if (sqlite3_stmt_busy(s)) return false;
    }
    return true;
  }

  // Still the file the path names: the handle keeps its file open, so the
  // file's device and inode numbers cannot pass to another file while it is
  // kept; a file deleted, or replaced by a rename, at the path fails the
  // comparison. A database left in another journal mode at the open (it was
  // open elsewhere) is switched now when it can be, as a new open would.
  bool Reopen() override {
    struct stat now {};
    if (::stat(path_.c_str(), &now) != 0 || now.st_dev != file_dev_ ||
        now.st_ino != file_ino_) {
      return false;
    }
    read_transaction_ = false;
    busy_waited_ms_ = 0;
    busy_noticed_ = false;
    if (!write_ahead_log_) UseWriteAheadLog();
    return true;
  }

  std::map<std::string, Variant> Properties() override {
    std::map<std::string, Variant> p;
    p["DBMS Name"] = Variant::Text("SQLite");
    p["DBMS Version"] = Variant::Text(sqlite3_libversion());
    p["Provider Name"] = Variant::Text("SQLite");
    // Only the first rowset of a batch is returned.
    p["Multiple Results"] = Variant::I4(0);
    p["Like Escape Clause"] = Variant::Text("Y");
    p["Integrity Enhancement Facility"] = Variant::Bool(true);
    return p;
  }

  std::vector<std::string> DeferredPropertyNames() const override {
    return {"Numeric Functions", "String Functions", "System Functions",
            "Time/Date Functions"};
  }

  Variant DeferredProperty(const std::string& name) override {
    const FunctionMasks& m = Masks(db_);
    if (name == "Numeric Functions") return Variant::I4(m.numeric);
    if (name == "String Functions") return Variant::I4(m.string);
    if (name == "System Functions") return Variant::I4(m.system);
    if (name == "Time/Date Functions") return Variant::I4(m.time_date);
    return Variant();
  }

  std::string ProviderName() const override { return kSource; }

 private:
  // Runs a statement that returns no values the caller needs.
  void Exec(const char* sql) {
    char* msg = nullptr;
    busy_waited_ms_ = 0;
    ++own_statements_;
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &msg);
    --own_statements_;
    if (rc != SQLITE_OK) {
      std::string text = msg ? msg : sqlite3_errstr(rc);
      sqlite3_free(msg);
      throw Failure(rc, text, false);
    }
  }

  // The error of a failed call; a lock that stayed taken says for how long
  // this connection waited for it.
  Error Failure(int rc, std::string message, bool compiling) {
    if ((rc & 0xff) == SQLITE_BUSY && busy_waited_ms_ > 0) {
      char waited[64];
      std::snprintf(waited, sizeof waited, "%.1f s", busy_waited_ms_ / 1000.0);
      message += " (waited " + std::string(waited) +
                 ", the busy timeout, for another connection to release "
                 "the database)";
    }
    return MakeError(rc, message, compiling);
  }

  // A new database, or one written by an older version of this provider,
  // is switched to the write-ahead log (a lasting property of the file): a
  // close then writes while other connections go on reading the committed
  // state, and a reader never holds up the close's commit. The switch needs
  // the database to itself; when another connection has it open the file
  // keeps its journal mode and a later open switches it.
  void UseWriteAheadLog() {
    if (JournalMode() == "wal") {
      write_ahead_log_ = true;
      return;
    }
    const int saved = busy_ms_;
    busy_ms_ = 0;
    char* msg = nullptr;
    ++own_statements_;
    sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, &msg);
    --own_statements_;
    sqlite3_free(msg);
    busy_ms_ = saved;
    write_ahead_log_ = JournalMode() == "wal";
  }

  std::string JournalMode() {
    struct Own {
      int& n;
      explicit Own(int& count) : n(count) { ++n; }
      ~Own() { --n; }
    } own(own_statements_);
    StmtHandle stmt;
    if (PrepareHandle(db_, "PRAGMA journal_mode", 0, stmt) != SQLITE_OK ||
        stmt == nullptr || sqlite3_step(stmt.get()) != SQLITE_ROW) {
      return "";
    }
    const unsigned char* mode = sqlite3_column_text(stmt.get(), 0);
    return mode != nullptr ? reinterpret_cast<const char*>(mode) : "";
  }

  // The authorizer, asked as each statement is compiled: lets everything
  // through, and marks the connection as not to be kept when a statement
  // not its own sets something that outlives the statement on this session
  // only (temporary objects, attached databases, pragmas).
  static int OnAuthorize(void* self, int action, const char* /*a*/,
                         const char* /*b*/, const char* /*db*/,
                         const char* /*trigger*/) {
    auto* c = static_cast<SqliteConnection*>(self);
    switch (action) {
      case SQLITE_CREATE_TEMP_INDEX:
      case SQLITE_CREATE_TEMP_TABLE:
      case SQLITE_CREATE_TEMP_TRIGGER:
      case SQLITE_CREATE_TEMP_VIEW:
      case SQLITE_ATTACH:
      case SQLITE_DETACH:
      case SQLITE_PRAGMA:
        if (c->own_statements_ == 0) c->reusable_ = false;
        break;
      default:
        break;
    }
    return SQLITE_OK;
  }

  // The busy handler: waits in growing steps up to the busy timeout, and
  // tells the wait notice once when a wait has lasted a while.
  static int OnBusy(void* self, int count) {
    auto* c = static_cast<SqliteConnection*>(self);
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    if (count == 0) {
      c->busy_since_ = now;
      c->busy_noticed_ = false;
    }
    const int64_t waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(now -
                                                              c->busy_since_)
            .count();
    c->busy_waited_ms_ = waited;
    if (waited >= c->busy_ms_) return 0;
    if (!c->busy_noticed_ && waited >= kWaitNoticeMs) {
      c->busy_noticed_ = true;
      NotifyWaiting(c->busy_ms_);
    }
    static constexpr int kSteps[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50};
    int step =
        count < static_cast<int>(std::size(kSteps)) ? kSteps[count] : 100;
    step = static_cast<int>(std::min<int64_t>(step, c->busy_ms_ - waited));
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return 1;
  }

  // The texts run last are compared first: a loop that sends the same few
  // texts row after row then finds them without hashing them.
  std::shared_ptr<const Script> ScriptFor(const std::string& text) {
    for (const RecentScript& r : recent_) {
      if (r.text != nullptr && *r.text == text) return r.script;
    }
    auto it = scripts_.find(text);
    if (it != scripts_.end()) {
      Remember(it->first, it->second);
      return it->second;
    }
    std::shared_ptr<const Script> script;
    try {
      script = tsql::TranslationMemo::Shared().Get(text, tsql::Dialect::kSqlite,
                                                   columns_, types_);
    } catch (Error& e) {
      e.set_source(kSource);
      throw;
    }
    if (scripts_.size() >= kMaxCachedScripts) {
      recent_ = {};
      scripts_.clear();
    }
    auto added = scripts_.emplace(text, script).first;
    Remember(added->first, script);
    return script;
  }

  void Remember(const std::string& text,
                const std::shared_ptr<const Script>& script) {
    recent_[recent_next_] = RecentScript{&text, script};
    recent_next_ = (recent_next_ + 1) % recent_.size();
  }

  // A prepared statement and what its result columns look like, read again
  // whenever SQLite has compiled the statement anew (a schema change).
  struct Prepared {
    StmtHandle stmt;
    int compiled = -1;  // SQLITE_STMTSTATUS_REPREPARE when read
    std::vector<DeclKind> kinds;
    std::vector<std::string> names;
  };

  Prepared& Prepare(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    if (statements_.size() >= kMaxCachedStatements) ClearStatements();
    StmtHandle stmt;
    int rc = PrepareHandle(db_, sql, SQLITE_PREPARE_PERSISTENT, stmt);
    if (rc != SQLITE_OK) throw MakeError(rc, sqlite3_errmsg(db_), true);
    if (stmt == nullptr) {
      throw Error(err::kDbSyntax, kSource, "Empty statement: " + sql);
    }
    ++g_prepared;
    Prepared& p = statements_[sql];
    p.stmt = std::move(stmt);
    return p;
  }

  void ClearStatements() { statements_.clear(); }

  // The declared kinds and names of the result columns as SQLite describes
  // them now.
  static void ReadColumns(Prepared& p) {
    const int compiled =
        sqlite3_stmt_status(p.stmt.get(), SQLITE_STMTSTATUS_REPREPARE, 0);
    if (compiled == p.compiled) return;
    const int ncol = sqlite3_column_count(p.stmt.get());
    p.kinds.assign(static_cast<size_t>(ncol), DeclKind::None);
    p.names.clear();
    for (int c = 0; c < ncol; ++c) {
      p.kinds[static_cast<size_t>(c)] =
          KindOfDecl(sqlite3_column_decltype(p.stmt.get(), c));
      const char* name = sqlite3_column_name(p.stmt.get(), c);
      p.names.emplace_back(name ? name : "");
    }
    p.compiled = compiled;
  }

  // StatementExecutor: runs one translated statement.
  StatementResult Execute(const Statement& statement,
                          const std::vector<Variant>& bound) override {
    Prepared& prepared = Prepare(statement.sql);
    sqlite3_stmt* stmt = prepared.stmt.get();
    if (read_only_ && !sqlite3_stmt_readonly(stmt)) {
      throw Error(err::kDbFail, kSource,
                  "A read-only command must be a single statement that only "
                  "reads; this statement would change the database");
    }
    struct ResetGuard {
      sqlite3_stmt* s;
      ~ResetGuard() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
      }
    } guard{stmt};

    int expected = sqlite3_bind_parameter_count(stmt);
    if (expected != static_cast<int>(bound.size())) {
      throw Error(err::kDbFail, kSource,
                  "Statement expects " + std::to_string(expected) +
                      " values but " + std::to_string(bound.size()) +
                      " were bound: " + statement.sql);
    }
    for (size_t i = 0; i < bound.size(); ++i) {
      BindValue(stmt, static_cast<int>(i) + 1, bound[i], db_);
    }

    FaultPoint();
    StatementResult result;
    ReadColumns(prepared);
    const std::vector<DeclKind>& kinds = prepared.kinds;
    const int ncol = static_cast<int>(kinds.size());
    result.has_rows = ncol > 0;
    result.column_names = prepared.names;
    // sqlite3_changes64 keeps the count of the last INSERT, UPDATE or DELETE,
    // so it only counts for this statement when the total moved.
    const sqlite3_int64 total_before = sqlite3_total_changes64(db_);
    busy_waited_ms_ = 0;
    for (;;) {
      int rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) {
        std::vector<Variant> row;
        row.reserve(static_cast<size_t>(ncol));
        for (int c = 0; c < ncol; ++c) {
          row.push_back(ReadColumn(stmt, c, kinds[c]));
        }
        result.rows.push_back(std::move(row));
      } else if (rc == SQLITE_DONE) {
        break;
      } else {
        throw Failure(rc, sqlite3_errmsg(db_), false);
      }
    }
    result.column_types.resize(static_cast<size_t>(ncol));
    for (int c = 0; c < ncol; ++c) {
      int32_t type = AdoTypeOfDecl(kinds[c]);
      if (type == 0) {
        type = ado_default_type_;
        for (const auto& row : result.rows) {
          if (!row[c].IsNull()) {
            type = AdoTypeOfValue(row[c]);
            break;
          }
        }
      }
      result.column_types[c] = type;
    }
    if (sqlite3_total_changes64(db_) != total_before) {
      result.changes = sqlite3_changes64(db_);
    }
    return result;
  }

  static constexpr int32_t ado_default_type_ = 202;
  std::string path_;
  DbHandle db_handle_;
  sqlite3* db_ = nullptr;          // db_handle_.get()
  bool read_only_ = false;         // inside RunReadOnly
  bool large_cache_ = false;       // kWriterCacheSize set
  bool read_transaction_ = false;  // begun with Begin(false)
  int busy_ms_ = kDefaultBusyTimeoutMs;
  std::chrono::steady_clock::time_point busy_since_;
  int64_t busy_waited_ms_ = 0;  // of the last wait
  bool busy_noticed_ = false;
  // Reuse (ReadyForReuse, Reopen): the file opened, whether anything rules
  // the connection out, and whether a statement of its own is compiling.
  dev_t file_dev_ = 0;
  ino_t file_ino_ = 0;
  bool reusable_ = false;
  bool write_ahead_log_ = false;  // the journal mode was "wal" when last read
  int own_statements_ = 0;
  // Whether a table of this database has a column (views answer no), for the
  // translation's rewrites; names are resolved as a statement resolves them.
  tsql::ColumnLookup columns_ = [this](std::string_view table,
                                       std::string_view column) {
    const std::string t(table);
    const std::string c(column);
    return sqlite3_table_column_metadata(db_, nullptr, t.c_str(), c.c_str(),
                                         nullptr, nullptr, nullptr, nullptr,
                                         nullptr) == SQLITE_OK;
  };
  // The declared type and collation of a table's column (views answer
  // nothing), for the rewrites that depend on how a column compares.
  tsql::ColumnTypeLookup types_ =
      [this](std::string_view table,
             std::string_view column) -> std::optional<tsql::ColumnType> {
    const std::string t(table);
    const std::string c(column);
    const char* declared = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db_, nullptr, t.c_str(), c.c_str(),
                                      &declared, &collation, nullptr, nullptr,
                                      nullptr) != SQLITE_OK) {
      return std::nullopt;
    }
    return tsql::ColumnType{declared != nullptr ? declared : "",
                            collation != nullptr ? collation : ""};
  };
  std::unordered_map<std::string, std::shared_ptr<const Script>> scripts_;
  // The last texts looked up; `text` points at a key of scripts_.
  struct RecentScript {
    const std::string* text = nullptr;
    std::shared_ptr<const Script> script;
  };
  std::array<RecentScript, 4> recent_;
  size_t recent_next_ = 0;
  std::unordered_map<std::string, Prepared> statements_;
  std::vector<Variant> spare_values_;  // see Run
  std::vector<Variant> spare_values_other_;
};

class SqliteProvider final : public Provider {
 public:
  std::string Name() const override { return kSource; }
  std::unique_ptr<PhysicalConnection> Open(
      const ConnectionParams& params) override {
    return std::make_unique<SqliteConnection>(params);
  }
};

}  // namespace

std::shared_ptr<Provider> MakeSqliteProvider() {
  return std::make_shared<SqliteProvider>();
}

int64_t StatementsPrepared() { return g_prepared.load(); }

int64_t ConnectionsOpened() { return g_opened.load(); }

}  // namespace marl::data::sqlite
