// The data-access object model the component works through: Connection,
// Command (with Parameters) and Recordset (with Fields), after the published
// ADO object model, with its enumeration codes.
//
// Enlistment: a Connection opened while a transaction is current
// (Transaction::Current()) is a handle on that transaction's one physical
// connection for its connection string; the database transaction begins on
// first use (for writing: the write lock is taken at once) and commits or
// rolls back with the platform transaction. Closing such a handle only
// releases it. Without a transaction, each Execute commits on its own.
//
// Errors are marl::Error as described in provider.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/provider.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/variant.h"

namespace marl::data {

// ADO enumeration codes used by the component.
namespace ado {
constexpr int32_t kUseClient = 3;  // CursorLocation
constexpr int32_t kUseServer = 2;
constexpr int32_t kCmdText = 1;  // CommandType
constexpr int32_t kCmdStoredProc = 4;
constexpr int32_t kOptionUnspecified = -1;
constexpr int32_t kParamInput = 1;       // ParameterDirection
constexpr int32_t kOpenForwardOnly = 0;  // CursorType
constexpr int32_t kOpenStatic = 3;
constexpr int32_t kLockReadOnly = 1;  // LockType
constexpr int32_t kLockBatchOptimistic = 4;
constexpr int32_t kStateClosed = 0;
constexpr int32_t kStateOpen = 1;
// DataTypeEnum
constexpr int32_t kSmallInt = 2, kInteger = 3, kSingle = 4, kDouble = 5,
                  kCurrency = 6, kDate = 7, kBoolean = 11, kDecimal = 14,
                  kTinyInt = 16, kBigInt = 20, kGUID = 72, kBinary = 128,
                  kChar = 129, kWChar = 130, kNumeric = 131, kDBDate = 133,
                  kDBTime = 134, kDBTimeStamp = 135, kVarChar = 200,
                  kLongVarChar = 201, kVarWChar = 202, kLongVarWChar = 203,
                  kVarBinary = 204, kLongVarBinary = 205;
}  // namespace ado

class Recordset;
struct PhysicalHandle;  // private to the implementation

class Connection : public Dispatchable {
 public:
  static std::shared_ptr<Connection> Create();
  ~Connection() override;

  void Open(const std::string& connection_string, const std::string& user = "",
            const std::string& password = "",
            int32_t options = ado::kOptionUnspecified);
  int32_t CursorLocation() const { return cursor_location_; }
  void SetCursorLocation(int32_t v) { cursor_location_ = v; }
  int32_t CommandTimeout() const { return command_timeout_; }
  void SetCommandTimeout(int32_t v) { command_timeout_ = v; }
  // Runs the text (several statements joined by CRLF all run, in order) and
  // returns the rowset of the first statement that returns rows; an empty,
  // closed recordset when none does.
  std::shared_ptr<Recordset> Execute(const std::string& text,
                                     int64_t* records_affected = nullptr,
                                     int32_t options = ado::kOptionUnspecified);
  int32_t State() const;
  void Close();
  const std::string& ConnectionString() const { return connection_string_; }

  // Properties collection: Item(name).Value; Refresh reloads it.
  // Raises 3265 "Item cannot be found in the collection ..." when absent.
  // The collection is read from the provider when it is first used, not by
  // Open: most connections never read it. A provider's failure to list its
  // properties is raised by that first use.
  Variant Property(const std::string& name) const;
  bool HasProperty(const std::string& name) const;
  void RefreshProperties();

  // Internal: runs one text with bound parameters on the physical connection.
  ResultSet Run(const std::string& text, const std::vector<BoundParam>& params);
  // Internal: as Run, through PhysicalConnection::RunReadOnly (one statement
  // that changes nothing, else refused before anything runs).
  ResultSet RunReadOnly(const std::string& text,
                        const std::vector<BoundParam>& params);

  const DispatchTable& Table() const override;

 private:
  Connection() = default;
  std::string connection_string_;
  int32_t cursor_location_ = ado::kUseServer;
  int32_t command_timeout_ = 30;
  std::shared_ptr<PhysicalHandle> handle_;
  // Read by the first use of the collection after Open (see Property).
  void EnsureProperties() const;
  mutable bool properties_read_ = false;
  mutable std::vector<std::pair<std::string, Variant>> properties_;
  // Listed with the others; the provider computes them when read.
  mutable std::vector<std::string> deferred_properties_;
};

class Parameter {
 public:
  std::string name;
  int32_t type = ado::kVarWChar;
  int32_t direction = ado::kParamInput;
  int32_t size = 0;
  Variant value;
};

class Parameters {
 public:
  void Append(std::shared_ptr<Parameter> p) { items_.push_back(std::move(p)); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Delete(int32_t index);  // 0-based; error 9 when out of range
  const std::shared_ptr<Parameter>& Item(int32_t index) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<std::shared_ptr<Parameter>> items_;
};

class Command {
 public:
  static std::shared_ptr<Command> Create();

