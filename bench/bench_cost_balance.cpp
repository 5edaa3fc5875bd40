// The cost balance rebuild (CheckOutUpdate.UpdateCostBalance) against a
// plain prepared-statement loop that writes the same rows.
//
// Data: N expense departments x M products x K cost items plus one total
// row per department and product in the current period (20 x 200 x 10 by
// default: 44,000 rows), every row with an ending balance except the total
// rows, so the rebuild writes the period's 44,000 rows and carries 40,000
// into the next period.
//
//   Rebuild     UpdateCostBalance: reads the rows through the sibling
//               components, deletes both periods, then one existence query
//               and one INSERT per row through the command builder.
//   PlainLoop   the sqlite3 C API on the same database and schema: one
//               transaction, the two period DELETEs, then per row an
//               existence SELECT and an INSERT, both prepared once.
// After both have run, the ratio Rebuild / PlainLoop is printed.
//
// Usage: bench_cost_balance [--size=N,M,K] [benchmark flags]
// The schema is $MARL_SCHEMA_FILE, else schema/sqlite/erp.sql of the source
// tree.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"

namespace {

namespace fs = std::filesystem;

struct Size {
  int departments = 20;
  int products = 200;
  int items = 10;
};

Size g_size;
// Best of the iterations: wall-clock and process CPU seconds.
struct Best {
  double wall = 0;
  double cpu = 0;
};
Best g_rebuild;
Best g_plain;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Times one run of `body` and keeps the best figures in `best`.
template <class F>
void Timed(Best& best, F&& body) {
  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = CpuSeconds();
  body();
  const double cpu = CpuSeconds() - cpu0;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0)
          .count();
  if (best.wall == 0 || wall < best.wall) best.wall = wall;
  if (best.cpu == 0 || cpu < best.cpu) best.cpu = cpu;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

std::string SchemaFile() {
  const char* env = std::getenv("MARL_SCHEMA_FILE");
  if (env != nullptr && *env != '\0') return env;
  return (fs::path(MARL_SOURCE_DIR) / "schema" / "sqlite" / "erp.sql").string();
}

// A database with the schema and the rows of period 10 of 2005.
class Database {
 public:
  explicit Database(const Size& size) {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
    path_ = (dir_ / "erp.db").string();
    std::ifstream in(SchemaFile());
    if (!in) throw std::runtime_error("schema not found: " + SchemaFile());
    std::stringstream schema;
    schema << in.rdbuf();

    sqlite3* db = Open();
    Check(sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, nullptr), db,
          "schema");
    Check(sqlite3_exec(db,
                       "UPDATE t_SystemProfile SET FValue='10' WHERE "
                       "FKey='CurrentPeriod'; BEGIN",
                       nullptr, nullptr, nullptr),
          db, "profile");
    sqlite3_stmt* dept = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO CB_BmExpDept VALUES (?, ?, 0)", -1,
                       &dept, nullptr);
    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, "
                       "FCostName, FExpDeptID, FProductID, FProductName, "
                       "FBegBal, FQty, FAccount, FEndBal, FCompleQty) VALUES "
                       "(2005, 10, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &row, nullptr);
    for (int d = 0; d < size.departments; ++d) {
      std::string id = "D" + std::to_string(d);
      sqlite3_bind_text(dept, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(dept, 2, ("Department " + id).c_str(), -1,
                        SQLITE_TRANSIENT);
      Check(sqlite3_step(dept), db, "department");
      sqlite3_reset(dept);
      for (int p = 0; p < size.products; ++p) {
        std::string product = "P" + std::to_string(p);
        for (int k = 0; k <= size.items; ++k) {
          const bool total = k == size.items;
          std::string item = total ? "*" : "C" + std::to_string(k);
          const double amount = (d + 1) * 10.0 + p + k;
          sqlite3_bind_text(row, 1, item.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(row, 2, ("Item " + item).c_str(), -1,
                            SQLITE_TRANSIENT);
          sqlite3_bind_text(row, 3, id.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(row, 4, product.c_str(), -1, SQLITE_TRANSIENT);
          sqlite3_bind_text(row, 5, ("Product " + product).c_str(), -1,
                            SQLITE_TRANSIENT);
          sqlite3_bind_double(row, 6, amount);
          sqlite3_bind_double(row, 7, 2);
          sqlite3_bind_double(row, 8, amount / 2);
          sqlite3_bind_double(row, 9, total ? 0 : amount * 1.25);
          sqlite3_bind_double(row, 10, p % 3 == 0 ? 4 : 0);
          Check(sqlite3_step(row), db, "row");
          sqlite3_reset(row);
        }
      }
    }
    sqlite3_finalize(dept);
    sqlite3_finalize(row);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
  }
  ~Database() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  sqlite3* Open() const {
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    return db;
  }

  std::string Dsn() const {
    return "ConnectString={Provider=SQLite;Data Source=" + path_ +
           "};DBMS Name=SQLite;DBMS Version=bench;LANGUAGE=chs";
  }

 private:
  fs::path dir_;
  std::string path_;
};

Database& Db() {
  static Database db(g_size);
  return db;
}

// The rows a rebuild leaves in the table (both periods), as they stand.
struct Row {
  std::vector<std::string> text;  // 0 FCostID 1 FCostName 2 FExpDeptID
                                  // 3 FExpDeptName 4 FProductID
                                  // 5 FProductName 6 FExpenseID 7 FBatch
  std::vector<double> number;     // FBegBal .. FOnlineJorQty (9 values)
  int year = 0;
  int period = 0;
};

std::vector<Row> ReadRows(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(
      db,
      "SELECT FYear, FPeriod, FCostID, FCostName, FExpDeptID, FExpDeptName, "
      "FProductID, FProductName, FExpenseID, FBatch, FBegBal, FQty, FAccount, "
      "FCalPrice, FPrice, FEndBal, FCompleQty, FOnlineQty, FOnlineJorQty "
      "FROM CB_CostBalance ORDER BY rowid",
      -1, &st, nullptr);
  std::vector<Row> rows;
  while (sqlite3_step(st) == SQLITE_ROW) {
    Row r;
    r.year = sqlite3_column_int(st, 0);
    r.period = sqlite3_column_int(st, 1);
    for (int i = 2; i < 10; ++i) {
      const unsigned char* t = sqlite3_column_text(st, i);
      r.text.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
    for (int i = 10; i < 19; ++i) {
      r.number.push_back(sqlite3_column_double(st, i));
    }
    rows.push_back(std::move(r));
  }
  sqlite3_finalize(st);
  return rows;
}

void Rebuild() {
  marl::CheckOutUpdate::Create()->UpdateCostBalance(Db().Dsn());
}

int CountRows() {
  sqlite3* db = Db().Open();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM CB_CostBalance", -1, &st,
                     nullptr);
  sqlite3_step(st);
  int count = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return count;
}

void BM_Rebuild(benchmark::State& state) {
  const int64_t sent0 = marl::data::StatementsRun();
  const int64_t prepared0 = marl::data::sqlite::StatementsPrepared();
  for (auto _ : state) Timed(g_rebuild, Rebuild);
  const double runs = static_cast<double>(state.iterations());
  state.counters["rows_written"] = CountRows();
  // Per rebuild: statement texts sent, and SQLite statements compiled (the
  // per-row texts are translated and prepared once per connection).
  state.counters["texts_sent"] =
      static_cast<double>(marl::data::StatementsRun() - sent0) / runs;
  state.counters["prepared"] =
      static_cast<double>(marl::data::sqlite::StatementsPrepared() -
                          prepared0) /
      runs;
}

// One transaction: both periods deleted, then per row an existence SELECT
// and an INSERT, each statement prepared once.
void PlainLoop(sqlite3* db, const std::vector<Row>& rows) {
  Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db,
        "begin");
  sqlite3_stmt* del = nullptr;
  sqlite3_prepare_v2(db,
                     "DELETE FROM CB_CostBalance WHERE FYear=? AND FPeriod=?",
                     -1, &del, nullptr);
  for (auto [y, p] : {std::pair{2005, 10}, std::pair{2005, 11}}) {
    sqlite3_bind_int(del, 1, y);
    sqlite3_bind_int(del, 2, p);
    Check(sqlite3_step(del), db, "delete");
    sqlite3_reset(del);
  }
  sqlite3_finalize(del);
  sqlite3_stmt* exists = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT FYear FROM CB_CostBalance WHERE FYear=? AND "
                     "FPeriod=? AND FCostID=? AND FExpDeptID=? AND "
                     "FProductID=?",
                     -1, &exists, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(
      db,
      "INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FCostName,"
      "FExpDeptID,FExpDeptName,FProductID,FProductName,FExpenseID,FBatch,"
      "FBegBal,FQty,FAccount,FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,"
      "FOnlineJorQty) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
      -1, &insert, nullptr);
  for (const Row& r : rows) {
    sqlite3_bind_int(exists, 1, r.year);
    sqlite3_bind_int(exists, 2, r.period);
    sqlite3_bind_text(exists, 3, r.text[0].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(exists, 4, r.text[2].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(exists, 5, r.text[4].c_str(), -1, SQLITE_STATIC);
    int rc = sqlite3_step(exists);
    sqlite3_reset(exists);
    if (rc == SQLITE_ROW) throw std::runtime_error("row exists");
    sqlite3_bind_int(insert, 1, r.year);
    sqlite3_bind_int(insert, 2, r.period);
    for (size_t i = 0; i < 8; ++i) {
      sqlite3_bind_text(insert, 3 + static_cast<int>(i), r.text[i].c_str(), -1,
                        SQLITE_STATIC);
    }
    for (size_t i = 0; i < 9; ++i) {
      sqlite3_bind_double(insert, 11 + static_cast<int>(i), r.number[i]);
    }
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(exists);
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
}

void BM_PlainLoop(benchmark::State& state) {
  sqlite3* db = Db().Open();
  const std::vector<Row> rows = ReadRows(db);
  for (auto _ : state) Timed(g_plain, [&] { PlainLoop(db, rows); });
  state.counters["rows_written"] = static_cast<double>(rows.size());
  sqlite3_close(db);
}

// Reads --size=N,M,K and removes it from argv.
void ParseSize(int* argc, char** argv) {
  int out = 1;
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], "--size=", 7) == 0) {
      if (std::sscanf(argv[i] + 7, "%d,%d,%d", &g_size.departments,
                      &g_size.products, &g_size.items) != 3 ||
          g_size.departments < 1 || g_size.products < 1 || g_size.items < 1) {
        std::fprintf(stderr, "--size wants N,M,K (positive)\n");
        std::exit(2);
      }
      continue;
    }
    argv[out++] = argv[i];
  }
  *argc = out;
}

}  // namespace

int main(int argc, char** argv) {
  ParseSize(&argc, argv);
  benchmark::Initialize(&argc, argv);
  marl::RegisterComponent();
  try {
    Db();
    Rebuild();  // warm-up: description cache, and the rows of both periods
  } catch (const marl::Error& e) {
    std::fprintf(stderr, "set-up failed: %d %s %s\n", e.number(),
                 e.source().c_str(), e.description().c_str());
    return 1;
  }
  benchmark::RegisterBenchmark("Rebuild", BM_Rebuild)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PlainLoop", BM_PlainLoop)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_rebuild.wall > 0 && g_plain.wall > 0) {
    std::printf(
        "size %d x %d x %d, best of 3\n"
        "  rebuild     wall %8.1f ms  cpu %8.1f ms\n"
        "  plain loop  wall %8.1f ms  cpu %8.1f ms\n"
        "  ratio       wall %8.2f     cpu %8.2f\n",
        g_size.departments, g_size.products, g_size.items,
        g_rebuild.wall * 1000, g_rebuild.cpu * 1000, g_plain.wall * 1000,
        g_plain.cpu * 1000, g_rebuild.wall / g_plain.wall,
        g_rebuild.cpu / g_plain.cpu);
  }
  return 0;
}
