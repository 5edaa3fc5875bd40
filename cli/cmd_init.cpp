// marl-checkout init: creates the ERP tables with their seed rows (and,
// with --demo, the demonstration company).
//
//   init --db PATH  [--force] [--demo [--scale S] [--seed N]]
//   init --dsn STRING [--force] [--demo [--scale S] [--seed N]]
//
// --db: an SQLite database file, built in a temporary file next to PATH and
// renamed over it only when the whole script ran, so a failed init never
// leaves a half database nor destroys the old one. Without --force an
// existing PATH is refused (exit 2).
//
// --dsn: an existing database named by a connection property string, on
// any provider. The schema script is the one of the string's "DBMS Name"
// (SchemaFileFor), run as it is written, in the database's own dialect
// (PhysicalConnection::RunNativeScript); the demonstration company is
// written through the data layer. First every table the script creates is
// looked for (SELECT COUNT(*) FROM it; a table that cannot be counted is
// taken as absent): a database that holds any of them is refused (exit 2,
// naming what was found) unless --force, which drops those tables first.
// The drops, the script and the demonstration data run in one transaction:
// on a failure nothing is left behind, as far as the database's data
// definitions are transactional (SQLite, PostgreSQL and SQL Server all
// are). For SQLite the database file must exist (an empty file is an empty
// database).
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "close_log.h"
#include "common.h"
#include "data/cparse.h"
#include "data/provider.h"
#include "demo_data.h"
#include "interrupt.h"
#include "operator.h"

namespace marl::cli {

namespace {

struct InitOptions {
  std::string db;
  std::string dsn;
  bool force = false;
  bool demo = false;  // --demo: fill the demonstration company
  DemoOptions demo_options;
  bool demo_option_given = false;     // --scale or --seed
  std::string json_format = "table";  // --format
  bool json = false;
};

// On a terminal, says on standard error that the demonstration company is
// being written (it takes seconds at the larger scales) and, when done,
// how long it took. Silent otherwise.
class DemoNotice {
 public:
  explicit DemoNotice(const DemoOptions& d)
      : tty_(::isatty(STDERR_FILENO) != 0),
        start_(std::chrono::steady_clock::now()) {
    if (tty_) {
      std::cerr << "Writing the demonstration company (scale " << d.scale
                << ", seed " << d.seed << ") ..." << std::flush;
    }
  }
  void Done() {
    if (!tty_) return;
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_)
            .count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", s);
    std::cerr << " done in " << buf << " s\n";
    tty_ = false;
  }
  ~DemoNotice() {
    if (tty_) std::cerr << " failed\n";
  }
  DemoNotice(const DemoNotice&) = delete;
  DemoNotice& operator=(const DemoNotice&) = delete;

 private:
  bool tty_;
  std::chrono::steady_clock::time_point start_;
};

// What init reports on standard output: a line, or with --format json
// {"database", "tables", "demo", "scale", "seed"} (scale and seed null
// without --demo).
void PrintCreated(const InitOptions& o, const std::string& label, size_t tables,
                  const std::string& line) {
  if (!o.json) {
    std::cout << line << "\n";
    return;
  }
  std::cout << Dump({{"database", label},
                     {"tables", tables},
                     {"demo", o.demo},
                     {"scale", o.demo ? Json(o.demo_options.scale) : Json()},
                     {"seed", o.demo ? Json(o.demo_options.seed) : Json()}})
            << "\n";
}

void RemoveDatabase(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(path + suffix, ec);
  }
}

bool ReadScript(const std::string& path, std::string* script) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "marl-checkout init: cannot read the schema " << path << "\n";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *script = text.str();
  return true;
}

std::vector<std::string> CreatedTables(const std::string& script);

