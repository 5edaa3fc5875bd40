// The three schema scripts (SQLite, PostgreSQL, SQL Server) declare the
// same tables with the same columns in the same order, the same keys and
// column indexes, and the same seed rows (t_DataTypeInfo: all but the type
// name, which is each database's own).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Schema {
  std::map<std::string, std::vector<std::string>> columns;  // by table
  std::set<std::string> keys;     // "table(cols)": primary keys, unique
  std::set<std::string> indexes;  // "table(cols)": other column indexes
  std::map<std::string, std::vector<std::string>> seeds;  // rows by table
};

// Splits at commas outside parentheses and quotes; items trimmed.
std::vector<std::string> Items(const std::string& s) {
  std::vector<std::string> out(1);
  int depth = 0;
  bool quoted = false;
  for (char c : s) {
    if (c == '\'') quoted = !quoted;
    depth += quoted ? 0 : (c == '(') - (c == ')');
    if (!quoted && depth == 0 && c == ',') {
      out.emplace_back();
    } else if (!(out.back().empty() && c == ' ')) {
      out.back() += c;
    }
  }
  for (std::string& item : out) item.erase(item.find_last_not_of(' ') + 1);
  return out;
}

Schema Read(const fs::path& file) {
  std::ifstream in(file);
  EXPECT_TRUE(in.good()) << file;
  std::stringstream buffer;
  buffer << in.rdbuf();
  // One line of text without comments (no seed text holds "--"), a
  // national string N'x' read as 'x'.
  std::string text = buffer.str();
  for (const auto& [from, to] :
       {std::pair{"--[^\n]*", ""}, std::pair{"\\s+", " "},
        std::pair{"\\bN'", "'"}}) {
    text = std::regex_replace(text, std::regex(from), to);
  }
  static const std::regex kTable(R"(CREATE TABLE (\w+) \((.*?)\);)");
  static const std::regex kIndex(
      R"(CREATE (UNIQUE )?INDEX \w+ ON (\w+) \(([\w, ]+)\);)");
  static const std::regex kInsert(
      R"(INSERT INTO (\w+) \(([\w, ]+)\) VALUES (.*?);)");
  static const std::regex kRow(R"(\(((?:'[^']*'|[^()'])*)\))");
  Schema s;
  for (std::sregex_iterator m(text.begin(), text.end(), kTable), e; m != e;
       ++m) {
    const std::string table = (*m)[1];
    for (const std::string& item : Items((*m)[2])) {
      const std::string name = item.substr(0, item.find(' '));
      if (name == "PRIMARY" || name == "UNIQUE") {
        s.keys.insert(table + item.substr(item.find('(')));
        continue;
      }
      s.columns[table].push_back(name);
      if (item.find("PRIMARY KEY") != std::string::npos) {
        s.keys.insert(table + "(" + name + ")");
      }
    }
  }
  for (std::sregex_iterator m(text.begin(), text.end(), kIndex), e; m != e;
       ++m) {
    (*m)[1].matched
        ? s.keys.insert((*m)[2].str() + "(" + (*m)[3].str() + ")")
        : s.indexes.insert((*m)[2].str() + "(" + (*m)[3].str() + ")");
  }
  for (std::sregex_iterator m(text.begin(), text.end(), kInsert), e; m != e;
       ++m) {
    const std::string table = (*m)[1];
    const std::vector<std::string> cols = Items((*m)[2]);
    const std::string rows = (*m)[3];
    for (std::sregex_iterator r(rows.begin(), rows.end(), kRow), re; r != re;
         ++r) {
      std::vector<std::string> values = Items((*r)[1]);
      std::string row;
      for (size_t i = 0; i < values.size() && i < cols.size(); ++i) {
        if (cols[i] != "FTypeName") row += cols[i] + "=" + values[i] + ";";
      }
      s.seeds[table].push_back(row);
    }
  }
  return s;
}

TEST(SchemaFilesTest, EveryDatabaseDeclaresTheSameTablesKeysAndSeedRows) {
  const fs::path dir = fs::path(MARL_SCHEMA_FILE).parent_path().parent_path();
  const Schema sqlite = Read(dir / "sqlite" / "erp.sql");
  ASSERT_EQ(sqlite.columns.size(), 46u);
  ASSERT_EQ(sqlite.seeds.size(), 4u);
  EXPECT_EQ(sqlite.seeds.at("t_DataTypeInfo").size(), 24u);
  EXPECT_EQ(sqlite.seeds.at("CB_BmErrCode").size(), 11u);
  for (const char* other : {"postgresql", "sqlserver"}) {
    SCOPED_TRACE(other);
    const Schema s = Read(dir / other / "erp.sql");
    EXPECT_EQ(s.columns, sqlite.columns);
    EXPECT_EQ(s.keys, sqlite.keys);
    EXPECT_EQ(s.indexes, sqlite.indexes);
    EXPECT_EQ(s.seeds, sqlite.seeds);
  }
}

}  // namespace
