// Carrying a "column = constant" condition across a join equality into a
// derived table, private to the translation stage.
//
// SQLite pushes a WHERE condition on a derived table's column into that
// table, but it does not derive "v.c = K" from "x.c = K AND v.c = x.c" when
// the columns compare without case (its constant propagation is limited to
// BINARY comparisons), so a derived table joined only through such an
// equality is computed over all its rows. Where "x.c = K" holds for every
// row that can reach the result, this rewrite adds "c = K" to the WHERE of
// the derived table v itself.
//
// The fact "q.c = K holds for every contributing row" starts at a WHERE
// conjunct "c = K", "q.c = K" (or the constant on the left) at any SELECT
// level, K a string or number literal, and travels down a chain of levels:
// - from a level to the FROM item q that provides c: qualified by q, or the
//   only item; q is not the null-supplying side of an outer join (every
//   join of the level is a comma, [INNER] JOIN or LEFT [OUTER] JOIN, and
//   with a JOIN only the first item qualifies);
// - into a derived q whose own level provides c as a bare column (q2.c [[AS]
//   c], q2.* or *, named exactly once in its select list) and holds no
//   function call, subquery, quoted name, GROUP BY, HAVING, ORDER BY,
//   LIMIT, TOP or compound operator: filtering its result on c then equals
//   filtering its rows (DISTINCT merges only values that compare equal under
//   c's own collation, so a group passes or fails as a whole).
// Along the chain, every level whose FROM is a comma list and whose WHERE
// holds a conjunct "q.c = s.d" (either order), s a derived table
// "(SELECT [DISTINCT] list FROM U [[AS] alias] [WHERE w])" with nothing else
// at its level and with d a bare column d2 of U in its list, receives
// "d2 = K AND (w)" (or "WHERE d2 = K") inside s. The chain's column at its
// end is a column of a table; it and U.d2 must have the same affinity (by
// their declared types) and the same collation, BINARY or NOCASE. Then the
// three comparisons apply the same conversion to K and compare under one
// collation whose equality is an equivalence, so s.d = q.c = K implies d2 = K,
// and the rows of s it removes are rows no contributing row used. NULL equals
// nothing either way.
//
// A WHERE is split into conjuncts only when it has, at its own level, no
// OR, CASE or BETWEEN. The statement must be a SELECT without WITH (a
// common table expression could shadow a table the lookup answers for).
// Anything outside these shapes leaves the text alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

// Insert `text` before (prefix) or after token `token`.
struct TextInsertion {
  uint32_t token = 0;
  bool before = false;
  std::string text;
};

// Finds the insertions for one statement spanning tokens [first, last];
// `match` as for FindDistinctReductions. Pure; never throws for any input.
std::vector<TextInsertion> FindEqualityPushdowns(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnTypeLookup& types);

// The affinity SQLite gives a column of declared type `declared`: 'I'
// (INTEGER), 'T' (TEXT), 'B' (BLOB or none), 'R' (REAL) or 'N' (NUMERIC).
char AffinityOf(std::string_view declared);

}  // namespace marl::data::tsql::detail
