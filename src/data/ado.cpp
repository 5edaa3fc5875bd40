// The data-access objects over the provider interface.
//
// Enlistment: a Connection opened while a transaction is current shares,
// with every other Connection of that transaction and connection string,
// one physical connection, held by a resource enlisted in the transaction
// under the key "db:" + the connection string in canonical form (keys
// lower-cased and sorted: "Data Source=x;Provider=SQLite" and
// "provider=SQLite; data source=x" are one connection). The database
// transaction begins (taking the write lock at once; a read transaction,
// without it, for a read-only platform transaction) on the first text run
// through any of those handles, and ends when the platform transaction commits
// or rolls back. Should the database end that transaction on its own (a failure
// that rolls the whole transaction back), the next text run through a handle,
// and the commit, raise an error instead of carrying on in a new transaction
// whose earlier work is lost. A handle used after its transaction ended runs as
// a connection of its own (each text commits on its own).
//
// Error numbers raised by the objects themselves: 3265 (item not found),
// 3021 (no current record), 3704 (object closed), 3705 (object open), 3709
// (no usable connection), 9 (parameter index out of range). Choices made
// here: EOF and RecordCount of a closed recordset read as an empty one; the
// user name, password, options and time-outs are accepted and not used by
// the embedded provider.
#include "data/ado.h"

#include <strings.h>

#include <utility>

#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"

namespace marl::data {

namespace {

Error ItemNotFound(const std::string& source) {
  return Error(err::kItemNotFound, source,
               "Item cannot be found in the collection corresponding to the "
               "requested name or ordinal.");
}
Error Closed(const std::string& source) {
  return Error(err::kObjectClosed, source,
               "Operation is not allowed when the object is closed.");
}

ParamInfo Param(std::string name, VarType type = VarType::Empty,
                bool by_ref = false, bool optional = false,
                Variant default_value = Variant()) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  p.optional = optional;
  p.default_value = std::move(default_value);
  return p;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The key a transaction holds a physical connection under: the connection
// string's parts in a canonical form (keys lower-cased and sorted, values as
// given), so that two spellings of one connection string share one physical
// connection rather than wait for each other's locks. The calls of one unit
// of work open their connections with one string, so the thread keeps the
// last key it made.
const std::string& EnlistmentKey(const std::string& connection_string) {
  struct Last {
    bool made = false;
    std::string connection_string;
    std::string key;
  };
  thread_local Last last;
  if (last.made && last.connection_string == connection_string) {
    return last.key;
  }
  std::string key = "db:";
  for (const auto& [name, value] :
       ConnectionParams::Parse(connection_string).values) {
    key += name + "={" + value + "};";
  }
  last.made = false;  // stays so should the copy below fail
  last.connection_string = connection_string;
  last.key = std::move(key);
  last.made = true;
  return last.key;
}

// The physical connection of one transaction and connection string.
class EnlistedConnection final : public Resource {
 public:
  EnlistedConnection(std::shared_ptr<PhysicalConnection> conn, bool read_only)
      : conn_(std::move(conn)), read_only_(read_only) {}

  bool ended() const { return ended_; }
  const std::shared_ptr<PhysicalConnection>& connection() const {
    return conn_;
  }

  // Begins the database transaction on first use.
  void BeforeRun() {
    if (conn_->InTransaction()) return;
    if (begun_) {
      throw Error(err::kDbFail, conn_->ProviderName(),
                  "The database rolled back the transaction after an earlier "
                  "error; its work is lost");
    }
    conn_->Begin(!read_only_);
    begun_ = true;
  }

  void Commit() override {
    ended_ = true;
    if (!conn_->InTransaction()) {
      if (begun_) {
        throw Error(err::kDbFail, conn_->ProviderName(),
                    "The database rolled back the transaction after an "
                    "earlier error; nothing was committed");
      }
      return;
    }
    try {
      conn_->Commit();
    } catch (...) {
      try {
        conn_->Rollback();
      } catch (...) {
        // The commit error is the one to report.
      }
      throw;
    }
  }

  void Rollback() override {
    ended_ = true;
    try {
      conn_->Rollback();
    } catch (...) {
      // Closing the connection rolls back what could not be rolled back.
    }
  }

