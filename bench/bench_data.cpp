// Cost of the data layer on the embedded provider: translation of a command
// text, and the per-row cost of the table command builder's pattern (an
// existence SELECT and an INSERT per row, in one transaction) with
// statements reused, against the same rows sent as texts with the values
// written in (translated and prepared again for every row).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "data/ado.h"
#include "data/sqlite/sqlite_provider.h"
#include "data/tsql/script.h"
#include "marlcheckout/transaction.h"

namespace {

namespace fs = std::filesystem;
using marl::Variant;
using namespace marl::data;

constexpr int kRows = 20000;

// A fresh database with one keyed table; removed when it goes.
class TempDatabase {
 public:
  TempDatabase() {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    dir_ = tmpl;
    fs::path file = dir_ / "bench.db";
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE t_Row (FID INTEGER NOT NULL, FYear INTEGER, "
                 "FName TEXT COLLATE NOCASE, FAmount REAL)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "CREATE UNIQUE INDEX ix_Row ON t_Row (FYear, FID)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    cs_ = "Provider=SQLite;Data Source=" + file.string();
  }
  ~TempDatabase() { fs::remove_all(dir_); }
  const std::string& cs() const { return cs_; }

 private:
  fs::path dir_;
  std::string cs_;
};

const char* const kCloseText =
    "Delete cbBalance WHERE FYear = 2005 AND FPeriod = 3\r\n"
    "INSERT INTO cbBalance(FYear, FPeriod, FProductID, FCostID, FTypeID, "
    "FAmount)\r\nSELECT 2005, 3, FProductID, FCostID, 3, "
    "ISNULL(SUM(FAmount), 0) FROM cbCostObjDetail WHERE FYear = 2005 AND "
    "FPeriod = 3 GROUP BY FProductID, FCostID\r\n"
    "UPDATE t_SystemProfile SET FValue = '4' WHERE FCategory = 'CB' AND "
    "FKey = 'CurrentPeriod'";

void BM_Translate(benchmark::State& state) {
  for (auto _ : state) {
    auto script = tsql::Translate(kCloseText);
    benchmark::DoNotOptimize(script);
  }
}
BENCHMARK(BM_Translate);

// The builder's pattern: existence check, then insert, both parameterised.
void BM_ExistsThenInsertReused(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    TempDatabase db;
    state.ResumeTiming();
    int64_t prepared = sqlite::StatementsPrepared();
    marl::TransactionScope scope;
    auto conn = Connection::Create();
    conn->Open(db.cs());
    auto exists = Command::Create();
    exists->SetActiveConnection(conn);
    exists->CommandText = "SELECT 1 FROM t_Row WHERE FYear = ? AND FID = ?";
    auto insert = Command::Create();
    insert->SetActiveConnection(conn);
    insert->CommandText =
        "INSERT INTO t_Row (FID, FYear, FName, FAmount) VALUES (?, ?, ?, ?)";
    for (int i = 0; i < 2; ++i) {
      exists->GetParameters().Append(exists->CreateParameter(
          "", ado::kInteger, ado::kParamInput, 4, Variant()));
    }
    auto& ps = insert->GetParameters();
    ps.Append(insert->CreateParameter("", ado::kInteger, 1, 4, Variant()));
    ps.Append(insert->CreateParameter("", ado::kInteger, 1, 4, Variant()));
    ps.Append(insert->CreateParameter("", ado::kVarWChar, 1, 80, Variant()));
    ps.Append(insert->CreateParameter("", ado::kDouble, 1, 8, Variant()));
    for (int i = 0; i < kRows; ++i) {
      exists->GetParameters().Item(0)->value = Variant::I4(2005);
      exists->GetParameters().Item(1)->value = Variant::I4(i);
      if (!exists->Execute()->Eof()) continue;
      ps.Item(0)->value = Variant::I4(i);
      ps.Item(1)->value = Variant::I4(2005);
      ps.Item(2)->value = Variant::Text("row");
      ps.Item(3)->value = Variant::R8(i * 0.5);
      insert->Execute();
    }
    scope.Commit();
    state.counters["prepares"] =
        static_cast<double>(sqlite::StatementsPrepared() - prepared);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ExistsThenInsertReused)->Unit(benchmark::kMillisecond);

// The same rows with the values written into the texts: every text is new,
// so each is translated and prepared again.
void BM_ExistsThenInsertLiteral(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    TempDatabase db;
    state.ResumeTiming();
    marl::TransactionScope scope;
    auto conn = Connection::Create();
    conn->Open(db.cs());
    for (int i = 0; i < kRows; ++i) {
      std::string id = std::to_string(i);
      if (!conn->Execute("SELECT 1 FROM t_Row WHERE FYear = 2005 AND FID = " +
                         id)
               ->Eof()) {
        continue;
      }
      conn->Execute("INSERT INTO t_Row (FID, FYear, FName, FAmount) VALUES (" +
                    id + ", 2005, 'row', " + std::to_string(i * 0.5) + ")");
    }
    scope.Commit();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ExistsThenInsertLiteral)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
