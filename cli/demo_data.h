// The demonstration company of `marl-checkout init --demo` and
// `marl-checkout demo`.
//
// A realistic, deterministic cost-accounting history: expense departments,
// products of types 1 to 3 (type 3 batch products with batch quantities and
// completions), materials, cost items, and for every period of the history
// the monthly sources, the cost balance table with total rows, standards and
// allocation data, by-products, the daily-costing calendar, sources and
// balances, cost-revert ratios, material and expense distribution and
// opening balances (some checked, some with vouchers). Periods before the
// current one look closed (their balances carried, their distribution and
// cost-revert rows in history); the current period is open, with its cost
// calculation done, ready to close.
//
// The current period is always 2024/11 ('GL' 'PeriodCount' 12); the history
// runs back from it. The same scale and seed give the same database, byte
// for byte in its table contents, on every run.
//
// Scales (departments x products x cost items x periods):
//   tiny    2 x   4 x  3 x  3   (tests)
//   small   5 x  30 x  8 x 12   (the demo)
//   medium 20 x 200 x 10 x 36
//   large  20 x 200 x 10 x 72
// Every product is worked in two departments (one when there is only one).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;

namespace marl::data {
class PhysicalConnection;
}

namespace marl::cli {

struct DemoScale {
  const char* name;
  int departments;
  int products;
  int cost_items;
  int periods;
  int materials;
};

// The scale of that name, or nothing.
std::optional<DemoScale> FindDemoScale(std::string_view name);

struct DemoOptions {
  std::string scale = "small";
  uint64_t seed = 1;
};

// Marks a demonstration database in its file header (PRAGMA application_id),
// so `demo` can tell its own earlier database from any other file.
inline constexpr int32_t kDemoApplicationId = 0x4D41524C;  // "MARL"

inline constexpr int kDemoCurrentYear = 2024;
inline constexpr int kDemoCurrentPeriod = 11;

// A value of a demonstration row: a whole number, a double, a text or a
// date ('YYYY-MM-DD').
struct DemoDay {
  std::string text;
};
using DemoValue = std::variant<int64_t, double, std::string, DemoDay>;

// Where the generator's rows go. Texts are plain SQL with "?" markers that
// every database accepts; the same scale and seed hand every sink the same
// texts and values in the same order.
class DemoSink {
 public:
  virtual ~DemoSink() = default;
  // Announces an "INSERT INTO T(c, ...) VALUES(...)" text; the number given
  // back names it to Insert.
  virtual size_t Prepare(const std::string& insert) = 0;
  // Adds one row through an announced text, at once or held back (in order)
  // until the next Run or Flush.
  virtual void Insert(size_t insert, const std::vector<DemoValue>& row) = 0;
  // Writes the rows held back, then runs one statement.
  virtual void Run(const std::string& sql,
                   const std::vector<DemoValue>& values) = 0;
  // Writes the rows held back.
  virtual void Flush() = 0;
};

// Writes the demonstration company into `sink`. Throws
// std::invalid_argument for an unknown scale, and passes on the sink's
// failures.
void WriteDemoCompany(DemoSink& sink, const DemoOptions& options);

// Fills a database just created from the schema script (seed rows only) in
// one transaction with prepared statements, and marks it with
// kDemoApplicationId. Throws std::runtime_error with the database's message
// when a statement fails (everything is rolled back) and
// std::invalid_argument for an unknown scale.
void FillDemoCompany(sqlite3* db, const DemoOptions& options);

// Fills a database through the data layer, in the connection's current
// transaction (the caller begins and ends it): multi-row INSERT texts with
// parameters, at most 100 rows and 2000 parameters each. The tables come
// out as those of FillDemoCompany(sqlite3*) for the same options. Throws
// marl::Error when the database refuses a text.
void FillDemoCompany(data::PhysicalConnection& conn,
                     const DemoOptions& options);

// Creates PATH from the schema script and fills it (FillDemoCompany). The
// database is built in a temporary file next to PATH and renamed over it
// only when complete. Throws std::runtime_error on failure (PATH is then
// untouched).
void CreateDemoDatabase(const std::string& path, const DemoOptions& options);

// True when PATH is an SQLite database whose header carries
// kDemoApplicationId.
bool IsDemoDatabase(const std::string& path);

}  // namespace marl::cli
