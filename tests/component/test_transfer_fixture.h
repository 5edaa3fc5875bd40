// A fresh ERP database per test for the command builder and period
// transfer tests: created from the schema script, with plain-SQL helpers,
// the statement trace and a connection property string.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "data/data_source.h"
#include "data/provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"

namespace marl::transfer_test {

namespace fs = std::filesystem;

class TransferDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterComponent();
    std::string tmpl =
        (fs::temp_directory_path() / "marl-transfer-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    db_path_ = (dir_ / "erp.db").string();
    std::ifstream schema(MARL_SCHEMA_FILE);
    ASSERT_TRUE(schema.good()) << MARL_SCHEMA_FILE;
    std::stringstream sql;
    sql << schema.rdbuf();
    Exec(sql.str());
    // Fill the process-wide type description cache now, so that traces
    // taken by a test do not depend on which test ran first.
    auto parser = std::make_shared<data::CParse>();
    parser->ParseString(Dsn());
    data::CDataSource ds;
    ds.SetParseObject(parser);
    ds.GetActualType(3);
  }

  void TearDown() override {
    data::SetTraceFile("");
    fs::remove_all(dir_);
  }

  std::string Dsn(const std::string& language = "chs") const {
    return "ConnectString={Provider=SQLite;Data Source=" + db_path_ +
           "};DBMS Name=SQLite;DBMS Version=transfer;LANGUAGE=" + language;
  }

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
        << sqlite3_errmsg(db);
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

  std::string Scalar(const std::string& sql) const {
    auto rows = Rows(sql);
    return rows.empty() ? "" : rows.front();
  }

  // Statement trace: on from StartTrace, read back as the statement texts
  // (one per line) or as parsed lines.
  void StartTrace() {
    trace_ = dir_ / "trace.jsonl";
    fs::remove(trace_);
    data::SetTraceFile(trace_.string());
  }
  std::vector<nlohmann::json> TraceLines() const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(trace_);
    for (std::string line; std::getline(in, line);) {
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

  fs::path dir_;
  fs::path trace_;
  std::string db_path_;
};

// The fields of an error record, for comparing a whole report at once.
inline std::vector<std::string> Report(const Error& e) {
  return {std::to_string(e.number()), e.source(), e.description(),
          e.help_file()};
}

}  // namespace marl::transfer_test
