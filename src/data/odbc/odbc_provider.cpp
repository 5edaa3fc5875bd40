// The ODBC provider (see odbc_provider.h).
#include "data/odbc/odbc_provider.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/odbc/odbc_support.h"
#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"
#include "data/tsql/translation_memo.h"
#include "marlcheckout/error.h"

namespace marl::data::odbc {
namespace {

using tsql::Dialect;
using tsql::Node;
using tsql::RunScript;
using tsql::Script;
using tsql::ScriptResult;
using tsql::Statement;
using tsql::StatementExecutor;
using tsql::StatementResult;

constexpr size_t kMaxCachedScripts = 512;
constexpr size_t kMaxCachedStatements = 256;

constexpr const char* kPostgresWriterLock =
    "SELECT pg_advisory_xact_lock(84938386195279)";
constexpr const char* kSqlServerWriterLock =
    "DECLARE @r int\r\n"
    "EXEC @r = sp_getapplock @Resource = N'MarlCheckOut.Writer', "
    "@LockMode = N'Exclusive', @LockOwner = N'Transaction', "
    "@LockTimeout = -1\r\n"
    "IF @r < 0 RAISERROR(N'The writer lock MarlCheckOut.Writer was not "
    "granted', 16, 1)";
constexpr const char* kReadOnlySavepoint = "marl_read_only";

enum class Mode { kSqlServer, kPostgres, kSqlite };

bool Ok(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The spellings of every text run in this process (see the header: columns
// a star brings in).
struct ProcessSpellings {
  std::mutex mu;
  Spellings spellings;
};
ProcessSpellings& Learned() {
  static ProcessSpellings* learned = new ProcessSpellings();  // used at exit
  return *learned;
}

// ---------------------------------------------------------------------------
// Parameters.

// One bound value and the buffers SQLBindParameter points into; they live
// until the statement has run.
struct ParamBuffer {
  SQLSMALLINT c_type = SQL_C_WCHAR;
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN column_size = 1;
  SQLSMALLINT digits = 0;
  SQLINTEGER integer = 0;
  double real = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  WideText wide;
  std::vector<uint8_t> bytes;
  SQLLEN indicator = 0;

  SQLPOINTER data() {
    switch (c_type) {
      case SQL_C_SLONG:
        return &integer;
      case SQL_C_DOUBLE:
        return &real;
      case SQL_C_TYPE_TIMESTAMP:
        return &timestamp;
      case SQL_C_BINARY:
        return bytes.data();
      default:
        return wide.data();
    }
  }
  SQLLEN buffer_length() const {
    switch (c_type) {
      case SQL_C_WCHAR:
        return static_cast<SQLLEN>(wide.size() * sizeof(SQLWCHAR));
      case SQL_C_BINARY:
        return static_cast<SQLLEN>(bytes.size());
      default:
        return 0;
    }
  }
};

void SetText(ParamBuffer& b, const std::string& text) {
  b.c_type = SQL_C_WCHAR;
  b.sql_type = SQL_WVARCHAR;
  b.wide = Widen(text);
  b.indicator = static_cast<SQLLEN>(b.wide.size() * sizeof(SQLWCHAR));
  b.column_size = std::max<SQLULEN>(b.wide.size(), 1);
  b.wide.push_back(0);
}

ParamBuffer MakeParam(const Variant& v, Mode mode) {
  ParamBuffer b;
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
      b.wide.assign(1, 0);
      b.indicator = SQL_NULL_DATA;
      break;
    case VarType::I2:
    case VarType::I4:
    case VarType::Byte:
    case VarType::Bool:
      b.c_type = SQL_C_SLONG;
      b.sql_type = SQL_INTEGER;
      b.column_size = 10;
      b.integer = v.ToInt32();
      break;
    case VarType::R4:
    case VarType::R8:
    case VarType::Currency:
      b.c_type = SQL_C_DOUBLE;
      b.sql_type = SQL_DOUBLE;
      b.column_size = 15;
      b.real = v.ToDouble();
      break;
    case VarType::Date: {
      if (mode == Mode::kSqlite) {  // the canonical text, as stored there
        SetText(b, Variant::FormatDate(v.AsDate()));
        break;
      }
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
      Variant::SplitDate(v.AsDate(), &y, &mo, &d, &h, &mi, &s);
      b.c_type = SQL_C_TYPE_TIMESTAMP;
      b.sql_type = SQL_TYPE_TIMESTAMP;
      b.column_size = 19;
      b.timestamp.year = static_cast<SQLSMALLINT>(y);
      b.timestamp.month = static_cast<SQLUSMALLINT>(mo);
      b.timestamp.day = static_cast<SQLUSMALLINT>(d);
      b.timestamp.hour = static_cast<SQLUSMALLINT>(h);
      b.timestamp.minute = static_cast<SQLUSMALLINT>(mi);
      b.timestamp.second = static_cast<SQLUSMALLINT>(s);
      break;
    }
    case VarType::Text:
      SetText(b, v.AsText());
      break;
    case VarType::ByteArray:
      b.c_type = SQL_C_BINARY;
      b.sql_type = SQL_VARBINARY;
      b.bytes = v.AsBytes();
      b.indicator = static_cast<SQLLEN>(b.bytes.size());
      b.column_size = std::max<SQLULEN>(b.bytes.size(), 1);
      if (b.bytes.empty()) b.bytes.push_back(0);
      break;
    case VarType::Object:
      throw Error(err::kTypeMismatch, kSource,
                  "An object reference cannot be bound as a parameter value");
  }
  return b;
}

// ---------------------------------------------------------------------------
// Result columns.

enum class ReadAs {
  kInteger,
  kNumeric,
  kDouble,
  kText,
  kDateText,
  kDate,
  kBinary
};

struct Column {
  std::string name;  // as the driver reports it
  ReadAs read = ReadAs::kText;
};

ReadAs ReadAsFor(SQLSMALLINT type, const std::string& type_name, Mode mode) {
  if (mode == Mode::kSqlite && tsql::detail::AsciiLower(type_name).find(
                                   "datetext") != std::string::npos) {
    return ReadAs::kDateText;
  }
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ReadAs::kInteger;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ReadAs::kNumeric;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ReadAs::kDouble;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
      return ReadAs::kDate;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ReadAs::kBinary;
    default:
      return ReadAs::kText;
  }
}

int32_t AdoTypeOf(ReadAs read, const std::vector<std::vector<Variant>>& rows,
                  size_t col) {
  switch (read) {
    case ReadAs::kInteger:
      return 3;
    case ReadAs::kDouble:
      return 5;
    case ReadAs::kNumeric:
      for (const auto& row : rows) {
        if (row[col].IsNull()) continue;
        if (row[col].Type() != VarType::I4) return 5;
      }
      return rows.empty() ? 5 : 3;
    case ReadAs::kDate:
    case ReadAs::kDateText:
      return 135;
    case ReadAs::kBinary:
      return 205;
    case ReadAs::kText:
      break;
  }
  return 202;
}

Variant OfInteger(int64_t v) {
  if (v >= INT32_MIN && v <= INT32_MAX) {
    return Variant::I4(static_cast<int32_t>(v));
  }
  return Variant::R8(static_cast<double>(v));
}

// "12" as 12 (I4 when it fits), "12.50" or "1e3" as a double.
Variant OfNumericText(const std::string& s) {
  if (s.find_first_of(".eE") == std::string::npos) {
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc() && ptr == s.data() + s.size()) return OfInteger(v);
  }
  return Variant::R8(std::strtod(s.c_str(), nullptr));
}

// ---------------------------------------------------------------------------
// The connection handle: disconnected, then freed, before its environment.

class Dbc {
 public:
  Dbc() {
    SQLHANDLE env = nullptr;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
      throw Error(err::kDbFail, kSource, "Cannot allocate an ODBC environment");
    }
    env_.reset(env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHANDLE dbc = nullptr;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
      throw MakeError(ReadDiagnostics(SQL_HANDLE_ENV, env), false,
                      "Cannot allocate an ODBC connection");
    }
    dbc_ = dbc;
  }
  ~Dbc() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  Dbc(const Dbc&) = delete;
  Dbc& operator=(const Dbc&) = delete;

