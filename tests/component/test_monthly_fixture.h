// A fresh ERP database per test for the monthly close tests, with plain-SQL
// helpers to seed and read it, the statement trace and a whole-database
// snapshot.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "data/provider.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"

namespace marl::monthly_test {

namespace fs = std::filesystem;

class MonthlyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl =
        (fs::temp_directory_path() / "marl-monthly-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    db_path_ = (dir_ / "erp.db").string();
    std::ifstream schema(MARL_SCHEMA_FILE);
    ASSERT_TRUE(schema.good()) << MARL_SCHEMA_FILE;
    std::stringstream sql;
    sql << schema.rdbuf();
    Exec(sql.str());
  }

  void TearDown() override {
    data::SetTraceFile("");
    data::SetFaultPlan(data::FaultPlan{});
    fs::remove_all(dir_);
  }

  std::string Dsn(const std::string& language = "chs") const {
    return "ConnectString={Provider=SQLite;Data Source=" + db_path_ +
           "};DBMS Name=SQLite;DBMS Version=monthly;LANGUAGE=" + language;
  }

  // Runs SQL directly on the database file (outside the component).
  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(db_path_.c_str(), &db), SQLITE_OK);
    char* msg = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    std::string text = msg ? msg : "";
    sqlite3_free(msg);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
  }

  // Rows of a query, each as its values joined by "|" (NULL as "NULL").
  std::vector<std::string> Rows(const std::string& sql) const {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    sqlite3_open(db_path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    } else {
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
          if (i > 0) row += "|";
          const unsigned char* v = sqlite3_column_text(st, i);
          row += v ? reinterpret_cast<const char*>(v) : "NULL";
        }
        rows.push_back(row);
      }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  // Every row of every table, in a stable order.
  std::vector<std::string> Snapshot() const {
    std::vector<std::string> all;
    for (const std::string& table :
         Rows("SELECT name FROM sqlite_master WHERE type='table' AND name "
              "NOT LIKE 'sqlite_%' ORDER BY name")) {
      for (const std::string& row : Rows("SELECT * FROM " + table)) {
        all.push_back(table + ":" + row);
      }
    }
    std::sort(all.begin(), all.end());
    return all;
  }

  // The texts the component sent while `call` ran, without the isolation
  // level statement every new connection sends first.
  std::vector<std::string> Traced(const std::function<void()>& call) {
    const std::string file = (dir_ / "trace.jsonl").string();
    fs::remove(file);
    data::SetTraceFile(file);
    call();
    data::SetTraceFile("");
    std::vector<std::string> texts;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      std::string text = nlohmann::json::parse(line).at("text");
      if (text != "SET TRANSACTION ISOLATION LEVEL READ COMMITTED") {
        texts.push_back(text);
      }
    }
    return texts;
  }

  // The error `call` raised (number 0 when none).
  static Error Raised(const std::function<void()>& call) {
    try {
      call();
    } catch (const Error& e) {
      return e;
    }
    return Error(0, "", "");
  }

  fs::path dir_;
  std::string db_path_;
};

}  // namespace marl::monthly_test
