// Private operations of CheckOutUpdate: the cost balance table's builder,
// the batch completion query, profile numbers, the department list text and
// the late-bound access to lists and rows handed back by sibling
// components.
//
// Errors are marl::Error and pass on unchanged. No state; any thread (each
// object returned belongs to the caller).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "check_out_update/command_builder.h"
#include "data/ado.h"
#include "data/data_source.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/variant.h"

namespace marl::check_out_update {

// A new builder over CB_CostBalance for the connection property string
// `props`: its own parser and data source, the table, `fields` (a clone of
// it when given; the caller's reference is not changed) and its own
// connection, then the nineteen columns in table order with their types,
// sizes, required and key flags, defaults and error items. `connection` is
// accepted and not used.
std::unique_ptr<check_out_update::CommandBuilder> GetCostBalanceBuilder(
    const std::string& props, const std::shared_ptr<FieldValueSet>& fields,
    const Variant& connection = Variant::Missing());

// The batch completion statement for periods up to (`year`, `period`):
// products of type 3 with their cost-object quantity and the quantity
// completed up to and including that period, ordered by FID. The bound is
// written as common::PeriodKeyText.
std::string BatchInfoSql(int32_t year, int32_t period);

// The batch completion rows as a detached client-side static recordset.
std::shared_ptr<data::Recordset> GetBatchInfo(
    const std::shared_ptr<data::Connection>& connection, int32_t year,
    int32_t period);
// The same rows as an ItemList of FieldValueSets keyed by column name.
std::shared_ptr<ItemList> GetBatchInfoList(
    const std::shared_ptr<data::Connection>& connection, int32_t year,
    int32_t period);

// The leading number of a profile value: the numeric prefix of its text
// (blanks, tabs and line feeds anywhere in it are skipped, a sign, digits,
// a decimal point and an exponent are read); 0 when there is none. A null
// value raises 94.
double LeadingNumber(const Variant& value);

// "(" + "'<id>'," per department + ")" with the last "," dropped:
// "('D1','D2')"; ")" for no department. A single quote inside an
// identifier is written twice, so the text reads back as the same
// identifiers.
std::string DepartmentListText(Dispatchable& departments);

// Late-bound access (any object answering Count, Item and Value):
int32_t ListCount(Dispatchable& list);
std::shared_ptr<Dispatchable> ListItem(Dispatchable& list, int32_t position);
Variant RowValue(Dispatchable& row, std::string_view key);
void SetRowValue(Dispatchable& row, std::string_view key, Variant value);
// The row's Clone, which must be a FieldValueSet (13 otherwise).
std::shared_ptr<FieldValueSet> CloneRow(Dispatchable& row);
// The object a Variant refers to; 91 when it refers to none.
std::shared_ptr<Dispatchable> ObjectOf(const Variant& value);
// The same object, without a reference taken: it lives as long as `value`
// holds it.
Dispatchable& ObjectRef(const Variant& value);

}  // namespace marl::check_out_update
