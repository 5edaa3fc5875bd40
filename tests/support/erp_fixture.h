// A fresh ERP database per test, created from the schema script, with
// plain-SQL helpers to seed and read it, the statement trace, a whole-database
// snapshot and the connection property string the component is called with.
// A suite derives from ErpDbTest and may set `language_` (the default
// LANGUAGE of Dsn()) and `version_` (the "DBMS Version", which keys the
// process-wide database description cache) in its constructor.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "data/cparse.h"
#include "data/data_source.h"
#include "data/provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"
#include "support/raised.h"

namespace marl::test {

namespace fs = std::filesystem;

class ErpDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterComponent();
    std::string tmpl = (fs::temp_directory_path() / "marl-erp-XXXXXX").string();
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

  std::string Dsn(const std::string& language = "") const {
    return "ConnectString={Provider=SQLite;Data Source=" + db_path_ +
           "};DBMS Name=SQLite;DBMS Version=" + version_ +
           ";LANGUAGE=" + (language.empty() ? language_ : language);
  }

  // A data source over the test database in `language`.
  std::shared_ptr<data::CDataSource> Source(const std::string& language = "") {
    auto parser = std::make_shared<data::CParse>();
    parser->ParseString(Dsn(language));
    auto ds = std::make_shared<data::CDataSource>();
    ds->SetParseObject(parser);
    return ds;
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
    ASSERT_EQ(rc, SQLITE_OK) << text << "\n" << sql;
  }

  // The rows of a query, columns joined by "|", NULL as "NULL".
  std::vector<std::string> Rows(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open(db_path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::vector<std::string> rows;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db) << " in " << sql;
    while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        if (i > 0) row += "|";
        const unsigned char* v = sqlite3_column_text(st, i);
        row += v ? reinterpret_cast<const char*>(v) : "NULL";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  // The first row of a query ("" when none).
  std::string Scalar(const std::string& sql) const {
    auto rows = Rows(sql);
    return rows.empty() ? "" : rows.front();
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

  // Statement trace: on from StartTrace, read back as parsed lines or as the
  // statement texts, one per line.
  void StartTrace() {
    fs::remove(trace_file());
    data::SetTraceFile(trace_file().string());
  }
  std::vector<nlohmann::json> TraceLines() const {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : Lines(trace_file())) {
      lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
  }
  std::string TraceTexts() const {
    std::string out;
    for (const auto& line : TraceLines()) {
      out += line["text"].get<std::string>() + "\n";
    }
    return out;
  }

  // The texts the component sent while `call` ran that start with `prefix`,
  // without the isolation level statement every new connection sends first.
  std::vector<std::string> Traced(const std::function<void()>& call,
                                  const std::string& prefix = "") {
    StartTrace();
    call();
    data::SetTraceFile("");
    std::vector<std::string> texts;
    for (const auto& line : TraceLines()) {
      std::string text = line.at("text");
      if (text != "SET TRANSACTION ISOLATION LEVEL READ COMMITTED" &&
          text.rfind(prefix, 0) == 0) {
        texts.push_back(text);
      }
    }
    return texts;
  }

  // The error `call` raised (number 0 when none).
  static Error Raised(const std::function<void()>& call) {
    return test::Raised(call);
  }

  // The lines of a text file.
  static std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path trace_file() const { return dir_ / "trace.jsonl"; }

  std::string language_ = "en";
  std::string version_ = "test";
  fs::path dir_;
  std::string db_path_;
};

// The fields of an error record, for comparing a whole report at once.
inline std::vector<std::string> Report(const Error& e) {
  return {std::to_string(e.number()), e.source(), e.description(),
          e.help_file()};
}

}  // namespace marl::test
