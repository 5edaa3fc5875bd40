// The narrow interface between the data-access layer and a database
// provider. Nothing above this interface knows which database it talks to.
//
// A Provider opens PhysicalConnections from the parts of a connection string.
// A PhysicalConnection runs one command text (which may hold several
// statements of the SQL Server dialect; the provider translates as needed)
// with positional parameters bound to its "?" markers, and hands back the
// first rowset and the records affected. Optional features have defaults
// that raise a clear "not supported" error.
//
// Errors: every provider failure is raised as marl::Error with the matching
// OLE DB number (err::kDbSyntax, kDbNoTable, kDbIntegrity, else kDbFail),
// the provider's name as source and the database's own message as
// description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "marlcheckout/variant.h"

namespace marl::data {

// Parts of a connection string: "Key=Value;..." with keys compared without
// regard to case (stored lower-cased).
struct ConnectionParams {
  std::string text;  // as given
  std::map<std::string, std::string> values;
  std::string Get(const std::string& lower_key,
                  const std::string& fallback = "") const;
  static ConnectionParams Parse(const std::string& connection_string);
};

struct ColumnInfo {
  std::string name;
  int32_t ado_type = 202;  // ADO data type code (3, 5, 202, 135, ...)
  int32_t defined_size = 0;
};

struct ResultSet {
  bool has_rows = false;  // a statement returned a rowset (maybe empty)
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
  int64_t records_affected = -1;  // -1 when no statement changed rows
};

struct BoundParam {
  std::string name;
  int32_t ado_type = 202;
  int32_t size = 0;
  Variant value;
};

// The parameter's value converted to the kind of its ADO type (a date given
// as text becomes a date, "7" for an integer becomes 7); empty, null,
// missing, byte arrays and objects, and types without a kind, as given.
Variant CoerceParam(const BoundParam& param);
// The same value stored into `out`; a value kept as given is copied into
// out's own storage (its text buffer reused) instead of a new Variant.
void CoerceParamInto(const BoundParam& param, Variant& out);

class PhysicalConnection {
 public:
  virtual ~PhysicalConnection() = default;

  // Transaction control. `for_write` asks for a transaction that takes the
  // write lock at once (two writers serialise instead of deadlocking).
  virtual void Begin(bool for_write) = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;

  // Runs a command text; see the file comment.
  virtual ResultSet Run(const std::string& text,
                        const std::vector<BoundParam>& params) = 0;

  // Runs a command text that may only read: it must come down to exactly one
  // statement, and that statement must not change the database. A text that
  // breaks either rule is refused with err::kDbFail, naming the rule, before
  // any of its statements runs. The default refuses every text (a provider
  // that cannot tell reading from writing does not support the check).
  virtual ResultSet RunReadOnly(const std::string& text,
                                const std::vector<BoundParam>& params);

  // Runs a script in the database product's own dialect exactly as given:
  // no translation, no parameters, no rows back. For scripts that belong to
  // the database product rather than to the component (the schema of a new
  // database); the decorators of OpenPhysical pass it through untraced,
  // uncounted and without fault injection. Its statements run in order and
  // the first failure raises (see the file comment); inside a transaction
  // (Begin) they are part of it, so a failure followed by Rollback leaves
  // nothing behind where the database's data definitions are transactional.
  // The script must not hold transaction control of its own. The default
  // raises kDbFail: the provider cannot run native scripts.
  virtual void RunNativeScript(const std::string& script);

  // Provider properties ("DBMS Name", "DBMS Version", ...). Missing ones are
  // absent from the map.
  virtual std::map<std::string, Variant> Properties() = 0;

  // Properties that take real work to compute (the SQLite function masks
  // compile 72 probe statements): named here, left out of Properties(), and
  // computed by DeferredProperty only when a caller reads one of them. The
  // defaults: none.
  virtual std::vector<std::string> DeferredPropertyNames() const { return {}; }
  virtual Variant DeferredProperty(const std::string& /*name*/) {
    return Variant();
  }

  virtual std::string ProviderName() const = 0;

