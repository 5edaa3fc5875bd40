// The differential harness: the same demonstration company on two databases,
// the same tool commands on each, and every table of the schema read back
// through the data layer and compared.
//
// A Backend makes empty databases of one kind and names each as a Side: the
// tool's arguments for it (--db PATH or --dsn STRING) and the connect string
// the data layer opens to read it back. Kinds:
// - "SqliteFile": a file created by `init --db` (the direct SQLite path);
// - "SqliteDsn": an empty file filled by `init --dsn` through the data layer;
// - "PostgreSQL": a scratch database on the server of MARL_TEST_PG (an ODBC
//   connection string such as "Driver=PostgreSQL Unicode;Server=127.0.0.1;
//   Port=55432;Database=postgres;UID=postgres"), created and dropped with
//   the psql client, filled by `init --dsn`. It runs only where MARL_TEST_PG
//   is set, psql is found, the schema script schema/postgresql/erp.sql exists
//   and the data layer has a provider for ODBC connection strings; otherwise
//   the tests skip, naming what is missing.
//
// Comparison: tables by name, columns by lower-cased name (servers may fold
// names), rows sorted; numbers equal within 1e-9 relative (1 the smallest
// scale), text exactly, dates as their canonical text. The identity columns
// of the working tables are left out: restoring history rows numbers them
// in the order the database reads them back, which is the database's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/test_operator_fixture.h"
#include "marlcheckout/variant.h"

namespace marl::test {

// One database under test.
struct Side {
  std::string name;                  // for messages
  std::vector<std::string> target;   // {"--db", path} or {"--dsn", string}
  std::string connect;               // what the data layer opens to read it
  std::vector<std::string> options;  // for every command but init
};

// Empty databases of one kind: "SqliteFile", "SqliteDsn" or "PostgreSQL".
class Backend {
 public:
  explicit Backend(std::string kind);
  ~Backend();  // drops the scratch databases it created
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // Why this backend cannot run here; empty when it can.
  std::string Missing() const;
  // A new, empty database.
  Side Create(const std::filesystem::path& dir, const std::string& tag);

 private:
  int Psql(const std::string& sql) const;  // exit status
  std::string kind_;
  std::string server_;  // MARL_TEST_PG
  std::vector<std::string> created_;
};

// A value as the comparison sees it.
struct Cell {
  enum class Kind { kNull, kNumber, kText } kind = Kind::kNull;
  double number = 0;
  std::string text;
};
Cell CellOf(const Variant& v);
bool SameCell(const Cell& a, const Cell& b);
std::string CellText(const Cell& c, int digits = 17);

struct TableRows {
  std::vector<std::string> columns;  // lower-cased, sorted
  std::vector<std::vector<Cell>> rows;
};
using Tables = std::map<std::string, TableRows>;

// The tables the reference schema (schema/sqlite/erp.sql) creates.
std::vector<std::string> SchemaTables();

// Every table of the schema, read through the data layer.
Tables ReadTables(const Side& side);

// Adds one failure per table that differs, naming its first difference.
void ExpectSameTables(const Tables& a, const Tables& b, const Side& side_a,
                      const Side& side_b, const std::string& when);

// One list of the tool (--format json) as rows in their order.
TableRows ListRows(const std::string& json);

// The arguments of marl-checkout COMMAND on one side.
std::vector<std::string> ToolArgs(const std::string& command, const Side& side,
                                  const std::vector<std::string>& args = {});

}  // namespace marl::test
