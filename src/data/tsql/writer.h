// Rewriting of one statement (or one expression) of the SQL Server dialect
// into the output dialect, private to the translation stage.
//
// A StatementWriter works on a span of tokens. It keeps the text between
// tokens as written (comments become one blank) and applies token edits:
// drop, replace, and text inserted before or after a token. Finish() runs the
// rewrites and refusals and renders the result with its parameter slots.
//
// Every dialect:
// - N'...' -> '...';
// - SELECT TOP n -> LIMIT n at the end of a lone SELECT;
// - in a SELECT statement: a table joined inside SELECT DISTINCT that
//   contributes only compared or listed columns is reduced to the DISTINCT
//   of those columns (see distinct_reduce.h), and a SELECT DISTINCT over
//   parts of its FROM that no WHERE term joins is written as the product of
//   each part's distinct rows (see distinct_split.h);
// - SQLite dialects, in a SELECT statement, given the columns' types: a
//   "column = constant" condition that holds for every row reaching the
//   result is repeated inside a derived table joined to that column by an
//   equality (see equality_push.h);
// - in statement mode: DELETE <table> -> DELETE FROM <table>,
//   INSERT <table> -> INSERT INTO <table>;
// - refusals (err::kDbSyntax naming the construct): @@variables, #temporary
//   tables, binary literals, CONVERT(...), table hints (WITH (NOLOCK),
//   NOLOCK), WITH ROLLUP / CUBE / TIES, TOP ... PERCENT, TOP with an
//   expression, UPDATE/DELETE/INSERT TOP, UPDATE ... FROM, DELETE with a
//   join, "+" next to a string literal (concatenation), LIKE patterns with
//   [...] classes, other parameter forms (:name, $name), quoted names
//   holding "]".
// SQLite (embedded and ODBC):
// - ISNULL( -> IFNULL(; [name] and "name" -> [name] (SQLite would read a
//   double-quoted name that matches no column as a string);
// - a branch of a compound SELECT with TOP becomes
//   SELECT * FROM (SELECT ... LIMIT n), and a parenthesised operand of UNION
//   / EXCEPT / INTERSECT becomes SELECT * FROM (...) (SQLite refuses both
//   as written);
// - through ODBC only (no registered functions there): LEN(x) ->
//   length(rtrim(x)), GETDATE() -> datetime('now','localtime').
// PostgreSQL:
// - ISNULL( -> COALESCE(; [name] and "name" -> "name" in lower case (the
//   server folds unquoted names to lower case, so the schema's names are
//   stored that way);
// - a branch of a compound SELECT with TOP becomes (SELECT ... LIMIT n);
//   parenthesised operands stay as written;
// - a date literal ('YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS') standing as a
//   whole item of the select list of a compound SELECT's branch becomes
//   CAST('...' AS timestamp) (the server types such a literal as text
//   there, which a date column of the other branch or of an INSERT target
//   refuses);
// - LEN(x) -> char_length(rtrim(x)), GETDATE() -> LOCALTIMESTAMP.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

class StatementWriter {
 public:
  // `check_variable` is called with each variable name (lower-cased,
  // without "@") the span uses; it raises when the name is not declared.
  StatementWriter(
      Dialect dialect, std::string_view text, const std::vector<Token>& tokens,
      uint32_t first, uint32_t last,
      const std::function<void(const std::string&)>& check_variable);

  void Drop(uint32_t i) { edit(i).drop = true; }
  // The database's columns, for the DISTINCT reduction (may be empty).
  void SetColumnLookup(const ColumnLookup* columns) { columns_ = columns; }
  // How the database's columns compare, for carrying "column = constant"
  // into a joined derived table (SQLite dialects; may be empty).
  void SetColumnTypeLookup(const ColumnTypeLookup* types) { types_ = types; }

  // Runs the rewrites and renders `head` + span + `tail`. `statement_mode`
  // applies the rewrites that depend on the statement's first keyword.
  Statement Finish(std::string_view head, std::string_view tail,
                   bool statement_mode);

 private:
  struct Edit {
    int32_t prefix = -1;  // indices into pool_
    int32_t suffix = -1;
    int32_t replace = -1;
    bool drop = false;
  };

  Edit& edit(uint32_t i) { return edits_[i - first_]; }
  const Token& tok(uint32_t i) const { return toks_[i]; }
  std::string_view str(uint32_t i) const { return TokenText(text_, toks_[i]); }
  bool op(uint32_t i, char c) const {
    return i >= first_ && i <= last_ && IsOp(text_, toks_[i], c);
  }
  bool word(uint32_t i, Kw kw) const {
    return i >= first_ && i <= last_ && toks_[i].kind == TokKind::Word &&
           toks_[i].kw == kw;
  }
  void Prefix(uint32_t i, std::string_view s);
  void Suffix(uint32_t i, std::string_view s);
  void Replace(uint32_t i, std::string s);

  void ComputeStructure();
  void RewriteSelects();
  void FinishGroup(uint32_t open, uint32_t end_inclusive, size_t group);
  void RewriteTop(uint32_t select, uint32_t branch_end, bool compound);
  void CastDateLiterals(uint32_t from, uint32_t to, int32_t depth);
  void RewriteFunction(uint32_t i);
  void RewriteLead(Statement* out);
  void RewriteTokens(Statement* out);
  void RewriteQuotedName(uint32_t i);
  std::string Render(std::string_view head, std::string_view tail) const;
  // Appends tokens [from, to] with their edits (no gap before `from`).
  void RenderRange(uint32_t from, uint32_t to, std::string* out) const;
  // Writes each SELECT DISTINCT over independent parts as their product
  // (see distinct_split.h); runs after every token rewrite.
  void SplitDistincts();
  void AppendGap(uint32_t i, std::string* out) const;
  std::string Excerpt(uint32_t from, uint32_t to) const;

  Dialect dialect_;
  std::string_view text_;
  const std::vector<Token>& toks_;
  uint32_t first_;
  uint32_t last_;
  const std::function<void(const std::string&)>& check_variable_;
  const ColumnLookup* columns_ = nullptr;
  const ColumnTypeLookup* types_ = nullptr;
  std::vector<Edit> edits_;
  std::vector<std::string> pool_;
  std::vector<int32_t> match_;  // per span token: matching paren, or -1
  std::vector<int32_t> depth_;  // per span token: parenthesis depth

  // Per parenthesis group (the span itself is group 0) while scanning.
  struct Group {
    uint32_t open = 0;
    std::vector<uint32_t> tops;       // SELECT tokens followed by TOP
    std::vector<uint32_t> compounds;  // UNION / EXCEPT / INTERSECT
    std::vector<uint32_t> orders;     // ORDER (BY)
  };
  std::vector<Group> groups_;
};

}  // namespace marl::data::tsql::detail
