// A fresh ERP database per test for the frame tests, created from the
// schema script, with a data source over it and plain-SQL helpers.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "data/cparse.h"
#include "data/data_source.h"
#include "data/provider.h"
#include "marlcheckout/server.h"

namespace marl::frame_test {

namespace fs = std::filesystem;

class FrameDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterComponent();
    std::string tmpl =
        (fs::temp_directory_path() / "marl-frame-XXXXXX").string();
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

  std::string Dsn(const std::string& language = "en") const {
    return "ConnectString={Provider=SQLite;Data Source=" + db_path_ +
           "};DBMS Name=SQLite;DBMS Version=frame;LANGUAGE=" + language;
  }

  // A data source over the test database in `language`.
  std::shared_ptr<data::CDataSource> Source(const std::string& language) {
    auto parser = std::make_shared<data::CParse>();
    parser->ParseString(Dsn(language));
    auto ds = std::make_shared<data::CDataSource>();
    ds->SetParseObject(parser);
    return ds;
  }

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

  // The first column of the first row of a query ("" when none, "NULL").
  std::string Scalar(const std::string& sql) const {
    sqlite3* db = nullptr;
    sqlite3_open(db_path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* v = sqlite3_column_text(st, 0);
      out = v ? reinterpret_cast<const char*>(v) : "NULL";
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }

  // The lines of a text file.
  static std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path dir_;
  std::string db_path_;
};

}  // namespace marl::frame_test
