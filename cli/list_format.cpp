// The cost balance lists as a ledger shows them (see list_format.h).
#include "list_format.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <set>

#include "common.h"
#include "money.h"
#include "operator.h"
#include "table_format.h"

namespace marl::cli {

namespace {

enum class Kind { kText, kAmount, kQuantity, kPrice, kCount };

struct ColumnInfo {
  const char* name;
  const char* header;
  Kind kind;
};

// Known columns, in the order the default set takes them while it fits.
const ColumnInfo kKnown[] = {
    {"FExpDeptID", "dept", Kind::kText},
    {"FProductID", "product", Kind::kText},
    {"FCostID", "item", Kind::kText},
    {"FProductName", "product name", Kind::kText},
    {"FCostName", "cost item", Kind::kText},
    {"FBegBal", "beginning balance", Kind::kAmount},
    {"FAccount", "period amount", Kind::kAmount},
    {"FEndBal", "ending balance", Kind::kAmount},
    {"FPrice", "unit cost", Kind::kPrice},
    {"FQty", "WIP qty (beg.)", Kind::kQuantity},
    {"FCompleQty", "completed qty", Kind::kQuantity},
    {"FOnlineQty", "WIP qty", Kind::kQuantity},
    {"FCalPrice", "calculated cost", Kind::kPrice},
    {"FOnlineJorQty", "WIP equivalent", Kind::kQuantity},
    {"FGatherAccount", "gathered amount", Kind::kAmount},
    {"FGatherEndAccount", "gathered ending", Kind::kAmount},
    {"FExpDeptName", "department", Kind::kText},
    {"FRem", "remark", Kind::kText},
    {"FYear", "year", Kind::kCount},
    {"FPeriod", "period", Kind::kCount},
    {"FPrecision", "decimals", Kind::kCount},
    {"FPPrecision", "price decimals", Kind::kCount},
};

// Shown by default only when asked for: the row's own bookkeeping.
const std::set<std::string> kNotByDefault = {"FYear", "FPeriod", "FPrecision",
                                             "FPPrecision", "FRem"};

const ColumnInfo* Known(const std::string& name) {
  for (const ColumnInfo& c : kKnown) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

Kind KindOf(const std::string& name) {
  const ColumnInfo* c = Known(name);
  return c ? c->kind : Kind::kText;
}

int Decimals(const std::shared_ptr<FieldValueSet>& row, const char* key,
             int fallback) {
  if (!row || !row->Exists(key)) return fallback;
  const Variant v = row->Value(key);
  return v.IsNumeric() ? static_cast<int>(v.ToDouble()) : fallback;
}

// The decimals a row's amounts and prices are shown with.
struct RowDecimals {
  int amount = 2;
  int price = 2;
};

RowDecimals DecimalsOf(const std::shared_ptr<FieldValueSet>& row) {
  return {Decimals(row, "FPrecision", 2), Decimals(row, "FPPrecision", 2)};
}

std::string Cell(const std::shared_ptr<FieldValueSet>& row,
                 const std::string& column, Kind kind,
                 const RowDecimals& decimals) {
  const Variant v = row ? row->Value(column) : Variant();
  if (!v.IsNumeric() || v.Type() == VarType::Bool || kind == Kind::kText ||
      kind == Kind::kCount) {
    return CellText(v);
  }
  return Money(v.ToDouble(),
               kind == Kind::kPrice ? decimals.price : decimals.amount);
}

// Cells of a right-aligned column padded on the right so that decimal
// points line up.
void AlignPoints(std::vector<std::string>& cells) {
  size_t widest = 0;
  for (const std::string& c : cells) {
    const size_t point = c.find('.');
    if (point != std::string::npos) widest = std::max(widest, c.size() - point);
  }
  for (std::string& c : cells) {
    if (c.empty()) continue;
    const size_t point = c.find('.');
    const size_t tail = point == std::string::npos ? 0 : c.size() - point;
    c.append(widest - tail, ' ');
  }
}

bool IsTotal(const std::shared_ptr<FieldValueSet>& row) {
  return row && row->Exists("FCostID") &&
         CellText(row->Value("FCostID")) == "*";
}

std::string GroupKey(const std::shared_ptr<FieldValueSet>& row) {
  if (!row) return "";
  std::string key;
  for (const char* k : {"FYear", "FPeriod", "FExpDeptID", "FProductID"}) {
    if (row->Exists(k)) key += CellText(row->Value(k)) + '\x1f';
  }
  return key;
}

}  // namespace

std::string ReadableHeader(const std::string& column) {
  const ColumnInfo* c = Known(column);
  return c ? c->header : column;
}

void PrintLedger(const ItemList& list, const LedgerOptions& o,
                 std::ostream& out) {
  std::vector<std::shared_ptr<FieldValueSet>> records;
  for (int32_t i = 1; i <= list.UBound(); ++i) {
    records.push_back(list.Record(i));
  }
  if (records.empty() || !records.front()) {
    out << "(no rows)\n";
    return;
  }
  const std::vector<std::string> all = records.front()->Keys();

  // The kind of each column, looked up once.
  std::vector<Kind> kinds;
  kinds.reserve(all.size());
  for (const std::string& c : all) kinds.push_back(KindOf(c));

  // Items before their total: within a department and product, the '*'
  // row moves behind the items.
  std::vector<std::string> group_keys;
  group_keys.reserve(records.size());
  for (const auto& r : records) group_keys.push_back(GroupKey(r));
  std::vector<std::shared_ptr<FieldValueSet>> ordered;
  ordered.reserve(records.size());
  for (size_t i = 0; i < records.size();) {
    size_t j = i;
    while (j < records.size() && group_keys[j] == group_keys[i]) ++j;
    std::vector<std::shared_ptr<FieldValueSet>> totals;
    for (size_t k = i; k < j; ++k) {
      (IsTotal(records[k]) ? totals : ordered).push_back(records[k]);
    }
    ordered.insert(ordered.end(), totals.begin(), totals.end());
    i = j;
  }

  // Every cell of every column, then the columns to show.
  std::vector<RowDecimals> decimals;
  decimals.reserve(ordered.size());
  for (const auto& r : ordered) decimals.push_back(DecimalsOf(r));
  std::map<std::string, std::vector<std::string>> cells;
  for (size_t c = 0; c < all.size(); ++c) {
    std::vector<std::string>& column = cells[all[c]];
    column.reserve(ordered.size() + 1);
    for (size_t r = 0; r < ordered.size(); ++r) {
      column.push_back(Cell(ordered[r], all[c], kinds[c], decimals[r]));
    }
  }
  // The grand total of the total rows, where the list has them.
  bool has_totals = false;
  std::map<std::string, double> grand;
  for (const auto& r : ordered) {
    if (!IsTotal(r)) continue;
    has_totals = true;
    for (size_t c = 0; c < all.size(); ++c) {
      if (kinds[c] != Kind::kAmount) continue;
      const Variant v = r->Value(all[c]);
      if (v.IsNumeric()) grand[all[c]] += v.ToDouble();
    }
  }
  if (has_totals) {
    for (const std::string& c : all) {
      cells[c].push_back(grand.count(c) ? Money(grand[c], 2) : "");
    }
  }
  for (size_t c = 0; c < all.size(); ++c) {
    if (kinds[c] != Kind::kText) AlignPoints(cells[all[c]]);
  }
  const std::string kGrandTotal = "grand total";  // in the first column
  auto width_of = [&](const std::string& c, bool first) {
    size_t w = DisplayWidth(ReadableHeader(c));
    for (const std::string& t : cells[c]) w = std::max(w, DisplayWidth(t));
    if (first && has_totals) w = std::max(w, kGrandTotal.size());
    return w;
  };

  std::vector<std::string> shown;
  if (!o.columns.empty()) {
    for (const std::string& c : o.columns) {
      if (!cells.count(c)) {
        std::string names;
        for (const std::string& a : all) names += " " + a;
        throw UsageError("the list has no column " + c + "; it has:" + names);
      }
      shown.push_back(c);
    }
  } else {
    // Known columns in their order, then the others, while they fit.
    std::vector<std::string> candidates;
    for (const ColumnInfo& k : kKnown) {
      if (cells.count(k.name) && !kNotByDefault.count(k.name)) {
        candidates.push_back(k.name);
      }
    }
    for (const std::string& c : all) {
      if (!Known(c)) candidates.push_back(c);
    }
    // The first column in the list's order carries the grand total label.
    std::string first_in_order;
    for (const std::string& c : all) {
      if (std::find(candidates.begin(), candidates.end(), c) !=
          candidates.end()) {
        first_in_order = c;
        break;
      }
    }
    size_t used = 0;
    for (const std::string& c : candidates) {
      const size_t w =
          width_of(c, c == first_in_order) + (shown.empty() ? 0 : 2);
      if (used + w > o.width) continue;
      used += w;
      shown.push_back(c);
    }
    // Shown in the list's own order.
    std::vector<std::string> in_order;
    for (const std::string& c : all) {
      if (std::find(shown.begin(), shown.end(), c) != shown.end()) {
        in_order.push_back(c);
      }
    }
    shown = in_order;
  }

  std::vector<std::string> headers;
  for (const std::string& c : shown) {
    headers.push_back(ReadableHeader(c));
  }
  const size_t n = cells[shown.front()].size();
  std::vector<std::vector<std::string>> rows(n);
  for (size_t r = 0; r < n; ++r) {
    for (const std::string& c : shown) rows[r].push_back(cells[c][r]);
  }
  TextTable table(headers);
  for (size_t c = 0; c < shown.size(); ++c) {
    table.SetRightAligned(c, KindOf(shown[c]) != Kind::kText);
  }
  if (has_totals) rows.back().front() = kGrandTotal;
  for (auto& r : rows) table.AddRow(std::move(r));
  out << table.Render() << "(" << list.UBound() << " rows"
      << (has_totals ? ", items before their total" : "") << ")\n";
  if (shown.size() < all.size() && o.columns.empty()) {
    // Wrapped to the same width as the table.
    std::string line = "Left out to fit " + std::to_string(o.width) +
                       " columns (choose with --columns NAME,...):";
    for (const std::string& c : all) {
      if (std::find(shown.begin(), shown.end(), c) != shown.end()) continue;
      if (line.size() + 1 + c.size() > o.width) {
        out << line << "\n";
        line = " ";
      }
      line += " " + c;
    }
    out << line << "\n";
  }
}

}  // namespace marl::cli
