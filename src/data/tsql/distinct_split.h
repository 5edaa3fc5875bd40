// Splitting a SELECT DISTINCT over independent parts of its FROM, private
// to the translation stage.
//
// When the FROM items of "SELECT DISTINCT <list> FROM <items> WHERE <cond>"
// fall into groups that no term of the WHERE connects, the rows are the
// cross product of the groups' rows; the distinct rows are then the cross
// product of each group's distinct rows:
//   SELECT ds1.c1,ds2.c2,... FROM
//     (SELECT DISTINCT <group 1's columns> FROM <group 1> WHERE <its terms>)
//     ds1, (SELECT DISTINCT ...) ds2, ...
// Each part removes its duplicates over its own rows, and the product of
// parts free of duplicates has none, so the product needs no DISTINCT. (The
// cost balance lists pair 720 periods-and-departments and 20 products each
// with 11 cost items, then remove duplicates over 158,400 rows; split, the
// duplicates are removed over the 14,400 pairs and the 11 items.)
//
// Why the rows stay the same: two rows of the product are equal exactly
// when their parts are, each column compared as before (a part selects the
// same column, so with its collation, and 1 and 1.0 are equal in both);
// NULLs are equal to each other in every DISTINCT. Which of equal values
// represents a group is unspecified in both forms. The column names are
// kept: a part's column keeps the name its item gave, and the outer
// select names the part's column by that name.
//
// The rewrite is made only where that reading is certain; the SELECT is
// left alone otherwise:
// - the SELECT DISTINCT opens the statement or its parenthesis group and
//   has, at its own level, no TOP, GROUP BY, HAVING, ORDER BY, LIMIT,
//   compound operator, JOIN / ON / USING, INTO or WITH;
// - no parameter marker or variable in it (the rewrite reorders the text,
//   and markers bind in text order);
// - its FROM items are "name", "name [AS] alias" or "(subquery) [AS] alias",
//   names distinct;
// - its select list items are "q.c" or "q.c [AS] name" with q a name of the
//   FROM, the result names distinct (letter case aside);
// - its WHERE is terms joined by AND at its own level (no OR, CASE or
//   BETWEEN there); a term names columns only as q.c with q a name of the
//   FROM and holds no function call, quoted name or subquery, except, with
//   a column lookup, a subquery that resolves no name outside itself (see
//   SelfContainedSelect in distinct_reduce.h);
// - there are at least two groups and each has a select-list item. A term
//   that names no FROM item goes with the first group.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

// Token spans, first and last token inclusive.
using Span = std::pair<uint32_t, uint32_t>;

struct SplitPart {
  std::vector<Span> items;  // its select-list items, each written whole
  std::vector<Span> from;   // its FROM items
  std::vector<Span> terms;  // its WHERE terms
};

struct DistinctSplit {
  uint32_t select = 0;  // the SELECT token
  uint32_t last = 0;    // the last token of its level
  std::vector<SplitPart> parts;
  // The select list in order: the part of each item and its result name.
  std::vector<std::pair<size_t, std::string>> columns;
};

// Finds the splits of one statement spanning tokens [first, last], in the
// order of their SELECT tokens. `match` is indexed by (token - first): the
// matching parenthesis of each parenthesis (or -1). Pure; never throws.
std::vector<DistinctSplit> FindDistinctSplits(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnLookup* columns = nullptr);

// The text of `split` from the rendered text of each span (`render`): the
// outer select over the parts "ds1", "ds2", ...
template <typename Render>
std::string WriteDistinctSplit(const DistinctSplit& split, Render render) {
  std::string s = "SELECT ";
  for (size_t k = 0; k < split.columns.size(); ++k) {
    if (k > 0) s += ',';
    s += "ds" + std::to_string(split.columns[k].first + 1) + "." +
         split.columns[k].second;
  }
  s += " FROM ";
  auto join = [&](const std::vector<Span>& spans, const char* sep) {
    for (size_t k = 0; k < spans.size(); ++k) {
      if (k > 0) s += sep;
      s += render(spans[k].first, spans[k].second);
    }
  };
  for (size_t p = 0; p < split.parts.size(); ++p) {
    const SplitPart& part = split.parts[p];
    if (p > 0) s += ',';
    s += "(SELECT DISTINCT ";
    join(part.items, ",");
    s += " FROM ";
    join(part.from, ",");
    if (!part.terms.empty()) {
      s += " WHERE ";
      join(part.terms, " AND ");
    }
    s += ") ds" + std::to_string(p + 1);
  }
  return s;
}

}  // namespace marl::data::tsql::detail