  // Reuse inside a ConnectionReuseScope. ReadyForReuse, asked as the
  // connection is let go: whether it is as a newly opened one would be, but
  // for what it caches (no transaction, no statement running, nothing a text
  // set on the session). Reopen, before it is handed to a new user: whether
  // it still reaches what its connection string names, ready for use; when
  // false it is closed. The defaults never reuse.
  virtual bool ReadyForReuse() { return false; }
  virtual bool Reopen() { return false; }
};

class Provider {
 public:
  virtual ~Provider() = default;
  virtual std::string Name() const = 0;
  virtual std::unique_ptr<PhysicalConnection> Open(
      const ConnectionParams& params) = 0;
};

// Providers by name (case-insensitive). Register replaces a provider of the
// same name. Nothing registers itself: the component server registers the
// built-in providers. Opening with an unknown provider raises kDbFail naming
// it.
void RegisterProvider(std::shared_ptr<Provider> provider);
bool HasProvider(const std::string& name);
std::unique_ptr<PhysicalConnection> OpenPhysical(
    const std::string& connection_string);

// The provider OpenPhysical opens a connection string with, and the
// connection string that provider is given:
// - "Provider=SQLOLEDB...", "SQLNCLI..." or "MSOLEDBSQL..." (an OLE DB
//   string for SQL Server): kOdbcProvider, with the keys mapped onto the
//   FreeTDS driver: Driver=FreeTDS; Server (the host of "Data Source", or
//   of "Server", without a "tcp:" prefix); Port (from "host,port");
//   Database ("Initial Catalog"); UID ("User ID"); PWD ("Password");
//   LoginTimeout ("Connect Timeout"); TDS_Version=7.4; ClientCharset=UTF-8.
//   Other keys are dropped.
//   A string without a Data Source is refused (kDbFail): the driver would
//   otherwise try a host named after its own default.
// - "Provider=MSDASQL..." (OLE DB over ODBC): kOdbcProvider, with the
//   string less its Provider key.
// - any other "Provider=<name>": that provider, with the string as given.
// - no Provider key but a "Driver" or "DSN" key (an ODBC connection
//   string): kOdbcProvider, with the string as given.
// - neither: no provider (opening fails as for an unknown one).
inline constexpr const char* kOdbcProvider = "ODBC";
struct ProviderChoice {
  std::string provider;
  std::string connection_string;
};
ProviderChoice ChooseProvider(const std::string& connection_string);

// Decorators applied by OpenPhysical to every connection it opens.
// Tracing: every text handed to Run is appended to `file` as one JSON line
// {"text": "...", "params": [...]}, before any translation. Empty file
// switches tracing off. MARL_TRACE_SQL=<file> in the environment switches it
// on at start-up.
void SetTraceFile(const std::string& file);
std::string TraceFile();

// Fault injection for tests. The plan counts the statements the providers
// execute (a text of several statements counts each of them, after any
// translation; a text sent as written counts once) of every text handed to
// Run or RunReadOnly that contains `match` (every text when `match` is
// empty); statements run on a thread while a FaultExempt is alive there are
// not counted. The `nth` of them (1-based, over all connections) fails with
// `number` and `description` instead of running, so the statements of its
// text before it have run: a text can be failed in the middle. nth = 0
// switches the plan off; the plan also ends when it has fired.
struct FaultPlan {
  int64_t nth = 0;
  int32_t number = 0;
  std::string description;
  std::string match;
};
void SetFaultPlan(const FaultPlan& plan);
// Statements counted by the plan since it was set (for tests).
int64_t FaultStatementsSeen();

// While alive, the statements run on this thread are not counted by the
// fault plan (the operator tool's own reads beside the component's work).
class FaultExempt {
 public:
  FaultExempt();
  ~FaultExempt();
  FaultExempt(const FaultExempt&) = delete;
  FaultExempt& operator=(const FaultExempt&) = delete;

 private:
  bool previous_;
};

// For providers: called before each statement they execute for a text of
// Run or RunReadOnly; raises the planned fault when it is this statement.
void FaultPoint();

// For providers: called once per wait when a connection has waited a while
// for another connection's lock, with the longest it will wait (ms). The
// notice set with SetWaitNotice is called (empty: nothing happens); it must
// not throw.
void NotifyWaiting(int64_t timeout_ms);
void SetWaitNotice(std::function<void(int64_t timeout_ms)> notice);

// Reuse of connections within one unit of work (a public method, a command
// of the tool). While a scope is alive on a thread, a connection that thread
// lets go whose provider says it is ReadyForReuse is kept open, and the next
// OpenPhysical of the same connection string on that thread takes it (after
// Reopen) instead of opening a new one; when the thread's outermost scope
// ends, the connections kept are closed. Outside a scope every close closes.
// What is sent does not change: the texts, their trace and the fault plan's
// count are the same; a reused connection only skips the open's own set-up
// and keeps its compiled statements. Scopes nest; at most
// kMaxKeptConnections are kept per thread (a further one closes).
inline constexpr size_t kMaxKeptConnections = 4;
class ConnectionReuseScope {
 public:
  ConnectionReuseScope();
  ~ConnectionReuseScope();
  ConnectionReuseScope(const ConnectionReuseScope&) = delete;
  ConnectionReuseScope& operator=(const ConnectionReuseScope&) = delete;
};
// Connections kept by the scopes of this thread (for tests).
size_t KeptConnections();

int64_t StatementsRun();  // statements handed to Run since start (counter)

// Records affected since start, over every connection: the sum of the
// records_affected of every text that Run or RunReadOnly completed (a text
// that reports none, -1, adds nothing). It only grows, so the difference of
// two readings is what the texts run in between inserted, updated or
// deleted, as the provider counts them (texts of other threads included).
int64_t RecordsAffected();

}  // namespace marl::data
