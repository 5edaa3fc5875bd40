// The cost balance lists as a ledger shows them (the table format of
// `list`): readable headers, amounts and quantities with the row's
// precision (FPrecision; prices FPPrecision) and thousands separators,
// aligned on the decimal point; a default column set that fits 120
// columns; the items of a department and product before their total row
// (FCostID '*'), and a grand total line of the total rows.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "marlcheckout/containers.h"

namespace marl::cli {

struct LedgerOptions {
  std::vector<std::string> columns;  // chosen columns; empty: the default
  size_t width = 120;                // what the default set fits in
};

// The header shown for a column ("FBegBal" -> "beginning balance"); the
// name itself for a column without one.
std::string ReadableHeader(const std::string& column);

// Writes the table; raises UsageError for a --columns name the list lacks.
void PrintLedger(const ItemList& list, const LedgerOptions& options,
                 std::ostream& out);

}  // namespace marl::cli
