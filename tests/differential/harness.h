// The differential harness: the same demonstration company on two databases,
// the same tool commands on each, and every table of the schema read back
// through the data layer and compared.
//
// A Backend makes empty databases of one kind and names each as a Side: the
// tool's arguments for it (--db PATH or --dsn STRING) and the connect string
// the data layer opens to read it back. Backends:
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
#include <functional>
#include <map>
#include <memory>
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

class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string Name() const = 0;
  // Why this backend cannot run here; empty when it can.
  virtual std::string Missing() const = 0;
  // A new, empty database, removed when the backend ends.
  virtual Side Create(const std::filesystem::path& dir,
                      const std::string& tag) = 0;
};

std::unique_ptr<Backend> MakeBackend(const std::string& name);

// A value as the comparison sees it.
struct Cell {
  enum class Kind { kNull, kNumber, kText } kind = Kind::kNull;
  double number = 0;
  std::string text;
};
Cell CellOf(const Variant& v);
bool SameCell(const Cell& a, const Cell& b);
std::string CellText(const Cell& c);

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

// The tool run on one side, from a working directory.
class Tool {
 public:
  explicit Tool(std::filesystem::path dir) : dir_(std::move(dir)) {}
  // marl-checkout COMMAND <side's target> ARGS...
  ToolResult Run(const std::string& command, const Side& side,
                 const std::vector<std::string>& args = {}) const;
  ToolProcess Start(const std::string& command, const Side& side,
                    const std::vector<std::string>& args = {}) const;
  // init --demo --scale tiny --seed 1; fails the test when it fails.
  void InitDemo(const Side& side) const;

 private:
  std::vector<std::string> Args(const std::string& command, const Side& side,
                                const std::vector<std::string>& args) const;
  std::filesystem::path dir_;
};

// Compares two JSON lists (the tool's --format json) row by row.
void ExpectSameList(const std::string& json_a, const std::string& json_b,
                    const std::string& what);

// A temporary directory per test.
class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path dir_;
};

}  // namespace marl::test