 private:
  std::shared_ptr<PhysicalConnection> conn_;
  bool read_only_;  // of a read-only transaction: begins a read transaction
  bool begun_ = false;
  bool ended_ = false;
};

}  // namespace

struct PhysicalHandle {
  std::shared_ptr<PhysicalConnection> conn;
  std::shared_ptr<EnlistedConnection>
      enlisted;  // null: a connection of its own
};

// ---------------------------------------------------------------------------
// Connection

std::shared_ptr<Connection> Connection::Create() {
  return std::shared_ptr<Connection>(new Connection());
}

Connection::~Connection() { Close(); }

void Connection::Open(const std::string& connection_string,
                      const std::string& /*user*/,
                      const std::string& /*password*/, int32_t /*options*/) {
  if (handle_) {
    throw Error(err::kObjectOpen, "ADODB.Connection",
                "Operation is not allowed when the object is open.");
  }
  auto handle = std::make_shared<PhysicalHandle>();
  std::shared_ptr<Transaction> tx = Transaction::Current();
  if (tx && tx->IsActive()) {
    const std::string& key = EnlistmentKey(connection_string);
    auto existing =
        std::dynamic_pointer_cast<EnlistedConnection>(tx->Find(key));
    if (!existing) {
      // The thread's key is copied before the open, which could make
      // another key.
      std::string enlist_key = key;
      existing = std::make_shared<EnlistedConnection>(
          std::shared_ptr<PhysicalConnection>(OpenPhysical(connection_string)),
          tx->IsReadOnly());
      tx->Enlist(enlist_key, existing);
    }
    handle->conn = existing->connection();
    handle->enlisted = existing;
  } else {
    handle->conn = OpenPhysical(connection_string);
  }
  handle_ = std::move(handle);
  connection_string_ = connection_string;
}

std::shared_ptr<Recordset> Connection::Execute(const std::string& text,
                                               int64_t* records_affected,
                                               int32_t /*options*/) {
  ResultSet result = Run(text, {});
  if (records_affected) *records_affected = result.records_affected;
  auto rs = Recordset::Create();
  rs->CursorLocation = cursor_location_;
  rs->Fill(std::move(result));
  if (rs->State() == ado::kStateOpen) {
    rs->SetActiveConnection(
        std::static_pointer_cast<Connection>(shared_from_this()));
  }
  return rs;
}

int32_t Connection::State() const {
  return handle_ ? ado::kStateOpen : ado::kStateClosed;
}

void Connection::Close() {
  // An enlisted handle only lets go; the transaction keeps the physical
  // connection until it ends. A connection of its own closes (rolling back
  // anything left uncommitted).
  handle_.reset();
  properties_read_ = false;
  properties_.clear();
  deferred_properties_.clear();
}

// A closed connection has no properties: nothing is read, and every name is
// not found.
void Connection::EnsureProperties() const {
  if (properties_read_ || !handle_) return;
  std::vector<std::pair<std::string, Variant>> read;
  for (auto& [key, value] : handle_->conn->Properties()) {
    read.emplace_back(key, std::move(value));
  }
  deferred_properties_ = handle_->conn->DeferredPropertyNames();
  properties_ = std::move(read);
  properties_read_ = true;
}

Variant Connection::Property(const std::string& name) const {
  EnsureProperties();
  for (const auto& [key, value] : properties_) {
    if (SameName(key, name)) return value;
  }
  for (const std::string& key : deferred_properties_) {
    if (SameName(key, name) && handle_) {
      return handle_->conn->DeferredProperty(key);
    }
  }
  throw ItemNotFound("ADODB.Properties");
}

bool Connection::HasProperty(const std::string& name) const {
  EnsureProperties();
  for (const auto& entry : properties_) {
    if (SameName(entry.first, name)) return true;
  }
  for (const std::string& key : deferred_properties_) {
    if (SameName(key, name)) return true;
  }
  return false;
}

void Connection::RefreshProperties() {
  if (!handle_) throw Closed("ADODB.Connection");
  properties_read_ = false;
  properties_.clear();
  EnsureProperties();
}

ResultSet Connection::Run(const std::string& text,
                          const std::vector<BoundParam>& params) {
  if (!handle_) throw Closed("ADODB.Connection");
  if (handle_->enlisted && !handle_->enlisted->ended()) {
    handle_->enlisted->BeforeRun();
  }
  return handle_->conn->Run(text, params);
}

ResultSet Connection::RunReadOnly(const std::string& text,
                                  const std::vector<BoundParam>& params) {
  if (!handle_) throw Closed("ADODB.Connection");
  if (handle_->enlisted && !handle_->enlisted->ended()) {
    handle_->enlisted->BeforeRun();
  }
  return handle_->conn->RunReadOnly(text, params);
}

const DispatchTable& Connection::Table() const {
  static const DispatchTable table = [] {
    DispatchTable t;
    t.class_name = "ADODB.Connection";
    t.members.push_back(MemberInfo{
        "Execute",
        1,
        InvokeKind::Method,
        {Param("CommandText", VarType::Text),
         Param("RecordsAffected", VarType::Empty, true, true),
         Param("Options", VarType::I4, false, true, Variant::I4(-1))},
        VarType::Object,
        [](Dispatchable& self, std::vector<Variant>& args) {
          auto& c = static_cast<Connection&>(self);
          int64_t affected = -1;
          auto rs = c.Execute(args[0].AsText(), &affected, args[2].AsI4());
          args[1] = Variant::I4(static_cast<int32_t>(affected));
          return Variant::Object(rs);
        }});
    t.members.push_back(
        MemberInfo{"Close",
                   2,
                   InvokeKind::Method,
                   {},
                   VarType::Empty,
                   [](Dispatchable& self, std::vector<Variant>&) {
                     static_cast<Connection&>(self).Close();
                     return Variant();
                   }});
    t.members.push_back(
        MemberInfo{"State",
                   3,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::I4,
                   [](Dispatchable& self, std::vector<Variant>&) {
                     return Variant::I4(static_cast<Connection&>(self).State());
                   }});
    return t;
  }();
  return table;
}

// ---------------------------------------------------------------------------
// Parameters and Command

void Parameters::Delete(int32_t index) {
  if (index < 0 || index >= Count()) throw Error::Of(err::kSubscriptRange);
  items_.erase(items_.begin() + index);
}

const std::shared_ptr<Parameter>& Parameters::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw Error::Of(err::kSubscriptRange);
  return items_[static_cast<size_t>(index)];
}

