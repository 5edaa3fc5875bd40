// Translation of the SQL Server dialect the component sends into the
// statements of another database, plus the small interpreter for variables
// and control flow.
//
// Translate() is a pure text-to-text stage: no database is needed. It turns
// one command text (possibly several statements without semicolons, with
// Declare / set / select @v= / if [not] exists / Begin ... End / else) into
// a Script: a tree of nodes whose leaves are single statements of the output
// dialect (see writer.h for what each dialect rewrites).
//
// Parameters: Statement::slots says, for each parameter marker of a
// statement, whether it takes the caller's k-th positional "?" (counted over
// the whole command text) or the value of a variable (names compared without
// regard to case, stored lower-cased without "@"). The embedded SQLite
// dialect numbers its markers "?1", "?2", ... (one number per distinct
// variable; slot i binds "?<i+1>"); the ODBC dialects write a plain "?" for
// every marker, and slot i binds the i-th "?" of the statement.
//
// A construct that is not supported raises marl::Error (err::kDbSyntax) with
// a description naming the construct; a text whose meaning would change is
// never produced.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/variant.h"

namespace marl::data::tsql {

// The output dialect of the statement writer.
enum class Dialect : uint8_t {
  kSqlite,      // the embedded provider: "?k" markers; LEN and GETDATE are
                // functions registered on its connections
  kSqliteOdbc,  // SQLite through its ODBC driver: "?" markers; LEN and
                // GETDATE rewritten into SQLite's own functions
  kPostgres,    // PostgreSQL through ODBC: "?" markers
};

struct ParamSlot {
  bool is_variable = false;
  int32_t position = 0;  // 0-based index into the caller's parameters
  std::string variable;  // lower-cased, without "@"
};

struct Statement {
  std::string sql;               // one statement, no trailing ";"
  std::vector<ParamSlot> slots;  // see the file comment
  bool writes = false;           // INSERT/UPDATE/DELETE/DDL
};

struct Node {
  enum class Kind {
    Exec,          // run `stmt`; rows of the first rowset are the result
    Declare,       // declare `variables` (value NULL)
    SetVar,        // variables[0] := first column of first row of `stmt`
                   // (NULL when no row)
    SelectAssign,  // variables[i] := column i of the LAST row of `stmt`;
                   // unchanged when no row
    If,            // `stmt` yields one row with 1 or 0: then `body` else
                   // `else_body`
    Block,         // `body` in order (Begin ... End)
    NoOp,          // accepted and ignored (SET TRANSACTION ISOLATION ...)
  };
  Kind kind = Kind::NoOp;
  Statement stmt;
  std::vector<std::string> variables;
  std::vector<Node> body;
  std::vector<Node> else_body;
};

struct Script {
  std::vector<Node> nodes;
  int32_t positional_count = 0;  // "?" markers of the caller's text
  bool writes = false;           // any statement writes
};

// What the translation may know of the database: whether table `table`
// has a column `column` (names compared as the database compares them).
// Without it, no rewrite is made whose soundness depends on where an
// unqualified name resolves.
using ColumnLookup =
    std::function<bool(std::string_view table, std::string_view column)>;

// How a column of a table compares: its declared type (empty when none) and
// its collation's name, as the database reports them.
struct ColumnType {
  std::string declared;
  std::string collation;
};

// What the translation may know of how a table's column compares; nullopt
// when the table has no such column. Without it, no rewrite is made whose
// soundness depends on a column's affinity or collation (SQLite dialects
// only).
using ColumnTypeLookup = std::function<std::optional<ColumnType>(
    std::string_view table, std::string_view column)>;

// Translates one command text. Throws marl::Error on unsupported input. The
// result depends only on the text, the dialect and the lookups' answers.
Script Translate(const std::string& text, Dialect dialect = Dialect::kSqlite,
                 const ColumnLookup& columns = {},
                 const ColumnTypeLookup& types = {});

// What the interpreter needs from a database: run one statement with the
// given values bound to its markers (one value per slot), and return its
// rows.
struct StatementResult {
  bool has_rows = false;  // the statement produces a rowset
  std::vector<std::string> column_names;
  std::vector<int32_t> column_types;  // ADO type codes
  std::vector<std::vector<Variant>> rows;
  int64_t changes = 0;  // rows changed by a writing statement
};

class StatementExecutor {
 public:
  virtual ~StatementExecutor() = default;
  virtual StatementResult Execute(const Statement& stmt,
                                  const std::vector<Variant>& bound) = 0;
};

struct ScriptResult {
  bool has_rows = false;
  std::vector<std::string> column_names;
  std::vector<int32_t> column_types;
  std::vector<std::vector<Variant>> rows;  // first rowset returned by an Exec
  int64_t records_affected = -1;  // sum of changes of writing statements
};

// Runs a script: variables live for this run only; `params` are the
// caller's positional values.
ScriptResult RunScript(const Script& script, StatementExecutor& executor,
                       const std::vector<Variant>& params);

}  // namespace marl::data::tsql
