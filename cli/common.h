// Shared pieces of the marl-checkout commands: exit codes, the command
// table, connection property strings, and the JSON form of values and
// errors.
//
// Adding a command: put a file cli/cmd_<name>.cpp next to the others that
// defines a setup function and registers it, with the command's one-line
// description, with a static CommandRegistration (see cmd_init.cpp). Setup
// adds the command's options to its subcommand of the tool's CLI::App and
// returns the function that runs it and gives the exit status; it is called
// only where the command can be parsed or asked for help.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "marlcheckout/containers.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace marl::cli {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command's own work failed
inline constexpr int kExitUsage = 2;    // bad arguments, refused overwrite
inline constexpr int kExitError = 3;    // a component call raised an error

using Json = nlohmann::ordered_json;

// A usage error: the message is printed as it is and the tool exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using CommandRunner = std::function<int()>;
using CommandSetup = std::function<CommandRunner(CLI::App* sub)>;

struct CommandInfo {
  std::string name;
  int order = 0;            // position in the help listing
  std::string description;  // its line in the help listing
  CommandSetup setup;
};

// Every registered command, in registration order.
std::vector<CommandInfo>& Commands();

struct CommandRegistration {
  CommandRegistration(std::string name, int order, std::string description,
                      CommandSetup setup);
};

// The connection property string for an SQLite database file:
// ConnectString={Provider=SQLite;Data Source=PATH};DBMS Name=SQLite;
// DBMS Version=<library version>;LANGUAGE=<language>. A path holding ";"
// or "}" cannot be written into it (UsageError).
std::string SqliteDsn(const std::string& path, const std::string& language);

// The schema script: $MARL_SCHEMA_FILE when set, else sqlite/erp.sql in the
// schema folder: <data directory>/schema of an installed tool
// (platform/install_paths.h), else the source tree's schema/ of the build.
std::string SchemaFile();

// The schema script for a database product by its "DBMS Name" (compared
// without regard to case): SQLite -> SchemaFile(); PostgreSQL and
// Microsoft SQL Server (or SQL Server) -> postgresql/erp.sql and
// sqlserver/erp.sql in that schema folder. Empty for any
// other product.
std::string SchemaFileFor(const std::string& dbms_name);

// JSON of a value: Empty, Null and Missing as null; numbers; Booleans;
// dates as canonical text; byte arrays as arrays of numbers; an ItemList as
// an array; a FieldValueSet as an object; a recordset as an array of row
// objects keyed by column name; any other object as null.
Json ToJson(const Variant& value);

// {"error": {"number", "source", "description", "helpFile", "helpContext"}}
Json ErrorJson(const Error& e);

// One line of JSON (UTF-8, invalid sequences replaced).
std::string Dump(const Json& j);

// An argument converted to a parameter's declared type (see cmd_call.cpp);
// UsageError when it does not convert.
Variant ArgToVariant(const std::string& text, const ParamInfo& param);

// A FieldValueSet from a JSON object text (see cmd_call.cpp).
std::shared_ptr<FieldValueSet> JsonToValueSet(const std::string& text);

// A date from "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" exactly.
bool ParseDateText(const std::string& text, double* date);

}  // namespace marl::cli