  SQLHDBC get() const { return dbc_; }

  void Connect(const std::string& connection_string) {
    std::string cs = connection_string;
    SQLCHAR out[1024];
    SQLSMALLINT out_length = 0;
    SQLRETURN rc = SQLDriverConnect(
        dbc_, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out,
        sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) {
      throw MakeError(ReadDiagnostics(SQL_HANDLE_DBC, dbc_), false);
    }
    connected_ = true;
  }

 private:
  EnvHandle env_;
  SQLHDBC dbc_ = nullptr;
  bool connected_ = false;
};

// ---------------------------------------------------------------------------
// The physical connection.

class OdbcConnection final : public PhysicalConnection,
                             private StatementExecutor {
 public:
  explicit OdbcConnection(const ConnectionParams& params) {
    dbc_.Connect(params.text);
    const std::string dbms = InfoText(SQL_DBMS_NAME);
    const std::string lower = tsql::detail::AsciiLower(dbms);
    if (lower.find("postgresql") != std::string::npos) {
      mode_ = Mode::kPostgres;
      dialect_ = Dialect::kPostgres;
    } else if (lower.find("sqlite") != std::string::npos) {
      mode_ = Mode::kSqlite;
      dialect_ = Dialect::kSqliteOdbc;
    } else if (lower.find("sql server") != std::string::npos) {
      mode_ = Mode::kSqlServer;
    } else {
      throw Error(err::kDbFail, kSource,
                  "The ODBC data source's DBMS '" + dbms +
                      "' is not supported (SQL Server, PostgreSQL or SQLite)");
    }
  }

  // Statements are freed before the connection handle (members end in
  // reverse order); disconnecting rolls back an open transaction.
  ~OdbcConnection() override {
    statements_.clear();
    if (in_tx_) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    }
  }

  void Begin(bool for_write) override {
    if (in_tx_) {
      throw Error(err::kDbFail, kSource, "A transaction is already open");
    }
    if (mode_ == Mode::kSqlite) {
      Exec(for_write ? "BEGIN IMMEDIATE" : "BEGIN");
      in_tx_ = true;
      return;
    }
    SetAutocommit(false);
    in_tx_ = true;
    if (!for_write) return;
    try {
      Exec(mode_ == Mode::kPostgres ? kPostgresWriterLock
                                    : kSqlServerWriterLock);
    } catch (...) {
      EndAfterError();
      throw;
    }
  }

  void Commit() override { End(true); }

  void Rollback() override {
    if (in_tx_) End(false);
  }

  bool InTransaction() const override { return in_tx_; }

  ResultSet Run(const std::string& text,
                const std::vector<BoundParam>& params) override {
    std::shared_ptr<Entry> entry = EntryFor(text);
    std::vector<Variant> values;
    values.reserve(params.size());
    for (const BoundParam& p : params) values.push_back(CoerceParam(p));
    if (entry->script &&
        static_cast<size_t>(entry->script->positional_count) != params.size()) {
      throw Error(err::kDbFail, kSource,
                  "The command text has " +
                      std::to_string(entry->script->positional_count) +
                      " parameter markers but " +
                      std::to_string(params.size()) + " parameters were given");
    }
    const bool own_transaction = entry->writes && !in_tx_;
    if (own_transaction) Begin(true);
    ScriptResult result;
    try {
      current_ = entry.get();
      if (mode_ == Mode::kSqlServer) {
        result = RunWhole(text, values);
      } else {
        result = RunScript(*entry->script, *this, values);
      }
      current_ = nullptr;
      if (own_transaction) Commit();
    } catch (Error& e) {
      current_ = nullptr;
      if (e.source() == tsql::detail::kFrontEndSource) e.set_source(kSource);
      EndAfterError();
      throw;
    } catch (...) {
      current_ = nullptr;
      EndAfterError();
      throw;
    }
    return ToResultSet(std::move(result));
  }

  ResultSet RunReadOnly(const std::string& text,
                        const std::vector<BoundParam>& params) override {
    std::shared_ptr<Entry> entry = EntryFor(text);
    const Script* script = entry->script.get();
    if (script == nullptr) script = entry->kind.get();
    if (script == nullptr || script->nodes.size() != 1 ||
        script->nodes[0].kind != Node::Kind::Exec || script->writes) {
      throw Error(err::kDbFail, kSource,
                  "A read-only command must be a single statement that only "
                  "reads; this text holds other statements or writes");
    }
    switch (mode_) {
      case Mode::kSqlServer:
        return Run(text, params);
      case Mode::kSqlite: {
        Exec("PRAGMA query_only = 1");
        struct Restore {
          OdbcConnection* c;
          ~Restore() {
            try {
              c->Exec("PRAGMA query_only = 0");
            } catch (...) {
              // The connection ends with the error already raised.
            }
          }
        } restore{this};
        return Run(text, params);
      }
      case Mode::kPostgres:
        break;
    }
    if (!in_tx_) {
      Begin(false);
      try {
        Exec("SET TRANSACTION READ ONLY");
        ResultSet rs = Run(text, params);
        End(false);
        return rs;
      } catch (...) {
        EndAfterError();
        throw;
      }
    }
    const std::string sp = kReadOnlySavepoint;
    Exec("SAVEPOINT " + sp);
    Exec("SET LOCAL transaction_read_only = on");
    ResultSet rs = Run(text, params);  // an error ends the transaction
    Exec("ROLLBACK TO SAVEPOINT " + sp);
    Exec("RELEASE SAVEPOINT " + sp);
    return rs;
  }

  // The script goes to the driver whole (one SQLExecDirect, every result
  // walked); the server splits it. An error inside a transaction ends it
  // rolled back, as for any other text.
  void RunNativeScript(const std::string& script) override {
    try {
      StmtHandle stmt = NewStatement();
      SQLRETURN rc = ExecDirect(stmt.get(), script);
      while (rc != SQL_NO_DATA) {
        if (!Ok(rc)) throw StatementError(stmt.get(), "");
        rc = SQLMoreResults(stmt.get());
      }
    } catch (...) {
      EndAfterError();
      throw;
    }
  }

  std::map<std::string, Variant> Properties() override {
    std::map<std::string, Variant> p;
    auto text = [&](const char* name, SQLUSMALLINT info) {
      std::string v = InfoText(info);
      if (!v.empty()) p[name] = Variant::Text(v);
    };
    auto mask = [&](const char* name, SQLUSMALLINT info) {
      SQLUINTEGER v = 0;
      if (Ok(SQLGetInfo(dbc_.get(), info, &v, sizeof v, nullptr))) {
        p[name] = Variant::I4(static_cast<int32_t>(v));
      }
    };
    text("DBMS Name", SQL_DBMS_NAME);
    text("DBMS Version", SQL_DBMS_VER);
    text("Provider Name", SQL_DRIVER_NAME);
    text("Like Escape Clause", SQL_LIKE_ESCAPE_CLAUSE);
    std::string multiple = InfoText(SQL_MULT_RESULT_SETS);
    if (!multiple.empty()) {
      p["Multiple Results"] = Variant::I4(multiple == "Y" ? 1 : 0);
    }
    std::string integrity = InfoText(SQL_INTEGRITY);
    if (!integrity.empty()) {
      p["Integrity Enhancement Facility"] = Variant::Bool(integrity == "Y");
    }
    mask("Numeric Functions", SQL_NUMERIC_FUNCTIONS);
    mask("String Functions", SQL_STRING_FUNCTIONS);
    mask("System Functions", SQL_SYSTEM_FUNCTIONS);
    mask("Time/Date Functions", SQL_TIMEDATE_FUNCTIONS);
    return p;
  }

  std::string ProviderName() const override { return kSource; }

 private:
  // What a text turns into, kept per connection: the translated script
  // (PostgreSQL, SQLite), or for SQL Server the script only as a statement
  // classification (null when the front end refuses the text, which is then
  // taken to write); and the spellings of its names.
  struct Entry {
    std::shared_ptr<const Script> script;  // the statements to run
    std::shared_ptr<const Script> kind;    // SQL Server: classification only
    bool writes = true;
    Spellings spellings;
  };

  // A prepared statement and its result columns (read at its first run).
  struct Prepared {
    StmtHandle stmt;
    std::vector<Column> columns;
  };

  std::string InfoText(SQLUSMALLINT info) {
    SQLCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!Ok(SQLGetInfo(dbc_.get(), info, buffer, sizeof buffer, &length))) {
      return "";
    }
    return std::string(
        reinterpret_cast<char*>(buffer),
        std::min<size_t>(std::max<SQLSMALLINT>(length, 0), sizeof buffer - 1));
  }

  void SetAutocommit(bool on) {
    SQLRETURN rc =
        SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                              on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                          SQL_IS_UINTEGER);
    if (!Ok(rc)) {
      throw MakeError(ReadDiagnostics(SQL_HANDLE_DBC, dbc_.get()), sqlite());
    }
  }

  bool sqlite() const { return mode_ == Mode::kSqlite; }

  // Ends the open transaction; on failure of a commit the transaction is
  // rolled back and the error raised.
  void End(bool commit) {
    if (!in_tx_) {
      throw Error(err::kDbFail, kSource, "No transaction is open");
    }
    if (mode_ == Mode::kSqlite) {
      in_tx_ = false;
      try {
        Exec(commit ? "COMMIT" : "ROLLBACK");
      } catch (...) {
        if (commit) TryExec("ROLLBACK");
        throw;
      }
      return;
    }
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(),
                              commit ? SQL_COMMIT : SQL_ROLLBACK);
    in_tx_ = false;
    if (!Ok(rc)) {
      Error e =
          MakeError(ReadDiagnostics(SQL_HANDLE_DBC, dbc_.get()), sqlite());
      if (commit) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
      SetAutocommit(true);
      throw e;
    }
    SetAutocommit(true);
  }

  // After an error: the open transaction ends rolled back; errors of the
  // rollback itself give way to the error being raised.
  void EndAfterError() {
    if (!in_tx_) return;
    try {
      End(false);
    } catch (...) {
      in_tx_ = false;
    }
  }

  void TryExec(const std::string& sql) {
    try {
      Exec(sql);
    } catch (...) {
      // The caller raises the error that matters.
    }
  }

  StmtHandle NewStatement() {
    SQLHANDLE stmt = nullptr;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.get(), &stmt))) {
      throw MakeError(ReadDiagnostics(SQL_HANDLE_DBC, dbc_.get()), sqlite());
    }
    return StmtHandle(stmt);
  }

  Error StatementError(SQLHSTMT stmt, const std::string& sql) {
    return MakeError(ReadDiagnostics(SQL_HANDLE_STMT, stmt), sqlite(),
                     sql.empty() ? "" : "While running: " + sql);
  }

  // Runs a statement whose results are not needed.
  void Exec(const std::string& sql) {
    StmtHandle stmt = NewStatement();
    SQLRETURN rc = ExecDirect(stmt.get(), sql);
    while (rc != SQL_NO_DATA) {
      if (!Ok(rc)) throw StatementError(stmt.get(), sql);
      rc = SQLMoreResults(stmt.get());
    }
  }

  SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& sql) {
    if (mode_ == Mode::kSqlite) {
      std::string copy = sql;
      return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(copy.data()),
                           static_cast<SQLINTEGER>(copy.size()));
    }
    WideText wide = Widen(sql);
    return SQLExecDirectW(stmt, wide.data(),
                          static_cast<SQLINTEGER>(wide.size()));
  }

  SQLRETURN PrepareText(SQLHSTMT stmt, const std::string& sql) {
    if (mode_ == Mode::kSqlite) {
      std::string copy = sql;
      return SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(copy.data()),
                        static_cast<SQLINTEGER>(copy.size()));
    }
    WideText wide = Widen(sql);
    return SQLPrepareW(stmt, wide.data(), static_cast<SQLINTEGER>(wide.size()));
  }

  std::shared_ptr<Entry> EntryFor(const std::string& text) {
    for (const Recent& r : recent_) {
      if (r.text != nullptr && *r.text == text) return r.entry;
    }
    auto it = entries_.find(text);
    if (it == entries_.end()) {
      auto entry = std::make_shared<Entry>();
      if (mode_ == Mode::kSqlServer) {
        try {
          entry->kind = tsql::TranslationMemo::Shared().Get(
              text, Dialect::kSqlite, {}, {});
          entry->writes = entry->kind->writes;
        } catch (const Error&) {
          entry->writes = true;  // sent as written all the same
        }
      } else {
        try {
          entry->script =
              tsql::TranslationMemo::Shared().Get(text, dialect_, {}, {});
        } catch (Error& e) {
          e.set_source(kSource);
          throw;
        }
        entry->writes = entry->script->writes;
      }
      if (mode_ == Mode::kPostgres) {
        entry->spellings.Remember(text);
        std::lock_guard<std::mutex> lock(Learned().mu);
        Learned().spellings.Remember(text);
      }
      if (entries_.size() >= kMaxCachedScripts) {
        recent_ = {};
        entries_.clear();
      }
      it = entries_.emplace(text, std::move(entry)).first;
    }
    recent_[recent_next_] = Recent{&it->first, it->second};
    recent_next_ = (recent_next_ + 1) % recent_.size();
    return it->second;
  }

  std::string Spell(const std::string& reported) const {
    if (mode_ != Mode::kPostgres) return reported;
    if (current_ != nullptr) {
      std::string s = current_->spellings.Spell(reported);
      if (s != reported) return s;
    }
    std::lock_guard<std::mutex> lock(Learned().mu);
    return Learned().spellings.Spell(reported);
  }

  Prepared& PrepareCached(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    if (statements_.size() >= kMaxCachedStatements) statements_.clear();
    StmtHandle stmt = NewStatement();
    if (!Ok(PrepareText(stmt.get(), sql))) {
      throw StatementError(stmt.get(), sql);
    }
    Prepared& p = statements_[sql];
    p.stmt = std::move(stmt);
    return p;
  }

  void Bind(SQLHSTMT stmt, std::vector<ParamBuffer>& buffers) {
    for (size_t i = 0; i < buffers.size(); ++i) {
      ParamBuffer& b = buffers[i];
      SQLRETURN rc =
          SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1),
                           SQL_PARAM_INPUT, b.c_type, b.sql_type, b.column_size,
                           b.digits, b.data(), b.buffer_length(), &b.indicator);
      if (!Ok(rc)) throw StatementError(stmt, "");
    }
  }

  std::vector<Column> Describe(SQLHSTMT stmt, SQLSMALLINT ncol) {
    std::vector<Column> cols;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(ncol); ++c) {
      SQLWCHAR name[256] = {};
      SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (!Ok(SQLDescribeColW(stmt, c, name, 256, &name_length, &type, &size,
                              &digits, &nullable))) {
        throw StatementError(stmt, "");
      }
      std::string type_name;
      if (mode_ == Mode::kSqlite) {
        SQLCHAR tn[128] = {};
        SQLSMALLINT tl = 0;
        if (Ok(SQLColAttribute(stmt, c, SQL_DESC_TYPE_NAME, tn, sizeof tn, &tl,
                               nullptr))) {
          type_name = reinterpret_cast<char*>(tn);
        }
      }
      Column col;
      col.name = Narrow(
          name, std::min<size_t>(std::max<SQLSMALLINT>(name_length, 0), 255));
      col.read = ReadAsFor(type, type_name, mode_);
      cols.push_back(std::move(col));
    }
    return cols;
  }

  Variant ReadText(SQLHSTMT stmt, SQLUSMALLINT col) {
    WideText all;
    std::array<SQLWCHAR, 512> buf{};
    for (;;) {
      SQLLEN ind = 0;
      SQLRETURN rc =
          SQLGetData(stmt, col, SQL_C_WCHAR, buf.data(), sizeof buf, &ind);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) throw StatementError(stmt, "");
      if (ind == SQL_NULL_DATA) return Variant::Null();
      const size_t room = buf.size() - 1;
      const bool more = ind == SQL_NO_TOTAL ||
                        static_cast<size_t>(ind) / sizeof(SQLWCHAR) > room;
      const size_t units =
          more ? room : static_cast<size_t>(ind) / sizeof(SQLWCHAR);
      all.insert(all.end(), buf.begin(), buf.begin() + units);
      if (!more) break;
    }
    return Variant::Text(Narrow(all.data(), all.size()));
  }

  Variant ReadBinary(SQLHSTMT stmt, SQLUSMALLINT col) {
    std::vector<uint8_t> all;
    std::array<uint8_t, 4096> buf{};
    for (;;) {
      SQLLEN ind = 0;
      SQLRETURN rc =
          SQLGetData(stmt, col, SQL_C_BINARY, buf.data(), sizeof buf, &ind);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) throw StatementError(stmt, "");
      if (ind == SQL_NULL_DATA) return Variant::Null();
      const bool more =
          ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > buf.size();
      const size_t n = more ? buf.size() : static_cast<size_t>(ind);
      all.insert(all.end(), buf.begin(), buf.begin() + n);
      if (!more) break;
    }
    return Variant::Bytes(std::move(all));
  }

  Variant ReadValue(SQLHSTMT stmt, SQLUSMALLINT col, ReadAs read) {
    SQLLEN ind = 0;
    switch (read) {
      case ReadAs::kInteger: {
        SQLBIGINT v = 0;
        if (!Ok(SQLGetData(stmt, col, SQL_C_SBIGINT, &v, sizeof v, &ind))) {
          throw StatementError(stmt, "");
        }
        return ind == SQL_NULL_DATA ? Variant::Null() : OfInteger(v);
      }
      case ReadAs::kDouble: {
        double v = 0;
        if (!Ok(SQLGetData(stmt, col, SQL_C_DOUBLE, &v, sizeof v, &ind))) {
          throw StatementError(stmt, "");
        }
        return ind == SQL_NULL_DATA ? Variant::Null() : Variant::R8(v);
      }
      case ReadAs::kNumeric: {
        char v[128] = {};
        if (!Ok(SQLGetData(stmt, col, SQL_C_CHAR, v, sizeof v, &ind))) {
          throw StatementError(stmt, "");
        }
        return ind == SQL_NULL_DATA ? Variant::Null() : OfNumericText(v);
      }
      case ReadAs::kDate: {
        SQL_TIMESTAMP_STRUCT ts{};
        if (!Ok(SQLGetData(stmt, col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts,
                           &ind))) {
          throw StatementError(stmt, "");
        }
        if (ind == SQL_NULL_DATA) return Variant::Null();
        double date = Variant::MakeDate(ts.year, ts.month, ts.day, ts.hour,
                                        ts.minute, ts.second);
        return Variant::Date(date + ts.fraction / 1e9 / 86400.0);
      }
      case ReadAs::kDateText: {
        Variant v = ReadText(stmt, col);
        double date = 0;
        if (v.Type() == VarType::Text &&
            Variant::ParseDate(v.AsText(), &date)) {
          return Variant::Date(date);
        }
        return v;
      }
      case ReadAs::kBinary:
        return ReadBinary(stmt, col);
      case ReadAs::kText:
        break;
    }
    return ReadText(stmt, col);
  }

  // Reads the current result of `stmt` into `out` (rows when it has
  // columns, else its row count); `columns` is filled when empty.
  void ReadResult(SQLHSTMT stmt, std::vector<Column>& columns,
                  StatementResult& out) {
    SQLSMALLINT ncol = 0;
    if (!Ok(SQLNumResultCols(stmt, &ncol))) throw StatementError(stmt, "");
    if (ncol == 0) {
      SQLLEN count = -1;
      if (Ok(SQLRowCount(stmt, &count)) && count > 0) out.changes += count;
      return;
    }
    if (columns.size() != static_cast<size_t>(ncol)) {
      columns = Describe(stmt, ncol);
    }
    out.has_rows = true;
    out.column_names.clear();
    for (const Column& c : columns) out.column_names.push_back(Spell(c.name));
    for (;;) {
      SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) throw StatementError(stmt, "");
      std::vector<Variant> row;
      row.reserve(columns.size());
      for (size_t c = 0; c < columns.size(); ++c) {
        row.push_back(
            ReadValue(stmt, static_cast<SQLUSMALLINT>(c + 1), columns[c].read));
      }
      out.rows.push_back(std::move(row));
    }
    out.column_types.resize(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
      out.column_types[c] = AdoTypeOf(columns[c].read, out.rows, c);
    }
  }

  // StatementExecutor: one translated statement, prepared once.
  StatementResult Execute(const Statement& statement,
                          const std::vector<Variant>& bound) override {
    FaultPoint();
    Prepared& p = PrepareCached(statement.sql);
    SQLHSTMT stmt = p.stmt.get();
    struct Reset {
      SQLHSTMT s;
      ~Reset() {
        SQLFreeStmt(s, SQL_CLOSE);
        SQLFreeStmt(s, SQL_RESET_PARAMS);
      }
    } reset{stmt};
    std::vector<ParamBuffer> buffers;
    buffers.reserve(bound.size());
    for (const Variant& v : bound) buffers.push_back(MakeParam(v, mode_));
    Bind(stmt, buffers);
    StatementResult result;
    SQLRETURN rc = SQLExecute(stmt);
    // SQL_NO_DATA: a write that touched no row; results may still follow.
    if (rc == SQL_NO_DATA) rc = SQLMoreResults(stmt);
    while (rc != SQL_NO_DATA) {
      if (!Ok(rc)) throw StatementError(stmt, statement.sql);
      ReadResult(stmt, p.columns, result);
      rc = SQLMoreResults(stmt);
    }
    return result;
  }

  // SQL Server: the text as written, every result walked.
  ScriptResult RunWhole(const std::string& text,
                        const std::vector<Variant>& values) {
    FaultPoint();
    StmtHandle stmt = NewStatement();
    std::vector<ParamBuffer> buffers;
    buffers.reserve(values.size());
    for (const Variant& v : values) buffers.push_back(MakeParam(v, mode_));
    SQLRETURN rc;
    if (buffers.empty()) {
      rc = ExecDirect(stmt.get(), text);
    } else {
      if (!Ok(PrepareText(stmt.get(), text))) {
        throw StatementError(stmt.get(), "");
      }
      Bind(stmt.get(), buffers);
      rc = SQLExecute(stmt.get());
    }
    ScriptResult out;
    auto add_count = [&out](SQLLEN count) {
      if (count < 0) return;
      out.records_affected = std::max<int64_t>(out.records_affected, 0) + count;
    };
    // SQL_NO_DATA: a write that touched no row; results may still follow.
    if (rc == SQL_NO_DATA) {
      add_count(0);
      rc = SQLMoreResults(stmt.get());
    }
    std::vector<Column> columns;
    while (rc != SQL_NO_DATA) {
      if (!Ok(rc)) throw StatementError(stmt.get(), "");
      StatementResult r;
      columns.clear();
      ReadResult(stmt.get(), columns, r);
      if (r.has_rows && !out.has_rows) {
        out.has_rows = true;
        out.column_names = std::move(r.column_names);
        out.column_types = std::move(r.column_types);
        out.rows = std::move(r.rows);
      } else if (!r.has_rows) {
        SQLLEN count = -1;
        if (Ok(SQLRowCount(stmt.get(), &count))) add_count(count);
      }
      rc = SQLMoreResults(stmt.get());
    }
    return out;
  }

  static ResultSet ToResultSet(ScriptResult result) {
    ResultSet out;
    out.has_rows = result.has_rows;
    out.records_affected = result.records_affected;
    out.columns.reserve(result.column_names.size());
    for (size_t i = 0; i < result.column_names.size(); ++i) {
      ColumnInfo c;
      c.name = std::move(result.column_names[i]);
      c.ado_type =
          i < result.column_types.size() ? result.column_types[i] : 202;
      out.columns.push_back(std::move(c));
    }
    out.rows = std::move(result.rows);
    return out;
  }

  Dbc dbc_;
  Mode mode_ = Mode::kSqlServer;
  Dialect dialect_ = Dialect::kSqlite;
  bool in_tx_ = false;
  const Entry* current_ = nullptr;  // the entry of the text being run
  std::unordered_map<std::string, std::shared_ptr<Entry>> entries_;
  struct Recent {
    const std::string* text = nullptr;  // a key of entries_
    std::shared_ptr<Entry> entry;
  };
  std::array<Recent, 4> recent_;
  size_t recent_next_ = 0;
  std::unordered_map<std::string, Prepared> statements_;
};

class OdbcProvider final : public Provider {
 public:
  std::string Name() const override { return kOdbcProvider; }
  std::unique_ptr<PhysicalConnection> Open(
      const ConnectionParams& params) override {
    return std::make_unique<OdbcConnection>(params);
  }
};

}  // namespace

std::shared_ptr<Provider> MakeOdbcProvider() {
  return std::make_shared<OdbcProvider>();
}

}  // namespace marl::data::odbc
