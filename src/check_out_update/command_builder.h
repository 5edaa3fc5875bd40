// CommandBuilder: writes rows of one database table through generated,
// parameterised INSERT, UPDATE and DELETE statements.
//
// Use
//   CommandBuilder b;
//   b.InitClassDataEnv(props);                 // its own parser + data source
//   b.Create("CB_CostBalance");                // table, command, connection
//   FieldOptions year;                         // optional arguments
//   year.required = true;
//   year.pkey = true;
//   year.err_item = 10034;
//   b.DescribField("FYear", 3, year);          // one call per column
//   b.SetFields(row);                          // values keyed by column name
//   b.ExecInsert();                            // validate, then INSERT
//
// Statements (the texts are fixed; "?" is one bound input parameter, bound
// with the column's bind type and size, in marker order):
//   INSERT INTO <t> (<c1>,<c2>)VALUES (?,?)
//   UPDATE <t> SET  <c1>=? , <c2>=?  WHERE  <k1>=? AND <k2>=?
//   DELETE FROM <t> WHERE  <k1>=? AND <k2>=?
// Only described columns that the value set (or filter) holds take part, in
// description order. Lookups made by the checks:
//   SELECT <keys> FROM <t> WHERE  <k1>=? AND ...      (row exists)
//   SELECT * FROM <t> WHERE  <k1>=? AND ...           (row to update)
//   SELECT <c> FROM <t> WHERE <c>=?                    (unique value exists)
//   SELECT <col> FROM <src> WHERE <col>=?              (referenced code)
//
// Contract
// - Every statement runs on one command object that lives as long as the
//   builder; its parameters are cleared before each statement. The builder's
//   connection (opened by Create, or by the first statement when Create had
//   none) stays open for the builder's life. Opened while a transaction is
//   current, it is a handle on that transaction's connection, so the
//   builder's writes commit or roll back with its caller's.
// - Nothing is caught and no transaction is opened: a failed check or
//   statement raises at once and sends nothing for that statement;
//   statements already sent stay sent.
// - Errors (number: condition; "source" is the record's source field):
//     1       ExecUpdate: the filter lacks a key column (source: the text
//             "条件关键字不全" in the caller's language)
//     2       ExecUpdateInsert: the filter lacks a key column (same source)
//     5       a statement would list no column (nothing is sent)
//     10000   a required column has no value and no default
//     10004   a value does not convert to its column's type
//     10005   a value is longer than its column
//     10006   a unique column's value exists already
//     10007   the row to create exists already
//     10008   the row to change does not exist
//     10009   a value is not in its column's layout
//     10010   a referenced code does not exist; or the row to update is
//             not found
//     12222   BmIDUsed: the code is in use (source: the text
//             "该编码已经被使用，不能修改删除" in the caller's language)
//     0x80044044  InitClassDataEnv: the property string is rejected (source
//             "ParseString:" followed by the string)
//   Column errors (10000 of CheckFields, 10006, 10009, 10010 of a
//   referenced code) carry as source the error-code text of the number, as
//   description the column's error item number, and as help file the
//   error-item text, followed for 10006, 10009 and 10010 by " ='", the value
//   and "'". Errors 1, 2, 12222, 10007, 10008 and the row-level 10010 carry
//   only the number and the source (empty description). 10004 and 10005 come
//   from the value check (globals.h) in its own layout.
// - ExecUpdate, ExecDelete and ExecUpdateInsert may replace the caller's
//   filter by a new set holding only the key columns (when it holds all of
//   them), also when they then fail.
// - BmIDUsed writes aValue between single quotes with every single quote in
//   it doubled, so a code holding a quote is looked up as itself instead of
//   ending the literal early; aField and sFilter are written as given.
//
// Layout lists: "A,B,C" (any item equal, text compared in upper case) or
// ranges "1-5" (split at the last "-"; lower <= value <= upper). A value and
// an item of different kinds (a number and a text) are compared as numbers
// when the text reads as one, else as texts.
//
// Thread safety: none; a builder belongs to one caller on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/data_source.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/variant.h"

