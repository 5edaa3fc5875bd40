// Statement splitter of the SQL Server dialect, private to the translation
// stage.
//
// A batch need not separate its statements with ";". At parenthesis depth 0
// a new statement starts at ";" (which is dropped) or at a statement keyword:
// SELECT, INSERT, UPDATE, DELETE, DECLARE, SET, IF, ELSE, BEGIN, END, WHILE,
// EXEC, EXECUTE, CREATE, DROP, ALTER, TRUNCATE, RETURN, PRINT, COMMIT,
// ROLLBACK, GOTO, RAISERROR, WAITFOR, MERGE, and WITH when it opens a common
// table expression. Exceptions: SELECT right after UNION / ALL / EXCEPT /
// INTERSECT; the SELECT (or VALUES) of an INSERT, also after a WITH's
// definitions; the SELECT / INSERT / UPDATE / DELETE that follows a WITH's
// definitions; the first SET of an UPDATE; END and ELSE while a CASE is
// open; UPDATE / DELETE after ON; IF after TABLE / INDEX / VIEW (DROP TABLE
// IF EXISTS); DROP / ALTER / SET inside an ALTER. A block BEGIN (not BEGIN
// TRAN), a block END and ELSE are statements of one token each.
//
// Raises marl::Error (err::kDbSyntax) on unbalanced parentheses or a CASE
// without END.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

struct RawStatement {
  uint32_t first = 0;  // token indices, inclusive
  uint32_t last = 0;
  Kw lead = Kw::None;  // keyword of the first token
};

std::vector<RawStatement> SplitStatements(std::string_view text,
                                          const std::vector<Token>& tokens);

}  // namespace marl::data::tsql::detail
