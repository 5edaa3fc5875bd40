// The cost balance lists as a ledger shows them (see list_format.h).
#include "list_format.h"

#include <algorithm>
#include <ostream>
#include <set>
#include <string_view>

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

// The value of `key` in `row`; false when the row or the key is absent.
bool Read(const std::shared_ptr<FieldValueSet>& row, const char* key,
          Variant* value) {
  return row && row->Lookup(key, value);
}

int Decimals(const std::shared_ptr<FieldValueSet>& row, const char* key,
             int fallback) {
  Variant v;
  if (!Read(row, key, &v)) return fallback;
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
  Variant v;
  return Read(row, "FCostID", &v) && CellText(v) == "*";
}

std::string GroupKey(const std::shared_ptr<FieldValueSet>& row) {
  std::string key;
  Variant v;
  for (const char* k : {"FYear", "FPeriod", "FExpDeptID", "FProductID"}) {
    if (Read(row, k, &v)) key += CellText(v) + '\x1f';
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
  records.reserve(list.Count());
  for (int32_t i = 1; i <= list.UBound(); ++i) {
    records.push_back(list.Record(i));
  }
  if (records.empty() || !records.front()) {
    out << "(no rows)\n";
    return;
  }
  // The columns, by their position in the first record's keys.
  const std::vector<std::string> all = records.front()->Keys();
  std::vector<const ColumnInfo*> known;
  std::vector<Kind> kinds;
  known.reserve(all.size());
  kinds.reserve(all.size());
  for (const std::string& c : all) {
    known.push_back(Known(c));
    kinds.push_back(known.back() ? known.back()->kind : Kind::kText);
  }
  auto header = [&](size_t c) {
    return known[c] ? std::string(known[c]->header) : all[c];
  };
  auto position = [&](std::string_view name) {
    return static_cast<size_t>(std::find(all.begin(), all.end(), name) -
                               all.begin());
  };

  // Items before their total: within a department and product, the '*'
  // row moves behind the items.
  std::vector<std::string> group_keys;
  std::vector<char> total;
  group_keys.reserve(records.size());
  total.reserve(records.size());
  for (const auto& r : records) {
    group_keys.push_back(GroupKey(r));
    total.push_back(IsTotal(r));
  }
  std::vector<std::shared_ptr<FieldValueSet>> ordered;
  std::vector<char> ordered_total;
  ordered.reserve(records.size());
  ordered_total.reserve(records.size());
  for (size_t i = 0; i < records.size();) {
    size_t j = i;
    while (j < records.size() && group_keys[j] == group_keys[i]) ++j;
    for (const bool totals : {false, true}) {
      for (size_t k = i; k < j; ++k) {
        if (static_cast<bool>(total[k]) != totals) continue;
        ordered.push_back(records[k]);
        ordered_total.push_back(total[k]);
      }
    }
    i = j;
  }

  // Every cell of every column, then the columns to show.
  std::vector<RowDecimals> decimals;
  decimals.reserve(ordered.size());
  for (const auto& r : ordered) decimals.push_back(DecimalsOf(r));
  std::vector<std::vector<std::string>> cells(all.size());
  for (size_t c = 0; c < all.size(); ++c) {
    std::vector<std::string>& column = cells[c];
    column.reserve(ordered.size() + 1);
    for (size_t r = 0; r < ordered.size(); ++r) {
      column.push_back(Cell(ordered[r], all[c], kinds[c], decimals[r]));
    }
  }
  // The grand total of the total rows, where the list has them.
  const bool has_totals = std::find(ordered_total.begin(), ordered_total.end(),
                                    1) != ordered_total.end();
  if (has_totals) {
    for (size_t c = 0; c < all.size(); ++c) {
      bool any = false;
      double sum = 0;
      if (kinds[c] == Kind::kAmount) {
        for (size_t r = 0; r < ordered.size(); ++r) {
          if (!ordered_total[r]) continue;
          const Variant v = ordered[r]->Value(all[c]);
          if (!v.IsNumeric()) continue;
          sum += v.ToDouble();
          any = true;
        }
      }
      cells[c].push_back(any ? Money(sum, 2) : "");
    }
  }
  for (size_t c = 0; c < all.size(); ++c) {
    if (kinds[c] != Kind::kText) AlignPoints(cells[c]);
  }
  const std::string kGrandTotal = "grand total";  // in the first column
  auto width_of = [&](size_t c, bool first) {
    size_t w = DisplayWidth(header(c));
    for (const std::string& t : cells[c]) w = std::max(w, DisplayWidth(t));
    if (first && has_totals) w = std::max(w, kGrandTotal.size());
    return w;
  };

  std::vector<size_t> shown;
  if (!o.columns.empty()) {
    for (const std::string& c : o.columns) {
      const size_t at = position(c);
      if (at == all.size()) {
        std::string names;
        for (const std::string& a : all) names += " " + a;
        throw UsageError("the list has no column " + c + "; it has:" + names);
      }
      shown.push_back(at);
    }
  } else {
    // Known columns in their order, then the others, while they fit.
    std::vector<size_t> candidates;
    for (const ColumnInfo& k : kKnown) {
      const size_t at = position(k.name);
      if (at != all.size() && !kNotByDefault.count(k.name)) {
        candidates.push_back(at);
      }
    }
    for (size_t c = 0; c < all.size(); ++c) {
      if (!known[c]) candidates.push_back(c);
    }
    // The first column in the list's order carries the grand total label.
    const size_t first_in_order =
        candidates.empty()
            ? all.size()
            : *std::min_element(candidates.begin(), candidates.end());
    std::vector<char> chosen(all.size(), 0);
    size_t used = 0;
    bool none = true;
    for (const size_t c : candidates) {
      const size_t w = width_of(c, c == first_in_order) + (none ? 0 : 2);
      if (used + w > o.width) continue;
      used += w;
      none = false;
      chosen[c] = 1;
    }
    // Shown in the list's own order.
    for (size_t c = 0; c < all.size(); ++c) {
      if (chosen[c]) shown.push_back(c);
    }
  }

  std::vector<std::string> headers;
  headers.reserve(shown.size());
  for (const size_t c : shown) headers.push_back(header(c));
  TextTable table(std::move(headers));
  for (size_t k = 0; k < shown.size(); ++k) {
    table.SetRightAligned(k, kinds[shown[k]] != Kind::kText);
  }
  const size_t n = cells[shown.front()].size();
  for (size_t r = 0; r < n; ++r) {
    std::vector<std::string> row;
    row.reserve(shown.size());
    for (const size_t c : shown) row.push_back(cells[c][r]);
    if (has_totals && r + 1 == n) row.front() = kGrandTotal;
    table.AddRow(std::move(row));
  }
  out << table.Render() << "(" << list.UBound() << " rows"
      << (has_totals ? ", items before their total" : "") << ")\n";
  if (shown.size() < all.size() && o.columns.empty()) {
    // Wrapped to the same width as the table.
    std::string line = "Left out to fit " + std::to_string(o.width) +
                       " columns (choose with --columns NAME,...):";
    for (size_t c = 0, k = 0; c < all.size(); ++c) {
      if (k < shown.size() && shown[k] == c) {
        ++k;
        continue;
      }
      if (line.size() + 1 + all[c].size() > o.width) {
        out << line << "\n";
        line = " ";
      }
      line += " " + all[c];
    }
    out << line << "\n";
  }
}

}  // namespace marl::cli