std::shared_ptr<Command> Command::Create() {
  return std::make_shared<Command>();
}

void Command::SetActiveConnection(std::shared_ptr<Connection> connection) {
  connection_ = std::move(connection);
}

void Command::SetActiveConnection(const std::string& connection_string) {
  auto connection = Connection::Create();
  connection->Open(connection_string);
  connection_ = std::move(connection);
}

std::shared_ptr<Parameter> Command::CreateParameter(const std::string& name,
                                                    int32_t type,
                                                    int32_t direction,
                                                    int32_t size,
                                                    Variant value) const {
  auto p = std::make_shared<Parameter>();
  p->name = name;
  p->type = type;
  p->direction = direction;
  p->size = size;
  p->value = std::move(value);
  return p;
}

std::shared_ptr<Recordset> Command::Execute(int64_t* records_affected,
                                            int32_t /*options*/) {
  if (!connection_ || connection_->State() != ado::kStateOpen) {
    throw Error(err::kNoConnection, "ADODB.Command",
                "The connection cannot be used to perform this operation. It "
                "is either closed or invalid in this context.");
  }
  // Filled in place over the last statement's: no temporaries, and the
  // storage of the vector, the names and the texts is reused.
  const auto count = static_cast<size_t>(parameters_.Count());
  if (bound_.size() != count) {
    bound_.swap(bound_other_);
    bound_.resize(count);
  }
  for (size_t i = 0; i < count; ++i) {
    const Parameter& p = *parameters_.Item(static_cast<int32_t>(i));
    BoundParam& b = bound_[i];
    if (b.name != p.name) b.name = p.name;  // mostly the same name again
    b.ado_type = p.type;
    b.size = p.size;
    b.value = p.value;
  }
  ResultSet result = connection_->Run(CommandText, bound_);
  if (records_affected) *records_affected = result.records_affected;
  auto rs = Recordset::Create();
  rs->CursorLocation = connection_->CursorLocation();
  rs->Fill(std::move(result));
  if (rs->State() == ado::kStateOpen) rs->SetActiveConnection(connection_);
  return rs;
}

