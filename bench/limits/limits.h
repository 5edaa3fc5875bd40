// The pieces of bench_limits (see bench_limits.cpp for what it measures and
// how).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// A failure that ends the benchmark with a message and exit status 2
// (equivalence not proven, a database or process failed).
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------
// Time: CPU time, not wall time. The machine is shared and busy; the work
// measured is single-threaded and reads files the page cache holds, so the
// CPU time it takes is what it costs, without the waits for a core.

// CPU time of the calling thread, in ms.
double NowMs();
double Median(std::vector<double> values);

// ---------------------------------------------------------------------------
// A demonstration company, built once by the tool and kept in the cache.

struct Company {
  std::string scale;  // "medium", "large", "tiny"
  std::string path;   // the cached database file
  int periods = 0;
  int year = 0;  // the current period
  int period = 0;
  std::string dept;  // the first department with balances
};

struct Settings {
  std::string cache_dir;
  int runs = 5;
  int process_runs = 41;
  int step_runs = 0;  // rounds of the close steps; 0: three per --runs
  std::string only;   // run only the items whose name contains this

  // Whether the item named `name` is to run (--only).
  bool Chosen(const std::string& name) const {
    return only.empty() || name.find(only) != std::string::npos;
  }
};

// The company of `scale` (seed 1) in the cache, made with the tool's
// `init --demo` when the cache has none for the current schema script and
// demo generator.
Company EnsureCompany(const Settings& settings, const std::string& scale);

// The connection property string the component is called with.
std::string DsnOf(const std::string& path);

// ---------------------------------------------------------------------------
// SQLite without the component.

// A value as SQLite returns it.
struct Value {
  int type = SQLITE_NULL;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, ...
  int64_t i = 0;
  double r = 0;
  std::string text;
};
using Row = std::vector<Value>;

class Sqlite {
 public:
  explicit Sqlite(const std::string& path);
  ~Sqlite();
  Sqlite(const Sqlite&) = delete;
  Sqlite& operator=(const Sqlite&) = delete;

  sqlite3* get() const { return db_; }
  void Exec(const std::string& sql);
  // Every row of one statement; `names` gets the column names.
  std::vector<Row> Rows(const std::string& sql,
                        std::vector<std::string>* names = nullptr);

 private:
  sqlite3* db_ = nullptr;
};

// ---------------------------------------------------------------------------
// Table digests: every row of a table as the quote() texts of its columns,
// in the order of those texts, hashed. Two databases whose tables have the
// same digest hold the same rows (values and storage classes alike).

// Runs one SELECT whose every column is text and returns its rows.
using TextQuery =
    std::function<std::vector<std::vector<std::string>>(const std::string&)>;

// The digest query of `table` (its columns read from `schema`).
std::string DigestSql(Sqlite& schema, const std::string& table);
uint64_t Digest(const TextQuery& query, const std::string& sql);
TextQuery QueryOf(Sqlite& db);

// The rows of `table` as a multiset, hashed from their stored values (type
// and exact bits or bytes) without sorting them: the same rows in any order
// give the same hash. About twenty times cheaper than the digest above on
// a table of a few hundred thousand rows, and stricter with numbers (a
// REAL is compared by its bits, not by its 15-digit text).
uint64_t TableHash(Sqlite& db, const std::string& table);

// ---------------------------------------------------------------------------
// Results.

struct Measure {
  std::vector<double> tool_ms;
  std::vector<double> best_ms;
};

struct Item {
  std::string name;
  double target = 0;      // ratio limit (ms of difference when `absolute`)
  bool absolute = false;  // the target bounds tool - best, in ms
  Measure medium;
  Measure large;
  bool growth_limited = false;  // tool growth <= best growth + 10%
  double growth_max = 0;        // when > 0: tool growth <= growth_max
  std::string note;
};

// Prints one line per item and returns whether every one is within its
// targets.
bool Report(const std::vector<Item>& items);

// ---------------------------------------------------------------------------
// The groups of items.

// Each list against its best hand-written query, on both companies.
void RunLists(const Settings& settings, const Company& medium,
              const Company& large, std::vector<Item>* items);

// The best query of `list balances-dept --dept` on company `c`.
std::string BestBalancesDeptQuery(const Company& c);

// Each close step against its raw SQL, and the whole close (the tool's
// process) against one raw script, on both companies.
void RunClose(const Settings& settings, const Company& medium,
              const Company& large, std::vector<Item>* items);

// Runs a program with its output thrown away; its CPU time (user and
// system) in ms. Raises
// Failure when it does not exit 0.
double RunProcess(const std::vector<std::string>& argv);

}  // namespace bench
