// Globals: operations shared by the classes of the component: the system
// profile read, the value check before a column is written, data type to
// value type mapping, recordset rows as value sets and item lists, fixed
// texts in the caller's language, and a plain-text property lookup.
//
// Contract (each operation below states its own):
// - GetProfileValue and the row conversions pass every database and
//   recordset failure on unchanged.
// - CheckValue raises only 10000, 10004 and 10005 (plus the failures of the
//   error text lookups, see errinfo.h).
// - LoadResText and GetPropValue never fail.
// Thread safety: every operation may run on any thread; the resource-text
// loader and the pending error record are per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "data/ado.h"
#include "data/data_source.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace marl::common {

// The value of one setting of t_SystemProfile (`key` in `category`, note the
// order), read through a new read-committed connection of `ds` with
// "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?".
// FValue of the first row as stored; with no row, `default_value` when it is
// given (not Missing), else empty text. Nothing is cached.
Variant GetProfileValue(data::CDataSource& ds, const std::string& key,
                        const std::string& category,
                        const Variant& default_value = Variant::Missing());

// Checks and converts `value` in place before it is written to a column of
// value type `value_type` (a VarType code) and `size` (UTF-16 code units for
// text, elements for byte arrays; size 0 disables the length check):
// - empty or null: raises 10000 when `required`, else becomes Null;
// - another type: converted with Variant::ChangeType; failure raises 10004;
// - text longer than `size`: 10005; empty byte array: as empty above;
//   byte array longer than `size`: 10005.
// The error's source is GetErrCodeText(number), its description
// `error_item`, its help file GetErrItemText(error_item as a 32-bit integer)
// and, for 10004 and 10005, " = '" + the value as text + "'". A value that
// failed stays as converted so far.
void CheckValue(data::CDataSource& ds, const std::string& error_item,
                Variant& value, int32_t value_type, int32_t size,
                bool required);

// The value type code (VarType) for an ADO data type code; 0 for codes
// without one.
int32_t DataTypeToVarType(int32_t data_type);

// A new FieldValueSet of the current row: one entry per field, keyed by the
// field name, in field order. The position does not change.
std::shared_ptr<FieldValueSet> RowToValueSet(const data::Recordset& rs);

// A new ItemList of RowToValueSet of every row from the first; the recordset
// is left at its end.
std::shared_ptr<ItemList> RecordsetToItemList(data::Recordset& rs);
// The same list, with the rows' values moved into it: the recordset is
// closed (Recordset::TakeRows), each row's storage let go once its set is
// made.
std::shared_ptr<ItemList> TakeRecordsetToItemList(data::Recordset& rs);

// `text` in `language` through the calling thread's resource-text loader
// ("OpalRESLOADER.Loader", base name "HvCost"; the Simplified Chinese text,
// trimmed of blanks, is the lookup key). Language "chs" returns `text`
// unchanged without touching the loader; any failure returns `text`
// unchanged. The thread's pending error (PendingError) survives the call.
std::string LoadResText(const std::string& text, const std::string& language);

// The value of `key` in a connection property string by plain search: the
// key (without regard to letter case) followed by "=", up to the next ";".
// Blanks are not removed and braces are not understood. The key matches
// only where a key starts: at the start of the string or after a ";" and
// any blanks, so "ReportLanguage=x" is not read as "Language". Empty text
// when the key is absent.
std::string GetPropValue(const std::string& props, const std::string& key);

// A FieldValueSet argument of a late-bound call: an object reference to a
// value set, or nothing (Empty, Null, Missing or a null reference gives
// nullptr). Anything else raises 13.
std::shared_ptr<FieldValueSet> ValueSetArgument(const Variant& v);

// `text` with every single quote doubled, ready to stand between single
// quotes in a statement. Never fails.
std::string QuoteDoubled(std::string_view text);

// The period key year + 0.0001 * period as written into SQL: computed in
// double precision (the period scaled first, then the year added), written
// with 15 significant digits in plain decimal notation without trailing
// zeros (2005/3 -> "2005.0003", 2005/10 -> "2005.001", 2005/0 -> "2005").
// Never fails.
std::string PeriodKeyText(int32_t year, int32_t period);

// The error record an error handler of the calling thread is dealing with
// (number 0: none). The frame sets it while a method's failure path runs;
// operations that catch errors of their own (LoadResText) leave it as they
// found it.
struct ErrorRecord {
  int32_t number = 0;
  std::string source;
  std::string description;
  std::string help_file;
  int32_t help_context = 0;

  static ErrorRecord From(const Error& e);
  Error ToError() const;
};
ErrorRecord& PendingError();

}  // namespace marl::common
