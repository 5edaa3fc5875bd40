// The differential harness (see harness.h).
#include "differential/harness.h"

#include <spawn.h>
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

// Columns the database numbers itself when history comes back.
const std::map<std::string, std::string> kRenumbered = {
    {"cbcarriedcostrevertstdinfo", "fid"},
    {"cbcarriedcostrevertrealendstk", "fid"},
    {"cbcarriedcostrevertrealendbal", "fid"},
    {"cbmaterielinfo", "fitemid"}};

struct ProgramResult {
  int status = -1;
  std::string output;  // standard output and error
};

// Runs a program found on PATH, with extra environment entries.
ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::vector<std::string>& env_extra = {}) {
  ProgramResult r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  std::vector<std::string> argv_s = args;
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s = env_extra;
  for (char** e = environ; *e != nullptr; ++e) env_s.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = -1;
  const int rc =
      posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.output.append(buf, n);
  close(fds[0]);
  if (rc != 0) return r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string d; std::getline(dirs, d, ':');) {
    if (!d.empty() && access((fs::path(d) / program).c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

class SqliteFileBackend final : public Backend {
 public:
  std::string Name() const override { return "SQLite --db"; }
  std::string Missing() const override { return ""; }
  Side Create(const fs::path& dir, const std::string& tag) override {
    const std::string path = (dir / (tag + ".db")).string();
    return {Name(),
            {"--db", path},
            "Provider=SQLite;Data Source=" + path,
            {"--lang", "chs"}};
  }
};

class SqliteDsnBackend final : public Backend {
 public:
  std::string Name() const override { return "SQLite --dsn"; }
  std::string Missing() const override { return ""; }
  Side Create(const fs::path& dir, const std::string& tag) override {
    const std::string path = (dir / (tag + "-dsn.db")).string();
    std::ofstream(path).flush();  // an empty file: an empty database
    const std::string connect = "Provider=SQLite;Data Source=" + path;
    return {Name(),
            {"--dsn", "ConnectString={" + connect +
                          "};DBMS Name=SQLite;DBMS Version=3.40;LANGUAGE=chs"},
            connect,
            {}};
  }
};

class PostgresBackend final : public Backend {
 public:
  PostgresBackend() {
    const char* server = std::getenv("MARL_TEST_PG");
    if (server != nullptr) server_ = server;
  }
  ~PostgresBackend() override {
    for (const std::string& db : created_) {
      Psql("DROP DATABASE IF EXISTS " + db + " WITH (FORCE)");
    }
  }

  std::string Name() const override { return "PostgreSQL"; }

  std::string Missing() const override {
    if (server_.empty()) {
      return "MARL_TEST_PG is not set (./dev test sets it where the "
             "PostgreSQL server is installed)";
    }
    const fs::path schema =
        fs::path(MARL_SCHEMA_FILE).parent_path().parent_path() / "postgresql" /
        "erp.sql";
    if (!fs::exists(schema)) return "there is no schema " + schema.string();
    if (!OnPath("psql")) return "the psql client is not installed";
    try {
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

  Side Create(const fs::path& /*dir*/, const std::string& tag) override {
    static int counter = 0;
    const std::string db = "marl_" + Lower(tag) + "_" +
                           std::to_string(getpid()) + "_" +
                           std::to_string(++counter);
    const ProgramResult r = Psql("CREATE DATABASE " + db);
    EXPECT_EQ(r.status, 0) << r.output;
    created_.push_back(db);
    static const std::regex kDatabase(R"((^|;)\s*Database\s*=[^;]*)",
                                      std::regex::icase);
    std::string connect = server_;
    if (std::regex_search(connect, kDatabase)) {
      connect = std::regex_replace(connect, kDatabase, "$1Database=" + db);
    } else {
      connect += ";Database=" + db;
    }
    return {
        Name(),
        {"--dsn", "ConnectString={" + connect +
                      "};DBMS Name=PostgreSQL;DBMS Version=15;LANGUAGE=chs"},
        connect,
        {}};
  }

 private:
  ProgramResult Psql(const std::string& sql) const {
    const data::ConnectionParams p = data::ConnectionParams::Parse(server_);
    std::vector<std::string> env;
    const std::string pwd = p.Get("pwd", p.Get("password"));
    if (!pwd.empty()) env.push_back("PGPASSWORD=" + pwd);
    return RunProgram({"psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h",
                       p.Get("server", "127.0.0.1"), "-p",
                       p.Get("port", "5432"), "-U", p.Get("uid", "postgres"),
                       "-d", p.Get("database", "postgres"), "-c", sql},
                      env);
  }

  std::string server_;
  std::vector<std::string> created_;
};

// The sort key of a row: numbers to 9 significant digits, so that rows
// equal within the tolerance sort alike.
std::string SortKey(const std::vector<Cell>& row) {
  std::string key;
  char buf[32];
  for (const Cell& c : row) {
    switch (c.kind) {
      case Cell::Kind::kNull:
        key += "n";
        break;
      case Cell::Kind::kNumber:
        std::snprintf(buf, sizeof buf, "%.9g", c.number);
        key += buf;
        break;
      case Cell::Kind::kText:
        key += "t" + c.text;
        break;
    }
    key += '\x1f';
  }
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

}  // namespace

std::unique_ptr<Backend> MakeBackend(const std::string& name) {
  if (name == "SqliteFile") return std::make_unique<SqliteFileBackend>();
  if (name == "SqliteDsn") return std::make_unique<SqliteDsnBackend>();
  if (name == "PostgreSQL") return std::make_unique<PostgresBackend>();
  ADD_FAILURE() << "no backend " << name;
  return nullptr;
}

Cell CellOf(const Variant& v) {
  Cell c;
  if (v.IsEmptyOrNull() || v.IsMissing()) return c;
  if (v.Type() == VarType::Date) {
    c.kind = Cell::Kind::kText;
    c.text = Variant::FormatDate(v.AsDate());
  } else if (v.IsNumeric()) {
    c.kind = Cell::Kind::kNumber;
    c.number = v.ToDouble();
  } else {
    c.kind = Cell::Kind::kText;
    c.text = v.ToText();
  }
  return c;
}

bool SameCell(const Cell& a, const Cell& b) {
  auto number = [](const Cell& c, double* out) {
    if (c.kind == Cell::Kind::kNumber) {
      *out = c.number;
      return true;
    }
    if (c.kind != Cell::Kind::kText || c.text.empty()) return false;
    char* end = nullptr;
    *out = std::strtod(c.text.c_str(), &end);
    return *end == '\0';
  };
  double x = 0, y = 0;
  if ((a.kind == Cell::Kind::kNumber || b.kind == Cell::Kind::kNumber) &&
      number(a, &x) && number(b, &y)) {
    return std::fabs(x - y) <=
           1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
  }
  return a.kind == b.kind && a.text == b.text;
}

std::string CellText(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kNull:
      return "NULL";
    case Cell::Kind::kNumber: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.17g", c.number);
      return buf;
    }
    case Cell::Kind::kText:
      return "'" + c.text + "'";
  }
  return "";
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

void ExpectSameList(const std::string& json_a, const std::string& json_b,
                    const std::string& what) {
  using Json = nlohmann::json;
  const Json a = Json::parse(json_a, nullptr, false);
  const Json b = Json::parse(json_b, nullptr, false);
  ASSERT_TRUE(a.is_array()) << what << ": " << json_a;
  ASSERT_TRUE(b.is_array()) << what << ": " << json_b;
  EXPECT_FALSE(a.empty()) << what << ": an empty list compares nothing";
  ASSERT_EQ(a.size(), b.size()) << what;
  auto cell = [](const Json& v) {
    Cell c;
    if (v.is_number()) {
      c.kind = Cell::Kind::kNumber;
      c.number = v.get<double>();
    } else if (v.is_string()) {
      c.kind = Cell::Kind::kText;
      c.text = v.get<std::string>();
    } else if (!v.is_null()) {
      c.kind = Cell::Kind::kText;
      c.text = v.dump();
    }
    return c;
  };
  for (size_t r = 0; r < a.size(); ++r) {
    std::map<std::string, Json> rb;
    for (const auto& [k, v] : b[r].items()) rb[Lower(k)] = v;
    ASSERT_EQ(a[r].size(), rb.size()) << what << " row " << r + 1;
    for (const auto& [k, v] : a[r].items()) {
      const auto it = rb.find(Lower(k));
      ASSERT_NE(it, rb.end()) << what << " row " << r + 1 << ": no " << k;
      ASSERT_TRUE(SameCell(cell(v), cell(it->second)))
          << what << " row " << r + 1 << ", " << k << ": " << v.dump()
          << " against " << it->second.dump();
    }
  }
}

std::vector<std::string> Tool::Args(
    const std::string& command, const Side& side,
    const std::vector<std::string>& args) const {
  return ToolArgs(command, side, args);
}

ToolResult Tool::Run(const std::string& command, const Side& side,
                     const std::vector<std::string>& args) const {
  return ToolProcess(dir_, Args(command, side, args)).Wait();
}

ToolProcess Tool::Start(const std::string& command, const Side& side,
                        const std::vector<std::string>& args) const {
  return ToolProcess(dir_, Args(command, side, args));
}

void Tool::InitDemo(const Side& side) const {
  const ToolResult r =
      Run("init", side, {"--demo", "--scale", "tiny", "--seed", "1"});
  ASSERT_EQ(r.status, 0) << side.name << ": " << r.out << r.err;
}

void DirectoryTest::SetUp() {
  std::string tmpl = (fs::temp_directory_path() / "marl-diff-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  dir_ = tmpl;
}

void DirectoryTest::TearDown() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

}  // namespace marl::test
