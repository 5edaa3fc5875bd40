// Semi-join reduction inside SELECT DISTINCT, private to the translation
// stage.
//
// In "SELECT DISTINCT <list> FROM T a, <other items> WHERE <cond>" the rows
// of T matter only through the columns of `a` the query names; replacing
// "T a" by "(SELECT DISTINCT <those columns> FROM T) a" gives the same set
// of result rows while the join pairs each distinct combination once
// instead of once per row of T. Where the outer query constrains those
// columns, SQLite pushes the condition into the new subquery, so its cost
// follows the constrained slice, not the table. (The cost balance lists pair
// every row of a period with every cost item and product, then remove
// duplicates; this turns 2,200 x 11 x 200 pairings into 11 x 200.)
//
// The rewrite is made only where it provably keeps the result, and the
// whole SELECT is left alone as soon as anything is outside what the check
// understands:
// - the statement is a SELECT; the SELECT DISTINCT opens its parenthesis
//   group (or the statement) and has, at its own level, no TOP, GROUP BY,
//   HAVING, ORDER BY, LIMIT, compound operator, JOIN / ON / USING or INTO;
// - its FROM items are "name alias", "name AS alias", "name" or
//   "(subquery) [AS] alias", aliases distinct; at least two items;
// - the select list and WHERE hold no subquery, function call, COLLATE,
//   BETWEEN, quoted name, star, or unqualified column: every column is
//   written alias.column with an alias of this FROM.
// A table item "T a" (explicit alias) is then reduced when every use of a
// column of `a` is
// - a whole select-list item ("a.c" or "a.c [AS] name"), or
// - a whole operand of a comparison (=, <>, !=, <, <=, >, >=) in the WHERE
//   whose other operand is a literal, a parameter or a qualified column,
//   standing between AND / OR / NOT / parentheses or the ends of the WHERE,
//   and compared under a.c's own collation: a.c is the left operand, or the
//   left operand is a literal or parameter, or the left operand is the same
//   column of the same table (directly, or a bare column of a subquery
//   "SELECT [DISTINCT] ... FROM T [alias] [WHERE ...]").
// With a column lookup, the WHERE may also hold terms "q.c [NOT] IN
// (subquery)" standing between AND / OR / NOT / parentheses, where the
// subquery reads one table ("SELECT [DISTINCT] ... FROM T [[AS] alias]
// [WHERE ...]", no subquery, join, grouping or ordering inside) and every
// name in it is a column of T by the lookup, qualified by nothing or by T's
// own name or alias. Such a subquery resolves no name outside itself, so the
// term depends on the row of q alone; q itself is not reduced, and the
// statement must have no WITH (a common table expression could shadow T).
// Why that suffices: DISTINCT in the subquery merges only values that its
// column's collation (or numeric comparison, for 1 and 1.0) finds equal, and
// such values give the same outcome in every comparison made under that
// collation; the outer DISTINCT merged them already. Which of equal values
// represents the group is unspecified in both forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

// Replace the table-name token `token` by `text`.
struct TableReduction {
  uint32_t token = 0;
  std::string text;
};

// Finds the reductions of one statement spanning tokens [first, last].
// `match` is indexed by (token - first): the matching parenthesis of each
// parenthesis (or -1). Pure; never throws for any input. A SELECT DISTINCT
// walks its own level only (and the inside of its derived tables), so the
// work stays proportional to the statement however deeply they nest.
std::vector<TableReduction> FindDistinctReductions(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnLookup* columns = nullptr,
    const ColumnTypeLookup* types = nullptr);

// Whether tokens [b, e] of the statement [first, last] are "SELECT
// [DISTINCT] ... FROM T [[AS] alias] [WHERE ...]" whose every name is a
// column of T by `columns`: a subquery that resolves no name outside
// itself, so that it means the same wherever it stands. False without a
// lookup. The caller refuses statements with WITH (a common table expression
// could shadow T).
bool SelfContainedSelect(std::string_view text,
                         const std::vector<Token>& tokens, uint32_t first,
                         uint32_t last, const std::vector<int32_t>& match,
                         uint32_t b, uint32_t e, const ColumnLookup& columns);

}  // namespace marl::data::tsql::detail
