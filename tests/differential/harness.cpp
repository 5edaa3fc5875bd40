// The differential harness (see harness.h).
#include "differential/harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "data/provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"

namespace marl::test {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

// Columns left out of the comparison: those the database numbers itself
// when history comes back, and the type names each product spells its own
// way in its schema.
const std::map<std::string, std::string> kRenumbered = {
    {"cbcarriedcostrevertstdinfo", "fid"},
    {"cbcarriedcostrevertrealendstk", "fid"},
    {"cbcarriedcostrevertrealendbal", "fid"},
    {"cbmaterielinfo", "fitemid"},
    {"t_datatypeinfo", "ftypename"}};

// The sort key of a row: numbers to 9 significant digits, so that rows
// equal within the tolerance sort alike.
std::string SortKey(const std::vector<Cell>& row) {
  std::string key;
  for (const Cell& c : row) key += CellText(c, 9) + '\x1f';
  return key;
}

std::string RowText(const std::vector<std::string>& columns,
                    const std::vector<Cell>& row) {
  std::string text;
  for (size_t i = 0; i < row.size(); ++i) {
    text += (i ? " " : "") + columns[i] + "=" + CellText(row[i]);
  }
  return text;
}

}  // namespace

Backend::Backend(std::string kind) : kind_(std::move(kind)) {
  const char* server = std::getenv("MARL_TEST_PG");
  if (server != nullptr) server_ = server;
}

Backend::~Backend() {
  for (const std::string& db : created_) {
    Psql("DROP DATABASE IF EXISTS " + db + " WITH (FORCE)");
  }
}

std::string Backend::Missing() const {
  if (kind_ != "PostgreSQL") return "";
  if (server_.empty()) {
    return "MARL_TEST_PG is not set (./dev test sets it where the "
           "PostgreSQL server is installed)";
  }
  const fs::path schema =
      fs::path(MARL_SCHEMA_FILE).parent_path().parent_path() / "postgresql" /
      "erp.sql";
  if (!fs::exists(schema)) return "there is no schema " + schema.string();
  if (std::system("command -v psql >/dev/null") != 0) {
    return "the psql client is not installed";
  }
  try {
    RegisterComponent();  // the providers
    data::OpenPhysical(server_);
  } catch (const Error& e) {
    if (e.description().find("is not available") != std::string::npos) {
      return "the data layer has no provider for MARL_TEST_PG (" +
             e.description() + ")";
    }
    // Any other failure is the test's to report.
  }
  return "";
}

Side Backend::Create(const fs::path& dir, const std::string& tag) {
  const std::string path = (dir / (tag + ".db")).string();
  const std::string file = "Provider=SQLite;Data Source=" + path;
  if (kind_ == "SqliteFile") {
    return {"SQLite --db", {"--db", path}, file, {"--lang", "chs"}};
  }
  if (kind_ == "SqliteDsn") {
    std::ofstream(path).flush();  // an empty file: an empty database
    return {"SQLite --dsn",
            {"--dsn", "ConnectString={" + file +
                          "};DBMS Name=SQLite;DBMS Version=3.40;LANGUAGE=chs"},
            file,
            {}};
  }
  static int counter = 0;
  const std::string db = "marl_" + Lower(tag) + "_" + std::to_string(getpid()) +
                         "_" + std::to_string(++counter);
  EXPECT_EQ(Psql("CREATE DATABASE " + db), 0) << db;
  created_.push_back(db);
  static const std::regex kDatabase(R"((^|;)\s*Database\s*=[^;]*)",
                                    std::regex::icase);
  std::string connect = server_;
  if (std::regex_search(connect, kDatabase)) {
    connect = std::regex_replace(connect, kDatabase, "$1Database=" + db);
  } else {
    connect += ";Database=" + db;
  }
  return {"PostgreSQL",
          {"--dsn", "ConnectString={" + connect +
                        "};DBMS Name=PostgreSQL;DBMS Version=15;LANGUAGE=chs"},
          connect,
          {}};
}

