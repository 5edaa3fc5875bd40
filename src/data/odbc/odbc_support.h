// Pieces of the ODBC provider that need no database: owning handles, UTF-8
// <-> UTF-16 text, diagnostic records turned into the error record, and the
// spelling of result column names.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "marlcheckout/error.h"

namespace marl::data::odbc {

inline constexpr const char* kSource = "ODBC";

// Owning handles: freed when they end. A connection handle is disconnected
// first (see Dbc in odbc_provider.cpp); statements and environments are
// only freed.
template <SQLSMALLINT kType>
struct HandleDeleter {
  void operator()(SQLHANDLE h) const { SQLFreeHandle(kType, h); }
};
using EnvHandle = std::unique_ptr<void, HandleDeleter<SQL_HANDLE_ENV>>;
using StmtHandle = std::unique_ptr<void, HandleDeleter<SQL_HANDLE_STMT>>;

using WideText = std::vector<SQLWCHAR>;  // UTF-16, no terminator

// UTF-8 -> UTF-16 (malformed bytes become U+FFFD) and back (unpaired
// surrogates become U+FFFD).
WideText Widen(std::string_view utf8);
std::string Narrow(const SQLWCHAR* text, size_t units);

// One diagnostic record.
struct Diagnostic {
  std::string sqlstate;
  int32_t native = 0;
  std::string message;
};

// Every diagnostic record of a handle, in order.
std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// The error record for a failure: the OLE DB number from the first record
// whose SQLSTATE class says more than "failed" (23 integrity -> kDbIntegrity;
// 42P01 / 42S02 missing table -> kDbNoTable; other 42, syntax or access
// rule -> kDbSyntax; else kDbFail). The SQLite3 driver reports the
// general HY000 for everything: with `sqlite_messages` set, such a record is
// classed by SQLite's own words as the embedded provider does ("no such
// table", "constraint", "syntax error", "no such column", "no such
// function"). Source kSource; description every record as
// "[SQLSTATE] message", one per line, `context` first when not empty.
Error MakeError(const std::vector<Diagnostic>& records, bool sqlite_messages,
                const std::string& context = "");

// The spelling of names as a command text writes them, for a driver that
// reports result column names folded to lower case. Remember() notes the
// words and quoted names of a text (a later spelling of the same name does
// not replace an earlier one); Spell() gives the noted spelling of a
// reported name that is all lower case, else the name as reported.
class Spellings {
 public:
  void Remember(std::string_view text);
  std::string Spell(const std::string& reported) const;
  bool Empty() const { return by_lower_.empty(); }

 private:
  std::unordered_map<std::string, std::string> by_lower_;
};

}  // namespace marl::data::odbc
