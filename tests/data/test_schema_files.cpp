// The three schema scripts (SQLite, PostgreSQL, SQL Server) declare the
// same tables with the same columns in the same order, the same keys and
// column indexes, and the same seed rows (t_DataTypeInfo: all but the type
// name, which is each database's own).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Schema {
  std::map<std::string, std::vector<std::string>> columns;  // by table
  std::set<std::string> keys;     // "table(cols)" of primary keys and
                                  // unique indexes
  std::set<std::string> indexes;  // "table(cols)" of plain column indexes
  std::map<std::string, std::vector<std::string>> seeds;  // rows by table
};

// The script's statements, without comments, split at ";" outside strings.
std::vector<std::string> Statements(const std::string& text) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!quoted && c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      i = text.find('\n', i);
      if (i == std::string::npos) break;
      out.back() += ' ';
      continue;
    }
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == ';') {
      out.emplace_back();
      continue;
    }
    out.back() += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(c));
  return s;
}

// Splits at commas outside parentheses and quotes; items trimmed.
std::vector<std::string> Items(const std::string& s) {
  std::vector<std::string> out(1);
  int depth = 0;
  bool quoted = false;
  for (char c : s) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')') --depth;
    if (!quoted && depth == 0 && c == ',') {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  for (std::string& item : out) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
  }
  return out;
}

// The text between the first "(" at or after `from` and its match.
std::string Group(const std::string& s, size_t from, size_t* end = nullptr) {
  size_t open = s.find('(', from);
  int depth = 0;
  bool quoted = false;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '\'') quoted = !quoted;
    if (quoted) continue;
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0) {
      if (end) *end = i + 1;
      return s.substr(open + 1, i - open - 1);
    }
  }
  return "";
}

std::string Word(const std::string& s, size_t n) {
  std::istringstream in(s);
  std::string w;
  for (size_t i = 0; i <= n; ++i) in >> w;
  return w;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : ",") + i;
  return out;
}

// A seed value: N'x' and 'x' as x, numbers and NULL as written.
std::string Value(std::string v) {
  if (v.rfind("N'", 0) == 0) v.erase(0, 1);
  return v;
}

Schema Read(const fs::path& file) {
  std::ifstream in(file);
  EXPECT_TRUE(in.good()) << file;
  std::stringstream text;
  text << in.rdbuf();
  Schema schema;
  for (const std::string& st : Statements(text.str())) {
    const std::string u = Upper(st);
    if (u.find("CREATE TABLE") != std::string::npos) {
      const std::string table = Word(st, 2);
      for (const std::string& item : Items(Group(st, 0))) {
        const std::string first = Upper(Word(item, 0));
        if (first == "PRIMARY" || first == "UNIQUE" || first == "CONSTRAINT") {
          schema.keys.insert(table + "(" + Group(item, 0) + ")");
          continue;
        }
        schema.columns[table].push_back(Word(item, 0));
        if (Upper(item).find("PRIMARY KEY") != std::string::npos) {
          schema.keys.insert(table + "(" + Word(item, 0) + ")");
        }
      }
    } else if (u.find("CREATE ") != std::string::npos &&
               u.find(" INDEX ") != std::string::npos) {
      const size_t on = u.find(" ON ");
      const std::string table = Word(st.substr(on + 4), 0);
      const std::string cols = Joined(Items(Group(st, on)));
      if (cols.front() == '(') continue;  // an expression index
      (u.find("UNIQUE") != std::string::npos ? schema.keys : schema.indexes)
          .insert(table + "(" + cols + ")");
    } else if (u.find("INSERT INTO") != std::string::npos) {
      const std::string table = Word(st, 2);
      const std::vector<std::string> cols = Items(Group(st, 0));
      size_t pos = u.find("VALUES");
      size_t end = 0;
      while (pos != std::string::npos &&
             st.find('(', pos) != std::string::npos) {
        std::vector<std::string> values = Items(Group(st, pos, &end));
        std::string row;
        for (size_t i = 0; i < values.size() && i < cols.size(); ++i) {
          if (table == "t_DataTypeInfo" && cols[i] == "FTypeName") continue;
          row += cols[i] + "=" + Value(values[i]) + ";";
        }
        schema.seeds[table].push_back(row);
        pos = end;
      }
    }
  }
  return schema;
}

TEST(SchemaFilesTest, EveryDatabaseDeclaresTheSameTablesKeysAndSeedRows) {
  const fs::path dir = fs::path(MARL_SCHEMA_FILE).parent_path().parent_path();
  const Schema sqlite = Read(dir / "sqlite" / "erp.sql");
  ASSERT_EQ(sqlite.columns.size(), 46u);
  ASSERT_EQ(sqlite.seeds.size(), 4u);
  EXPECT_EQ(sqlite.seeds.at("t_DataTypeInfo").size(), 24u);
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