// psql on the server and database of MARL_TEST_PG (whose values hold no
// quotes).
int Backend::Psql(const std::string& sql) const {
  const data::ConnectionParams p = data::ConnectionParams::Parse(server_);
  const std::string pwd = p.Get("pwd", p.Get("password"));
  const std::string command =
      (pwd.empty() ? "" : "PGPASSWORD='" + pwd + "' ") +
      "psql -X -q -v ON_ERROR_STOP=1 -h '" + p.Get("server", "127.0.0.1") +
      "' -p '" + p.Get("port", "5432") + "' -U '" + p.Get("uid", "postgres") +
      "' -d '" + p.Get("database", "postgres") + "' -c '" + sql + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Cell CellOf(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return {};
  if (v.Type() == VarType::Date) {
    return {Cell::Kind::kText, 0, Variant::FormatDate(v.AsDate())};
  }
  if (v.IsNumeric()) return {Cell::Kind::kNumber, v.ToDouble(), ""};
  return {Cell::Kind::kText, 0, v.ToText()};
}

bool SameCell(const Cell& a, const Cell& b) {
  if (a.kind == Cell::Kind::kNumber && b.kind == Cell::Kind::kNumber) {
    return std::fabs(a.number - b.number) <=
           1e-9 * std::max({1.0, std::fabs(a.number), std::fabs(b.number)});
  }
  return a.kind == b.kind && a.text == b.text;
}

std::string CellText(const Cell& c, int digits) {
  char buf[40];
  switch (c.kind) {
    case Cell::Kind::kNull:
      return "NULL";
    case Cell::Kind::kNumber:
      std::snprintf(buf, sizeof buf, "%.*g", digits, c.number);
      return buf;
    case Cell::Kind::kText:
      break;
  }
  return "'" + c.text + "'";
}

std::vector<std::string> SchemaTables() {
  std::ifstream in(MARL_SCHEMA_FILE);
  std::stringstream text;
  text << in.rdbuf();
  const std::string script = text.str();
  static const std::regex kCreate(R"(\nCREATE TABLE (\w+))");
  std::vector<std::string> tables;
  for (std::sregex_iterator it(script.begin(), script.end(), kCreate), end;
       it != end; ++it) {
    tables.push_back((*it)[1]);
  }
  return tables;
}

Tables ReadTables(const Side& side) {
  RegisterComponent();  // the providers
  Tables tables;
  auto conn = data::OpenPhysical(side.connect);
  for (const std::string& name : SchemaTables()) {
    const data::ResultSet rs = conn->Run("SELECT * FROM " + name, {});
    const auto skip = kRenumbered.find(Lower(name));
    std::vector<std::pair<std::string, size_t>> columns;  // name, position
    for (size_t i = 0; i < rs.columns.size(); ++i) {
      const std::string column = Lower(rs.columns[i].name);
      if (skip != kRenumbered.end() && skip->second == column) continue;
      columns.emplace_back(column, i);
    }
    std::sort(columns.begin(), columns.end());
    TableRows& t = tables[name];
    for (const auto& c : columns) t.columns.push_back(c.first);
    for (const auto& source : rs.rows) {
      std::vector<Cell> row;
      for (const auto& c : columns) row.push_back(CellOf(source[c.second]));
      t.rows.push_back(std::move(row));
    }
    std::sort(t.rows.begin(), t.rows.end(), [](const auto& x, const auto& y) {
      return SortKey(x) < SortKey(y);
    });
  }
  return tables;
}

void ExpectSameTables(const Tables& a, const Tables& b, const Side& side_a,
                      const Side& side_b, const std::string& when) {
  for (const auto& [name, ta] : a) {
    const auto it = b.find(name);
    if (it == b.end()) {
      ADD_FAILURE() << when << ": " << name << " is missing on " << side_b.name;
      continue;
    }
    const TableRows& tb = it->second;
    if (ta.columns != tb.columns) {
      ADD_FAILURE() << when << ": " << name << " has other columns on "
                    << side_a.name << " and " << side_b.name;
      continue;
    }
    const size_t n = std::max(ta.rows.size(), tb.rows.size());
    for (size_t r = 0; r < n; ++r) {
      const auto* ra = r < ta.rows.size() ? &ta.rows[r] : nullptr;
      const auto* rb = r < tb.rows.size() ? &tb.rows[r] : nullptr;
      size_t column = 0;
      if (ra != nullptr && rb != nullptr) {
        while (column < ra->size() && SameCell((*ra)[column], (*rb)[column])) {
          ++column;
        }
        if (column == ra->size()) continue;
      }
      ADD_FAILURE() << when << ": " << name << " differs at row " << r + 1
                    << " (" << ta.rows.size() << " rows on " << side_a.name
                    << ", " << tb.rows.size() << " on " << side_b.name << ")"
                    << (ra && rb ? ", column " + ta.columns[column] : "")
                    << "\n  " << side_a.name << ": "
                    << (ra ? RowText(ta.columns, *ra) : "-") << "\n  "
                    << side_b.name << ": "
                    << (rb ? RowText(tb.columns, *rb) : "-");
      break;
    }
  }
}

TableRows ListRows(const std::string& json) {
  const auto list = nlohmann::json::parse(json, nullptr, false);
  TableRows t;
  if (!list.is_array()) {
    ADD_FAILURE() << "not a list: " << json;
    return t;
  }
  for (const auto& item : list) {
    std::map<std::string, Cell> row;
    for (const auto& [key, v] : item.items()) {
      Cell& c = row[Lower(key)];
      if (v.is_number()) {
        c = {Cell::Kind::kNumber, v.get<double>(), ""};
      } else if (!v.is_null()) {
        c = {Cell::Kind::kText, 0,
             v.is_string() ? v.get<std::string>() : v.dump()};
      }
    }
    if (t.columns.empty()) {
      for (const auto& entry : row) t.columns.push_back(entry.first);
    }
    std::vector<Cell> cells;
    for (const auto& entry : row) cells.push_back(entry.second);
    EXPECT_EQ(cells.size(), t.columns.size()) << item.dump();
    cells.resize(t.columns.size());
    t.rows.push_back(std::move(cells));
  }
  return t;
}

std::vector<std::string> ToolArgs(const std::string& command, const Side& side,
                                  const std::vector<std::string>& args) {
  std::vector<std::string> all = {command};
  all.insert(all.end(), side.target.begin(), side.target.end());
  if (command != "init") {
    all.insert(all.end(), side.options.begin(), side.options.end());
  }
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

}  // namespace marl::test
