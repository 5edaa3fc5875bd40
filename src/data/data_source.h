// CDataSource: turns a parsed connection property string into database
// connections and describes the database product behind them.
//
// Connections
// - Connection() and UnCommittedConnection() open a new connection at every
//   call with the parser's "ConnectString" (empty user and password), set
//   client-side cursors and no command time-out, and run the isolation
//   statement (read committed / read uncommitted). The caller owns the
//   connection and closes it. Failures are raised unchanged.
//
// Database description cache
// - Two process-wide groups in the shared property store per product name
//   and version as the property string gives them ("DBMS Name" directly
//   followed by "DBMS Version"): <name><version>"DataSource" (provider
//   capabilities, the supported procedures, the connection string, and
//   "Connected" once complete) and <name><version>"DataTypeInfo" (one
//   FieldValueSet per row of t_DataTypeInfo, at the position of its
//   FDataType).
// - Each group is filled once per process, by the first reader, and never
//   refreshed afterwards: a second reader is served from the store without
//   touching the database.
// - A failed fill is retried by the next reader. For "DataSource" a failed
//   fill makes the capability accessors give "", false or 0 and makes
//   ProcSupported raise the fill's error. For "DataTypeInfo" the fill's error
//   (table missing, null FDataType) is raised to the reader.
// - No reader sees a half-filled group. A fill reads everything from the
//   database first, then publishes it under the group's fill lock, writing a
//   completion mark last ("Connected" for "DataSource", the named property
//   "Filled" for "DataTypeInfo"); a group already marked complete is not
//   written again. A reader that finds no mark fills the group itself (so a
//   failed fill is retried, and a "DataTypeInfo" group whose creator failed
//   is not left empty for the life of the process); a reader that finds the
//   mark reads without any group-wide lock.
// - The fill lock is never held across database work. A fill opens its
//   connection with the caller's connection string, which inside a
//   transaction gives the transaction's enlisted connection and with it the
//   database write lock; a fill lock held
//   while waiting for that lock would stall a second transaction that
//   already holds it and needs the same group (until the busy timeout fails
//   one of them). The price: readers that find the same group incomplete at
//   the same moment each read the database once; one of them publishes.
//
// Errors: every failure is raised as marl::Error. A missing data type row
// raises the store's error 5; null FTypeName, FActualType or FBindType raise
// 94 (invalid use of null). Without a ParseObject every operation raises 91.
// Thread safety: an instance is used by one thread at a time; the cache is
// shared by all threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "data/ado.h"
#include "data/cparse.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/variant.h"
#include "platform/shared_property.h"

namespace marl::data {

using AdoConnection = Connection;

class CDataSource {
 public:
  CDataSource() = default;

  // The owner's parser; set before any other use.
  const std::shared_ptr<CParse>& ParseObject() const { return parse_; }
  void SetParseObject(std::shared_ptr<CParse> parse) {
    parse_ = std::move(parse);
  }

  // A new open connection at read-uncommitted isolation.
  std::shared_ptr<AdoConnection> UnCommittedConnection();
  // A new open connection at read-committed isolation.
  std::shared_ptr<AdoConnection> Connection();

  std::string ConnectString() const;  // ConStr of the parser
  std::string DBMSName() const;       // ConDBMSName of the parser
  // Cached capabilities; "", false or 0 when the cache could not be filled.
  std::string DBMSVersion();
  bool MultipleResults();
  bool LikeEscapeClause();
  bool IEF();
  int32_t NumericFunctions();
  int32_t StringFunctions();
  int32_t SystemFunctions();
  int32_t DateTimeFunctions();
  // Whether `proc_name` is listed in t_SupportedProc; raises the fill's
  // error when the cache cannot be filled.
  bool ProcSupported(const std::string& proc_name);

  // Fills `group` with the rows of t_DataTypeInfo (read over a connection of
  // its own) and marks it complete; a group already marked complete is left
  // as it is. Raises on any failure, storing nothing.
  void LoadDataTypeInfo(SharedPropertyGroup& group);

  // The column type name for an ADO data type code, with precision and scale
  // written into it. A null pointer stands for an argument not given (0 is
  // used, nothing is written back). When `precision` exceeds the type's
  // largest precision, returns "" and changes nothing. Otherwise clamps the
  // scale to the type's limits, sets precision and scale to 0 when the type
  // takes no precision, and sets the actual type, actual size and bind type.
  std::string GetTypeName(int32_t data_type, int32_t* precision = nullptr,
                          int32_t* scale = nullptr,
                          int32_t* actual_type = nullptr,
                          int32_t* actual_size = nullptr,
                          int32_t* bind_type = nullptr);
  // The actual type code; 0 (nothing changed) when `precision` exceeds the
  // type's largest precision. Clamps the scale, sets the actual size and
  // bind type; never resets precision or scale to 0.
  int32_t GetActualType(int32_t data_type, int32_t* precision = nullptr,
                        int32_t* scale = nullptr,
                        int32_t* actual_size = nullptr,
                        int32_t* bind_type = nullptr);
  int32_t GetBindType(int32_t data_type);
  // DBMSName() equals "Oracle" exactly.
  bool IsOracle() const;

 private:
  const CParse& Parser() const;
  // `isolation`: the statement run on the new connection.
  std::shared_ptr<AdoConnection> OpenConnection(const std::string& isolation);
  std::shared_ptr<SharedPropertyGroup> Group(const char* suffix,
                                             bool* existed = nullptr) const;
  bool LoadDataSourceInfo(bool raise);
  bool LoadDeferredInfo(bool raise);
  Variant GetDataSourceValue(const std::string& name, bool raise);
  std::shared_ptr<FieldValueSet> GetDataTypeInfo(int32_t data_type);

  std::shared_ptr<CParse> parse_;
};

}  // namespace marl::data