namespace marl::check_out_update {

// One described column.
struct FieldDesc {
  std::string Name;
  int32_t DataType = 0;
  int32_t Size = 0;
  int32_t ActualType = 0;
  int32_t ActualSize = 0;
  int32_t BindType = 0;
  bool Required = false;
  Variant Default;  // Empty: no default
  std::string Layout;
  bool Index = false;
  bool Pkey = false;
  std::string SourceID;
  int32_t ErrItem = 0;
  std::string ErrItemText;  // ErrItem in decimal, as the value check wants
};

// The optional arguments of DescribField; members left as they are count as
// not given.
struct FieldOptions {
  int32_t size = 0;
  bool required = false;
  Variant value = Variant::Missing();          // initial value put in Fields
  Variant default_value = Variant::Missing();  // Missing: no default
  std::string layout;
  bool index = false;
  bool pkey = false;
  std::string source_id;  // "<table>.<column>"
  int32_t err_item = 0;
};

class CommandBuilder {
 public:
  // Statement kinds of Exec and BuildSql.
  enum Mode : int32_t { kInsert = 0, kUpdate = 1, kDelete = 2 };

  // Starts with an empty Fields set, no table and no command.
  CommandBuilder();
  ~CommandBuilder();
  CommandBuilder(const CommandBuilder&) = delete;
  CommandBuilder& operator=(const CommandBuilder&) = delete;

  // The values to write, keyed by column name. Assigning shares the set
  // (the caller's later changes are seen); a null set raises 91 on use.
  const std::shared_ptr<FieldValueSet>& Fields() const { return fields_; }
  void SetFields(std::shared_ptr<FieldValueSet> fields) {
    fields_ = std::move(fields);
  }

  // A new parser parses `Props`; on success a new data source is made with
  // it. Parser errors (457 for a repeated key) pass through.
  void InitClassDataEnv(const std::string& Props);

  // Table name; Fields := a clone of aFields when given; a new command
  // (time-out 0, text); the active connection: a new connection of the data
  // source when aActiveConnection is Missing, the connection object it holds,
  // or else its text as a connection string. Raises 91 without
  // InitClassDataEnv when a connection is needed.
  void Create(const std::string& aTableName,
              std::shared_ptr<FieldValueSet> aFields = nullptr,
              const Variant& aActiveConnection = Variant::Missing());

  // Adds one column description (see FieldOptions). The description array
  // grows by count/8 elements, at least 4 and at most 1024, when full.
  void DescribField(const std::string& Name, int32_t DataType,
                    const FieldOptions& options = FieldOptions());

  // Validates and converts Fields in place (see the file comment); with
  // CreateNew, required columns absent from Fields take their default;
  // with aCheckIndex, unique columns are looked up.
  void CheckFields(bool CreateNew = false, bool aCheckIndex = false);

  // True when Fields holds any described column.
  bool IsFieldsDirty() const;

  // The command's time-out in seconds (91 before Create).
  int32_t CommandTimeout() const;
  void SetCommandTimeout(int32_t NewVal);

  // Each returns true when a statement was sent. ExecInsert and ExecUpdate
  // return false, sending nothing, when Fields holds no described column.
  bool ExecInsert();
  bool ExecUpdate(std::shared_ptr<FieldValueSet>& aFilter);
  bool ExecDelete(std::shared_ptr<FieldValueSet>& aFilter);
  // UPDATE when the filter's row exists, else INSERT.
  bool ExecUpdateInsert(std::shared_ptr<FieldValueSet>& aFilter);
  // What SetFields(a clone of `row`) and ExecInsert() would check, send and
  // raise, with Fields left as it was and `row` unchanged. Where no check
  // reads Fields again (no unique, layout or referenced column, no two
  // described names the same key), the row is read in place: no clone is
  // made and nothing is written back.
  bool ExecInsertRow(const FieldValueSet& row);

  // Raises 12222 when `aTable` has a row whose `aField` is `aValue` (and
  // that satisfies `sFilter` when given); otherwise returns false. A table
  // named "CB_BmStandard" plus one character is read as "CB_BmStandard".
  bool BmIDUsed(const std::string& aTable, const std::string& aField,
                const std::string& aValue, const std::string& sFilter = "");

  // Read access for callers and tests.
  int32_t FieldCount() const { return field_count_; }
  int32_t Capacity() const { return capacity_; }
  const FieldDesc& Field(int32_t index) const;  // 1-based
  const std::string& TableName() const { return table_name_; }
  const std::shared_ptr<data::CDataSource>& DataSource() const {
    return data_source_;
  }