int RunInitDb(const InitOptions& o) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(o.db, ec) && !o.force) {
    std::cerr << "marl-checkout init: " << o.db
              << " exists; use --force to overwrite it\n";
    return kExitRefused;
  }
  const std::string schema_path = SchemaFile();
  std::string script;
  if (!ReadScript(schema_path, &script)) return kExitError;

  const std::string tmp = o.db + ".init-" + std::to_string(::getpid());
  RemoveDatabase(tmp);
  CleanupScope cleanup(tmp);  // Ctrl-C removes it
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  if (rc != SQLITE_OK) {
    std::cerr << "marl-checkout init: cannot create " << o.db << ": "
              << (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)) << "\n";
    db.reset();
    RemoveDatabase(tmp);
    return kExitError;
  }
  char* message = nullptr;
  rc = sqlite3_exec(db.get(), script.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::cerr << "marl-checkout init: the schema " << schema_path
              << " failed: " << (message ? message : sqlite3_errstr(rc))
              << "\n";
    sqlite3_free(message);
    db.reset();
    RemoveDatabase(tmp);
    return kExitError;
  }
  rc = sqlite3_exec(db.get(), CloseLogDdl("SQLite").c_str(), nullptr, nullptr,
                    &message);
  if (rc != SQLITE_OK) {
    std::cerr << "marl-checkout init: the close log table failed: "
              << (message ? message : sqlite3_errstr(rc)) << "\n";
    sqlite3_free(message);
    db.reset();
    RemoveDatabase(tmp);
    return kExitError;
  }
  if (o.demo) {
    try {
      DemoNotice notice(o.demo_options);
      FillDemoCompany(db.get(), o.demo_options);
      notice.Done();
    } catch (const std::exception& e) {
      std::cerr << "marl-checkout init: the demonstration data failed: "
                << e.what() << "\n";
      db.reset();
      RemoveDatabase(tmp);
      return kExitError;
    }
  }
  // Readers beside one writer from the first use on (the provider also
  // switches a database it opens; see sqlite_provider.h).
  sqlite3_exec(db.get(), "PRAGMA journal_mode = WAL", nullptr, nullptr,
               nullptr);
  db.reset();
  RemoveDatabase(o.db);
  fs::rename(tmp, o.db, ec);
  if (ec) {
    std::cerr << "marl-checkout init: cannot move the new database to " << o.db
              << ": " << ec.message() << "\n";
    RemoveDatabase(tmp);
    return kExitError;
  }
  PrintCreated(o, o.db, CreatedTables(script).size(), "created " + o.db);
  return kExitOk;
}

// The tables a schema script creates, in order: the names after CREATE
// TABLE outside comments, without brackets, quotes or a schema prefix.
std::vector<std::string> CreatedTables(const std::string& script) {
  static const std::regex kComment(R"(--[^\n]*|/\*[\s\S]*?\*/)");
  static const std::regex kCreate(
      R"(\bCREATE\s+TABLE\s+(?:IF\s+NOT\s+EXISTS\s+)?([\w.\[\]"]+))",
      std::regex::icase);
  static const std::regex kDecoration(R"(^.*\.|[\[\]"])");
  const std::string code = std::regex_replace(script, kComment, " ");
  std::vector<std::string> tables;
  for (std::sregex_iterator it(code.begin(), code.end(), kCreate), end;
       it != end; ++it) {
    const std::string name = (*it)[1];
    tables.push_back(std::regex_replace(name, kDecoration, ""));
  }
  return tables;
}

// Begins a write transaction on a physical connection; rolls it back unless
// committed.
class ScriptTransaction {
 public:
  explicit ScriptTransaction(data::PhysicalConnection& conn) : conn_(conn) {
    conn_.Begin(true);
  }
  ~ScriptTransaction() {
    if (open_) {
      try {
        conn_.Rollback();
      } catch (const Error&) {
        // Closing the connection rolls back what could not be.
      }
    }
  }
  ScriptTransaction(const ScriptTransaction&) = delete;
  ScriptTransaction& operator=(const ScriptTransaction&) = delete;
  void Commit() {
    conn_.Commit();
    open_ = false;
  }

 private:
  data::PhysicalConnection& conn_;
  bool open_ = true;
};

