// Cost of the cost balance lists on the embedded provider: GetList for one
// department and for all departments, over 36 and 72 periods of history,
// with the full view (products of earlier periods too, the default) and with
// the listed period only; GetBalList for one department and GetCostList at
// the same sizes for comparison.
//
// Data: 20 departments x 200 products x (10 cost items + the total item) per
// period, written with one prepared INSERT in one transaction into a fresh
// database made from the schema script (MARL_SCHEMA_FILE, else the script
// beside this source tree); the two indexes of CB_CostBalance are dropped
// for the load and created again afterwards, so the database ends with the
// schema's own indexes. The current period is the last one generated, and
// the lists ask for it.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "marlcheckout/check_out_info.h"
#include "marlcheckout/containers.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDepartments = 20;
constexpr int kProducts = 200;
constexpr int kCostItems = 10;
constexpr int kFirstYear = 2020;

std::string SchemaFile() {
  if (const char* env = std::getenv("MARL_SCHEMA_FILE")) return env;
  return (fs::path(MARL_SOURCE_DIR) / "schema" / "sqlite" / "erp.sql").string();
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::abort();
  }
}

void Exec(sqlite3* db, const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::fprintf(stderr, "%s\n", msg ? msg : "exec failed");
    std::abort();
  }
}

std::string Code(char prefix, int n, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%0*d", prefix, width, n);
  return buf;
}

// A database with `periods` periods of balances, removed at exit.
class History {
 public:
  explicit History(int periods) : periods_(periods) {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-bench-lists-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
    path_ = (dir_ / "erp.db").string();
    Generate();
  }
  ~History() { fs::remove_all(dir_); }

  std::string Dsn() const {
    return "ConnectString={Provider=SQLite;Data Source=" + path_ +
           "};DBMS Name=SQLite;DBMS Version=bench;LANGUAGE=chs";
  }
  int last_year() const { return kFirstYear + (periods_ - 1) / 12; }
  int last_period() const { return 1 + (periods_ - 1) % 12; }

 private:
  void Generate() {
    std::ifstream in(SchemaFile());
    if (!in) {
      std::fprintf(stderr, "schema script not found: %s\n",
                   SchemaFile().c_str());
      std::abort();
    }
    std::stringstream schema;
    schema << in.rdbuf();
    sqlite3* db = nullptr;
    Check(sqlite3_open(path_.c_str(), &db), db, "open");
    Exec(db, schema.str());
    Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    Exec(db, "BEGIN");
    // The schema's own index definitions, made again after the load.
    std::string indexes;
    sqlite3_exec(
        db,
        "SELECT sql FROM sqlite_schema WHERE type='index' AND "
        "tbl_name='CB_CostBalance' AND sql IS NOT NULL",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) += std::string(values[0]) + ";";
          return 0;
        },
        &indexes, nullptr);
    Exec(db,
         "DROP INDEX ux_CB_CostBalance_Key;"
         "DROP INDEX ix_CB_CostBalance_DeptProduct;");
    for (int i = 1; i <= kCostItems; ++i) {
      Exec(db, "INSERT INTO CB_BmItem(FID,FName) VALUES('" + Code('I', i, 2) +
                   "','Item " + std::to_string(i) + "')");
    }
    for (int d = 1; d <= kDepartments; ++d) {
      Exec(db, "INSERT INTO CB_BmExpDept(FID,FName) VALUES('" +
                   Code('D', d, 2) + "','Dept " + std::to_string(d) + "')");
    }
    for (int p = 1; p <= kProducts; ++p) {
      Exec(db, "INSERT INTO CB_BmProduct(FID,FName,FType) VALUES('" +
                   Code('P', p, 3) + "','Prod " + std::to_string(p) + "'," +
                   std::to_string(2 + p % 2) + ")");
    }
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(
              db,
              "INSERT INTO CB_CostBalance(FYear,FPeriod,FCostID,FExpDeptID,"
              "FExpDeptName,FProductID,FProductName,FBegBal,FQty,FAccount,"
              "FEndBal,FCompleQty) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)",
              -1, &st, nullptr),
          db, "prepare");
    for (int k = 0; k < periods_; ++k) {
      const int year = kFirstYear + k / 12;
      const int period = 1 + k % 12;
      for (int d = 1; d <= kDepartments; ++d) {
        const std::string dept = Code('D', d, 2);
        const std::string dept_name = "Dept " + std::to_string(d);
        for (int p = 1; p <= kProducts; ++p) {
          const std::string product = Code('P', p, 3);
          const std::string product_name = "Prod " + std::to_string(p);
          for (int i = 0; i <= kCostItems; ++i) {
            const std::string cost = i == 0 ? "*" : Code('I', i, 2);
            sqlite3_bind_int(st, 1, year);
            sqlite3_bind_int(st, 2, period);
            sqlite3_bind_text(st, 3, cost.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, dept.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 5, dept_name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 6, product.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 7, product_name.c_str(), -1,
                              SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 8, 100.0 + i);
            sqlite3_bind_double(st, 9, 5.0);
            sqlite3_bind_double(st, 10, 20.5 + p);
            sqlite3_bind_double(st, 11, 90.25);
            sqlite3_bind_double(st, 12, (p + k) % 3);
            Check(sqlite3_step(st), db, "insert");
            sqlite3_reset(st);
          }
        }
      }
    }
    sqlite3_finalize(st);
    Exec(db, indexes);
    Exec(db, "UPDATE t_SystemProfile SET FValue='" +
                 std::to_string(last_year()) +
                 "' WHERE FCategory='CB' AND FKey='CurrentYear';"
                 "UPDATE t_SystemProfile SET FValue='" +
                 std::to_string(last_period()) +
                 "' WHERE FCategory='CB' AND FKey='CurrentPeriod';");
    Exec(db, "COMMIT");
    sqlite3_close(db);
  }

  int periods_;
  fs::path dir_;
  std::string path_;
};