  // A connection object, or a connection string (the command then opens a
  // connection of its own at once, enlisted when a transaction is current).
  void SetActiveConnection(std::shared_ptr<Connection> connection);
  void SetActiveConnection(const std::string& connection_string);
  std::shared_ptr<Connection> ActiveConnection() const { return connection_; }
  bool HasActiveConnection() const { return connection_ != nullptr; }

  std::string CommandText;
  int32_t CommandType = ado::kCmdText;
  int32_t CommandTimeout = 30;

  std::shared_ptr<Parameter> CreateParameter(const std::string& name,
                                             int32_t type, int32_t direction,
                                             int32_t size, Variant value) const;
  Parameters& GetParameters() { return parameters_; }

  std::shared_ptr<Recordset> Execute(int64_t* records_affected = nullptr,
                                     int32_t options = ado::kOptionUnspecified);

 private:
  std::shared_ptr<Connection> connection_;
  Parameters parameters_;
  // The parameters as handed to the provider, kept from one Execute to the
  // next for the last two parameter counts: statements per row (a query and
  // an INSERT in turn) fill the same storage again.
  std::vector<BoundParam> bound_;
  std::vector<BoundParam> bound_other_;
};

class Field {
 public:
  const std::string& Name() const { return name_; }
  int32_t Type() const { return type_; }
  int32_t DefinedSize() const { return defined_size_; }
  const Variant& Value() const;

 private:
  friend class Recordset;
  std::string name_;
  int32_t type_ = ado::kVarWChar;
  int32_t defined_size_ = 0;
  const Recordset* owner_ = nullptr;
  int32_t index_ = 0;
};

class Recordset : public Dispatchable {
 public:
  static std::shared_ptr<Recordset> Create();

  int32_t CursorLocation = ado::kUseServer;
  int32_t CursorType = ado::kOpenForwardOnly;
  int32_t LockType = ado::kLockReadOnly;
  // When true, Open runs its source through Connection::RunReadOnly: a source
  // that holds more than one statement or one that writes is refused before
  // anything runs. Not an ADO property; false by default.
  bool ReadOnlySource = false;

  // Opens on `source` over `connection` (or, with a connection string, over
  // a connection of its own).
  void Open(const std::string& source, std::shared_ptr<Connection> connection,
            int32_t cursor_type = -1, int32_t lock_type = -1,
            int32_t options = -1);
  void Open(const std::string& source, const std::string& connection_string,
            int32_t cursor_type = -1, int32_t lock_type = -1,
            int32_t options = -1);
  // Setting none detaches: the rows stay readable in memory.
  void SetActiveConnection(std::shared_ptr<Connection> connection);
  std::shared_ptr<Connection> ActiveConnection() const { return connection_; }

  bool Eof() const;  // at end (or no rows)
  bool BOF() const;
  void MoveFirst();
  void MoveNext();
  int32_t RecordCount() const;
  int32_t State() const { return open_ ? ado::kStateOpen : ado::kStateClosed; }
  void Close();
  std::shared_ptr<Recordset> Clone() const;

  int32_t FieldCount() const;
  const Field& Fields(int32_t index) const;            // 0-based
  const Field& Fields(const std::string& name) const;  // case-insensitive
  bool HasField(const std::string& name) const;

  // Internal: fills from a provider result, taking its rows.
  void Fill(ResultSet&& rs);
  // Internal: closes the recordset and hands over its rows, in order (a copy
  // of them while a clone shares them); none when it is closed.
  std::vector<std::vector<Variant>> TakeRows();
  const Variant& ValueAt(int32_t field_index) const;

  const DispatchTable& Table() const override;

 private:
  std::shared_ptr<Connection> connection_;
  std::vector<Field> fields_;
  std::shared_ptr<std::vector<std::vector<Variant>>> rows_;
  int32_t position_ = 0;
  bool open_ = false;
};

}  // namespace marl::data