int RunInitDsn(const InitOptions& o) {
  std::string connect, dbms;
  {
    data::CParse parse;
    try {
      parse.ParseString(o.dsn);
      connect = parse.ConStr();
    } catch (const Error&) {
      throw UsageError("the connection property string has no ConnectString: " +
                       o.dsn);
    }
    try {
      dbms = parse.ConDBMSName();
    } catch (const Error&) {
      throw UsageError(
          "the connection property string has no DBMS Name, which chooses "
          "the schema: " +
          o.dsn);
    }
  }
  const std::string schema_path = SchemaFileFor(dbms);
  if (schema_path.empty()) {
    throw UsageError("no schema for DBMS Name=" + dbms +
                     " (there are schemas for SQLite, PostgreSQL and "
                     "Microsoft SQL Server)");
  }
  std::string script;
  if (!ReadScript(schema_path, &script)) return kExitError;
  const std::vector<std::string> tables = CreatedTables(script);
  const std::string label = MaskPasswords(connect);

  std::unique_ptr<data::PhysicalConnection> conn;
  try {
    conn = data::OpenPhysical(connect);
  } catch (const Error& e) {
    std::cerr << "marl-checkout init: cannot open " << label << ": "
              << e.description() << "\n";
    return kExitError;
  }
  std::vector<std::string> found;
  std::string listing;
  for (const std::string& t : tables) {
    try {
      auto rows = conn->Run("SELECT COUNT(*) FROM " + t, {}).rows;
      const auto n = static_cast<int64_t>(rows.at(0).at(0).ToDouble());
      found.push_back(t);
      if (found.size() <= 5) {
        listing += (found.size() > 1 ? ", " : "") + t + " (" +
                   std::to_string(n) + " rows)";
      }
    } catch (const Error&) {
      // Not there (or not readable): the script creates it.
    }
  }
  if (found.size() > 5) listing += ", ...";
  // The close log of an earlier init goes with the tables it speaks of.
  bool has_log = false;
  try {
    conn->Run(std::string("SELECT COUNT(*) FROM ") + kCloseLogTable, {});
    has_log = true;
  } catch (const Error&) {
  }
  if (!found.empty() && !o.force) {
    std::cerr << "marl-checkout init: " << label << " already holds "
              << found.size() << " of the " << tables.size()
              << " ERP tables: " << listing
              << "; use --force to drop them and create them again\n";
    return kExitRefused;
  }

  std::string stage;  // what failed, for the message
  try {
    ScriptTransaction tx(*conn);
    for (auto t = found.rbegin(); t != found.rend(); ++t) {
      stage = "dropping " + *t;
      conn->RunNativeScript("DROP TABLE " + *t);
    }
    if (has_log && o.force) {
      stage = std::string("dropping ") + kCloseLogTable;
      conn->RunNativeScript(std::string("DROP TABLE ") + kCloseLogTable);
    }
    stage = "the schema " + schema_path;
    conn->RunNativeScript(script);
    stage = "the close log table";
    conn->RunNativeScript(CloseLogDdl(dbms));
    if (o.demo) {
      stage = "the demonstration data";
      DemoNotice notice(o.demo_options);
      FillDemoCompany(*conn, o.demo_options);
      notice.Done();
    }
    stage = "the commit";
    tx.Commit();
  } catch (const Error& e) {
    std::cerr << "marl-checkout init: " << stage << " failed: " << e.source()
              << ": " << e.description() << "\n";
    return kExitError;
  } catch (const std::exception& e) {
    std::cerr << "marl-checkout init: " << stage << " failed: " << e.what()
              << "\n";
    return kExitError;
  }
  PrintCreated(o, label, tables.size(),
               "created " + std::to_string(tables.size()) + " ERP tables" +
                   (o.demo ? " and the demonstration company" : "") + " in " +
                   label);
  return kExitOk;
}

int RunInit(const InitOptions& options) {
  return RunGuarded("init", [&] {
    InitOptions o = options;
    o.json = o.json_format == "json";
    if (o.db.empty() == o.dsn.empty()) {
      throw UsageError(
          "give the database with either --db PATH or --dsn STRING");
    }
    if (o.demo_option_given && !o.demo) {
      throw UsageError("--scale and --seed go with --demo");
    }
    return o.db.empty() ? RunInitDsn(o) : RunInitDb(o);
  });
}

CommandRunner SetupInit(CLI::App* sub) {
  auto options = std::make_shared<InitOptions>();
  sub->add_option("--db", options->db, "SQLite database file to create");
  sub->add_option("--dsn", options->dsn,
                  "Connection property string of an existing database; its "
                  "DBMS Name chooses the schema");
  sub->add_flag("--force", options->force,
                "Overwrite an existing file (--db); drop the ERP tables found "
                "and create them again (--dsn)");
  sub->add_flag("--demo", options->demo,
                "Fill a demonstration company with a history of closed "
                "periods and an open current period");
  sub->add_option("--scale", options->demo_options.scale,
                  "Size of the demonstration company (with --demo)")
      ->check(CLI::IsMember({"tiny", "small", "medium", "large"}))
      ->each(
          [options](const std::string&) { options->demo_option_given = true; });
  sub->add_option("--seed", options->demo_options.seed,
                  "Seed of the demonstration data (with --demo)")
      ->each(
          [options](const std::string&) { options->demo_option_given = true; });
  sub->add_option("--format", options->json_format,
                  "table (default: one line) or json: one object")
      ->check(CLI::IsMember({"table", "json"}));
  sub->footer(
      "Exit status: 0 created; 2 usage; 3 the database could not be "
      "opened, or the schema or the demonstration data could not be read "
      "or written (nothing changed); 4 refused: the file or the ERP tables "
      "exist and --force was not given (nothing changed).");
  return [options] { return RunInit(*options); };
}

const CommandRegistration kInit(
    "init", 10,
    "Create the ERP tables with their seed rows: a new SQLite file, or an "
    "existing empty database on any provider",
    SetupInit);

}  // namespace

}  // namespace marl::cli
