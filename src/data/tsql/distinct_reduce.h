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
// With the columns' types (SQLite dialects only; no WITH in the statement)
// three more shapes are read:
// - "q.*" as a whole select-list item, q a FROM item that is then not
//   reduced (a star names only q's columns);
// - a trailing "ORDER BY q.c [ASC | DESC], ..." (nothing after it), every q a
//   FROM item that is then not reduced: the rows of the other items that
//   reach the result, and so their sort keys, are the same either way;
// - "q.c <op> a.col" with q a derived table whose column c is, through its
//   levels, a column of a table with the same collation as a.col (by name,
//   BINARY where none is declared). A level passes a column on when it is
//   "SELECT [DISTINCT | ALL] list FROM items ..." (any WHERE, GROUP BY,
//   HAVING, ORDER BY, LIMIT; items joined by commas or any JOIN with ON or
//   USING) and the first select-list item giving c is "x.d [[AS] c]" with x
//   one of its FROM items, "d [[AS] c]" with a single FROM item, or "x.*" /
//   "*" (single item) whose first column named c is one; in a compound, the
//   first arm's item must be such a column and the other arms' items in its
//   place literals or columns of the same collation, none a star. An
//   expression (a function, CASE, "||", a cast) gives no known collation and
//   is refused, as are a qualifier naming no FROM item of its level, quoted
//   names and a column followed through more than 17 levels of derived
//   tables (or parenthesised compound arms).
//   A result column of a derived table compares with the collation of its
//   expression, and a column reference, through any level, keeps it; a
//   literal has none, so with BINARY data ('D05' / 'd05') a column of
//   another collation would meet a representative that it no longer matches.
//   The derived table's own inner rewrites (reduction, split, carrying a
//   constant) select the same columns, so they keep the collations too.
// With both lookups, a reduced table keeps only the rows its join can
// reach: "(SELECT DISTINCT <columns> FROM T WHERE d IN (S))" where
// - the WHERE, split at its own ANDs (none where it has OR, CASE or BETWEEN
//   at its level), has the conjunct "q.c = a.d" or "a.d = q.c", q a derived
//   table;
// - q's column c is read through bare columns of every level down to a
//   column of a table: at each level a single SELECT (no compound) whose
//   one output named c is "x.e [[AS] c]", "e [[AS] c]" (one FROM item that
//   has e), or comes from "x.*" / "*"; every select-list item must have a
//   name we can tell (a column, a star, or an expression with an alias
//   after AS, ")", END, a literal or a name), since "(e)" or "e COLLATE
//   NOCASE" is named e. A level may group, order, limit or join in any way:
//   a bare column of a grouped level is one row's value, and a
//   null-supplying side gives NULL, which equals nothing;
// - at some level of that chain the WHERE has the conjunct "x.e IN (S)"
//   (or "e IN (S)" with one FROM item) on that level's own x.e, so every
//   value of q.c is NULL or accepted by the IN;
// - S is self-contained (see SelfContainedSelect) and holds no function
//   call (random() would answer otherwise where repeated), no parameter or
//   variable (markers are numbered per statement), no N'' string and no
//   quoted name; it is written again token for token;
// - the column the chain ends at and T.d have the same affinity, not none
//   (with none, 1 and 1.0 are equal but not as text), and the same
//   collation, BINARY or NOCASE (SQLite does not treat RTRIM's equality as
//   transitive). Then q.c = a.d and "q.c IN (S)" compare alike and their
//   equality is an equivalence, so every row of T that meets a value of q.c
//   is one that "d IN (S)" accepts.
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