// ---------------------------------------------------------------------------
// Field and Recordset

const Variant& Field::Value() const { return owner_->ValueAt(index_); }

std::shared_ptr<Recordset> Recordset::Create() {
  return std::make_shared<Recordset>();
}

void Recordset::Open(const std::string& source,
                     std::shared_ptr<Connection> connection,
                     int32_t cursor_type, int32_t lock_type,
                     int32_t /*options*/) {
  if (open_) {
    throw Error(err::kObjectOpen, "ADODB.Recordset",
                "Operation is not allowed when the object is open.");
  }
  if (!connection || connection->State() != ado::kStateOpen) {
    throw Error(err::kNoConnection, "ADODB.Recordset",
                "The connection cannot be used to perform this operation. It "
                "is either closed or invalid in this context.");
  }
  if (cursor_type != -1) CursorType = cursor_type;
  if (lock_type != -1) LockType = lock_type;
  ResultSet result = ReadOnlySource ? connection->RunReadOnly(source, {})
                                    : connection->Run(source, {});
  Fill(std::move(result));
  connection_ = open_ ? std::move(connection) : nullptr;
}

void Recordset::Open(const std::string& source,
                     const std::string& connection_string, int32_t cursor_type,
                     int32_t lock_type, int32_t options) {
  auto connection = Connection::Create();
  connection->Open(connection_string);
  Open(source, std::move(connection), cursor_type, lock_type, options);
}

void Recordset::SetActiveConnection(std::shared_ptr<Connection> connection) {
  connection_ = std::move(connection);
}

bool Recordset::Eof() const {
  return !open_ || position_ >= static_cast<int32_t>(rows_->size());
}

bool Recordset::BOF() const { return !open_ || rows_->empty(); }

void Recordset::MoveFirst() {
  if (!open_) throw Closed("ADODB.Recordset");
  position_ = 0;
}

void Recordset::MoveNext() {
  if (!open_) throw Closed("ADODB.Recordset");
  if (Eof()) {
    throw Error(err::kNoCurrentRecord, "ADODB.Recordset",
                "Either BOF or EOF is True, or the current record has been "
                "deleted. Requested operation requires a current record.");
  }
  ++position_;
}

int32_t Recordset::RecordCount() const {
  return open_ ? static_cast<int32_t>(rows_->size()) : 0;
}

void Recordset::Close() {
  if (!open_) throw Closed("ADODB.Recordset");
  open_ = false;
  rows_.reset();
  fields_.clear();
  position_ = 0;
  connection_.reset();
}

std::shared_ptr<Recordset> Recordset::Clone() const {
  if (!open_) throw Closed("ADODB.Recordset");
  auto copy = Recordset::Create();
  copy->CursorLocation = CursorLocation;
  copy->CursorType = CursorType;
  copy->LockType = LockType;
  copy->connection_ = connection_;
  copy->fields_ = fields_;
  for (Field& f : copy->fields_) f.owner_ = copy.get();
  copy->rows_ = rows_;
  copy->position_ = 0;
  copy->open_ = true;
  return copy;
}

int32_t Recordset::FieldCount() const {
  return static_cast<int32_t>(fields_.size());
}

const Field& Recordset::Fields(int32_t index) const {
  if (!open_) throw Closed("ADODB.Recordset");
  if (index < 0 || index >= FieldCount()) throw ItemNotFound("ADODB.Fields");
  return fields_[static_cast<size_t>(index)];
}

const Field& Recordset::Fields(const std::string& name) const {
  if (!open_) throw Closed("ADODB.Recordset");
  for (const Field& f : fields_) {
    if (SameName(f.name_, name)) return f;
  }
  throw ItemNotFound("ADODB.Fields");
}