 private:
  bool Exec(Mode mode, std::shared_ptr<FieldValueSet>* filter);
  // CheckFields; with `record`, also keeps the described columns held
  // afterwards and their values for the INSERT that follows. Given `row`,
  // the values are read from it instead of Fields, and the values the check
  // converts or defaults are only recorded (record must be set, the names
  // distinct, and no check may read Fields: see reads_fields_).
  void CheckFieldsFor(bool CreateNew, bool aCheckIndex, bool record,
                      const FieldValueSet* row = nullptr);
  std::string BuildSql(Mode mode, const FieldValueSet* filter);
  std::string FieldNameList(const FieldValueSet& set) const;
  std::string PlaceholderList(const FieldValueSet& set);
  std::string AssignmentList(const FieldValueSet& set,
                             const std::string& separator);
  void AppendParameter(const std::string& name, const FieldDesc& field,
                       Variant value);
  void PrepareCommand();
  void ClearParameters();
  bool ExtractKeyFilter(std::shared_ptr<FieldValueSet>& filter) const;
  bool DeleteFilter(std::shared_ptr<FieldValueSet>& filter) const;
  void CheckUpdate(std::shared_ptr<FieldValueSet>& filter);
  void MergeCurrentRow(const data::Recordset& row);
  bool KeysUnchanged(const FieldValueSet& filter) const;
  bool ValueExists(const FieldDesc& field);
  bool RowExists(const FieldValueSet& set);
  // RowExists over a set holding exactly the key columns, given as their
  // values in field order (key_values_).
  bool KeyRowExists();
  const std::string& ExistsText();
  // Appends a parameter for each described field `set` holds, in field
  // order, and lists in present_ the indexes of those fields.
  void AppendPresent(const FieldValueSet& set);
  void LayoutMatches(const FieldDesc& field);
  bool LayoutItemMatches(const FieldDesc& field, const std::string& item);
  void SourceExists(const FieldDesc& field);

  // Runs the command text with the parameters appended so far.
  std::shared_ptr<data::Recordset> Run(const std::string& text);
  FieldValueSet& Values() const;      // Fields, 91 when none
  data::CDataSource& Source() const;  // 91 before InitClassDataEnv
  std::string Language() const;
  [[noreturn]] void RaiseFieldError(int32_t number, const FieldDesc& field,
                                    const Variant* value);
  [[noreturn]] void RaiseRowError(int32_t number);

  std::shared_ptr<FieldValueSet> fields_;
  std::string table_name_;
  std::vector<FieldDesc> descs_;  // descs_[i - 1] is field i
  int32_t field_count_ = 0;
  int32_t capacity_ = 0;
  Variant active_connection_;  // a Connection object or a connection string
  std::shared_ptr<data::Command> command_;
  // Parameter objects of earlier statements, by position, for reuse once
  // the command no longer holds them.
  std::vector<std::shared_ptr<data::Parameter>> spare_parameters_;
  // A statement text built for one list of present fields, kept so that a
  // statement per row builds its text once; forgotten when the table or the
  // descriptions change.
  struct CachedText {
    bool valid = false;
    std::vector<int32_t> fields;
    std::string text;
  };
  std::vector<int32_t> present_;
  // No two described names are the same key of a value set (they differ
  // other than in letter case); CheckFields then takes the keys of a row
  // without building a set of them.
  bool distinct_names_ = true;
  // A described column is unique, has a layout or a referenced column: its
  // check reads the value from Fields after the conversions.
  bool reads_fields_ = false;
  std::shared_ptr<FieldValueSet> described_names_;  // the names as keys
  std::vector<int32_t> key_fields_;  // the key columns, in field order
  std::vector<Variant> key_values_;
  // What CheckFieldsFor recorded (insert_recorded_), in field order: the
  // fields Fields holds and their values.
  bool insert_recorded_ = false;
  std::vector<int32_t> insert_fields_;
  std::vector<Variant> insert_values_;
  CachedText exists_text_;
  CachedText insert_text_;
  std::shared_ptr<data::CParse> parser_;
  std::shared_ptr<data::CDataSource> data_source_;
};

}  // namespace marl::check_out_update
