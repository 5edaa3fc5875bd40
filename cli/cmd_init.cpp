// marl-checkout init --db PATH [--force]: creates an SQLite ERP database from
// the schema script with its seed rows.
//
// The database is built in a temporary file next to PATH and renamed over
// it only when the whole script ran, so a failed init never leaves a half
// database nor destroys the old one. Without --force an existing PATH is
// refused (exit 2).
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "common.h"
#include "demo_data.h"

namespace marl::cli {

namespace {

struct InitOptions {
  std::string db;
  bool force = false;
  bool demo = false;  // --demo: fill the demonstration company
  DemoOptions demo_options;
};

void RemoveDatabase(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(path + suffix, ec);
  }
}

int RunInit(const InitOptions& o) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(o.db, ec) && !o.force) {
    std::cerr << "marl-checkout init: " << o.db
              << " exists; use --force to overwrite it\n";
    return kExitUsage;
  }
  const std::string schema_path = SchemaFile();
  std::ifstream in(schema_path, std::ios::binary);
  if (!in) {
    std::cerr << "marl-checkout init: cannot read the schema " << schema_path
              << "\n";
    return kExitFailure;
  }
  std::ostringstream script;
  script << in.rdbuf();

  const std::string tmp = o.db + ".init-" + std::to_string(::getpid());
  RemoveDatabase(tmp);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  if (rc != SQLITE_OK) {
    std::cerr << "marl-checkout init: cannot create " << o.db << ": "
              << (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)) << "\n";
    db.reset();
    RemoveDatabase(tmp);
    return kExitFailure;
  }
  char* message = nullptr;
  rc = sqlite3_exec(db.get(), script.str().c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::cerr << "marl-checkout init: the schema " << schema_path
              << " failed: " << (message ? message : sqlite3_errstr(rc))
              << "\n";
    sqlite3_free(message);
    db.reset();
    RemoveDatabase(tmp);
    return kExitFailure;
  }
  if (o.demo) {
    try {
      FillDemoCompany(db.get(), o.demo_options);
    } catch (const std::exception& e) {
      std::cerr << "marl-checkout init: the demonstration data failed: "
                << e.what() << "\n";
      db.reset();
      RemoveDatabase(tmp);
      return kExitFailure;
    }
  }
  db.reset();
  RemoveDatabase(o.db);
  fs::rename(tmp, o.db, ec);
  if (ec) {
    std::cerr << "marl-checkout init: cannot move the new database to " << o.db
              << ": " << ec.message() << "\n";
    RemoveDatabase(tmp);
    return kExitFailure;
  }
  std::cout << "created " << o.db << "\n";
  return kExitOk;
}

CommandRunner SetupInit(CLI::App& app) {
  auto options = std::make_shared<InitOptions>();
  CLI::App* sub = app.add_subcommand(
      "init",
      "Create an SQLite ERP database from the schema with its seed rows");
  sub->add_option("--db", options->db, "Database file to create")->required();
  sub->add_flag("--force", options->force, "Overwrite an existing file");
  sub->add_flag("--demo", options->demo,
                "Fill a demonstration company with a history of closed "
                "periods and an open current period");
  sub->add_option("--scale", options->demo_options.scale,
                  "Size of the demonstration company (with --demo)")
      ->check(CLI::IsMember({"tiny", "small", "medium", "large"}));
  sub->add_option("--seed", options->demo_options.seed,
                  "Seed of the demonstration data (with --demo)");
  sub->footer(
      "Exit status: 0 created; 1 the schema could not be read or run; 2 usage "
      "error or the file exists without --force.");
  return [options] { return RunInit(*options); };
}

const CommandRegistration kInit("init", 10, SetupInit);

}  // namespace

}  // namespace marl::cli