bool Recordset::HasField(const std::string& name) const {
  for (const Field& f : fields_) {
    if (SameName(f.name_, name)) return true;
  }
  return false;
}

void Recordset::Fill(ResultSet&& rs) {
  fields_.clear();
  position_ = 0;
  if (!rs.has_rows) {
    open_ = false;
    rows_.reset();
    return;
  }
  fields_.reserve(rs.columns.size());
  for (size_t i = 0; i < rs.columns.size(); ++i) {
    Field f;
    f.name_ = std::move(rs.columns[i].name);
    f.type_ = rs.columns[i].ado_type;
    f.defined_size_ = rs.columns[i].defined_size;
    f.owner_ = this;
    f.index_ = static_cast<int32_t>(i);
    fields_.push_back(std::move(f));
  }
  rows_ =
      std::make_shared<std::vector<std::vector<Variant>>>(std::move(rs.rows));
  open_ = true;
}

std::vector<std::vector<Variant>> Recordset::TakeRows() {
  std::vector<std::vector<Variant>> rows;
  if (open_) {
    if (rows_.use_count() == 1) {
      rows = std::move(*rows_);
    } else {
      rows = *rows_;
    }
    Close();
  }
  return rows;
}

const Variant& Recordset::ValueAt(int32_t field_index) const {
  if (!open_) throw Closed("ADODB.Recordset");
  if (Eof()) {
    throw Error(err::kNoCurrentRecord, "ADODB.Field",
                "Either BOF or EOF is True, or the current record has been "
                "deleted. Requested operation requires a current record.");
  }
  const auto& row = (*rows_)[static_cast<size_t>(position_)];
  if (field_index < 0 || static_cast<size_t>(field_index) >= row.size()) {
    throw ItemNotFound("ADODB.Fields");
  }
  return row[static_cast<size_t>(field_index)];
}

const DispatchTable& Recordset::Table() const {
  static const DispatchTable table = [] {
    auto rs = [](Dispatchable& self) -> Recordset& {
      return static_cast<Recordset&>(self);
    };
    DispatchTable t;
    t.class_name = "ADODB.Recordset";
    t.members.push_back(
        MemberInfo{"EOF",
                   1,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::Bool,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     return Variant::Bool(rs(self).Eof());
                   }});
    t.members.push_back(
        MemberInfo{"BOF",
                   2,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::Bool,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     return Variant::Bool(rs(self).BOF());
                   }});
    t.members.push_back(
        MemberInfo{"MoveFirst",
                   3,
                   InvokeKind::Method,
                   {},
                   VarType::Empty,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     rs(self).MoveFirst();
                     return Variant();
                   }});
    t.members.push_back(
        MemberInfo{"MoveNext",
                   4,
                   InvokeKind::Method,
                   {},
                   VarType::Empty,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     rs(self).MoveNext();
                     return Variant();
                   }});
    t.members.push_back(
        MemberInfo{"RecordCount",
                   5,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::I4,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     return Variant::I4(rs(self).RecordCount());
                   }});
    // Fields(index or name) gives the field's value in the current row.
    t.members.push_back(
        MemberInfo{"Fields",
                   0,
                   InvokeKind::PropertyGet,
                   {Param("Index")},
                   VarType::Empty,
                   [rs](Dispatchable& self, std::vector<Variant>& args) {
                     Recordset& r = rs(self);
                     const Variant& index = args[0];
                     if (index.Type() == VarType::Text) {
                       return r.Fields(index.AsText()).Value();
                     }
                     return r.Fields(index.ToInt32()).Value();
                   }});
    t.members.push_back(
        MemberInfo{"Close",
                   6,
                   InvokeKind::Method,
                   {},
                   VarType::Empty,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     rs(self).Close();
                     return Variant();
                   }});
    t.members.push_back(
        MemberInfo{"State",
                   7,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::I4,
                   [rs](Dispatchable& self, std::vector<Variant>&) {
                     return Variant::I4(rs(self).State());
                   }});
    return t;
  }();
  return table;
}

}  // namespace marl::data