// One database per history size, made on first use.
const History& HistoryOf(int periods) {
  static std::map<int, std::unique_ptr<History>> made;
  auto& h = made[periods];
  if (!h) h = std::make_unique<History>(periods);
  return *h;
}

// Arguments: periods of history, one department (1) or all (0), full view.
void BM_GetList(benchmark::State& state) {
  const History& h = HistoryOf(static_cast<int>(state.range(0)));
  const std::string dept = state.range(1) ? "D05" : "";
  const bool full = state.range(2) != 0;
  auto info = marl::CheckOutInfo::Create();
  size_t rows = 0;
  for (auto _ : state) {
    auto list =
        info->GetList(h.Dsn(), h.last_year(), h.last_period(), dept, "", full);
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_GetList)
    ->ArgNames({"periods", "one_dept", "full"})
    ->Args({36, 1, 1})
    ->Args({72, 1, 1})
    ->Args({36, 1, 0})
    ->Args({72, 1, 0})
    ->Args({36, 0, 0})
    ->Args({72, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_GetList)
    ->ArgNames({"periods", "one_dept", "full"})
    ->Args({36, 0, 1})
    ->Args({72, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_GetBalList(benchmark::State& state) {
  const History& h = HistoryOf(static_cast<int>(state.range(0)));
  auto info = marl::CheckOutInfo::Create();
  size_t rows = 0;
  for (auto _ : state) {
    auto list =
        info->GetBalList(h.Dsn(), h.last_year(), h.last_period(), "D05", "", 1);
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_GetBalList)
    ->ArgNames({"periods"})
    ->Arg(36)
    ->Arg(72)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Accumulates every period up to the current one: its cost follows the
// history by nature.
void BM_GetCostList(benchmark::State& state) {
  const History& h = HistoryOf(static_cast<int>(state.range(0)));
  auto info = marl::CheckOutInfo::Create();
  size_t rows = 0;
  for (auto _ : state) {
    auto list = info->GetCostList(h.Dsn(), "");
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_GetCostList)
    ->ArgNames({"periods"})
    ->Arg(36)
    ->Arg(72)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
