// Tokenizer of the SQL Server dialect, private to the translation stage.
//
// Tokenize() cuts a command text into significant tokens; whitespace and
// comments are not tokens but the gap before a token (Token::comment_before
// tells whether that gap holds a comment, so that it can be rendered without
// it). Offsets are byte offsets into the text, which must outlive the tokens.
// One pass, linear in the size of the text.
//
// Raises marl::Error (err::kDbSyntax) on an unterminated string, bracketed
// or quoted name or block comment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marl::data::tsql::detail {

enum class TokKind : uint8_t {
  Word,        // identifier or keyword, unquoted
  QuotedName,  // [name] or "name"
  String,      // '...' with '' escapes
  NString,     // N'...'
  Number,      // 12, 1.5, .5, 1e3
  HexNumber,   // 0x1F
  Variable,    // @name
  SystemVar,   // @@name
  TempName,    // #name, ##name
  Param,       // ?
  Op,          // punctuation and operators
};

// Keywords the translation looks at; everything else is Kw::None.
enum class Kw : uint8_t {
  None,
  All,
  Alter,
  And,
  As,
  Begin,
  Break,
  By,
  Case,
  Catch,
  Check,
  Close,
  Commit,
  Continue,
  Convert,
  Create,
  Cube,
  Cursor,
  Deallocate,
  Declare,
  Delete,
  Distinct,
  Distributed,
  Drop,
  Else,
  End,
  Except,
  Exec,
  Execute,
  Exists,
  Fetch,
  For,
  From,
  Function,
  Goto,
  Group,
  Having,
  If,
  Index,
  Insert,
  Intersect,
  Into,
  Isnull,
  Like,
  Merge,
  Not,
  Nolock,
  Null,
  On,
  Open,
  Option,
  Or,
  Order,
  Percent,
  Print,
  Procedure,
  Proc,
  Raiserror,
  Return,
  Rollback,
  Rollup,
  Save,
  Select,
  Set,
  Table,
  Ties,
  Top,
  Tran,
  Transaction,
  Trigger,
  Truncate,
  Try,
  Union,
  Update,
  Use,
  Values,
  View,
  Waitfor,
  Where,
  While,
  With,
};

struct Token {
  TokKind kind = TokKind::Op;
  Kw kw = Kw::None;
  bool comment_before = false;  // the gap before this token holds a comment
  uint32_t begin = 0;           // byte offsets into the text
  uint32_t end = 0;
  int32_t param_index = -1;  // for Param: 0-based count over the whole text
};

// Cuts `text` into tokens. `positional_count` receives the number of "?"
// markers.
std::vector<Token> Tokenize(std::string_view text, int32_t* positional_count);

// The token's text.
inline std::string_view TokenText(std::string_view text, const Token& t) {
  return text.substr(t.begin, t.end - t.begin);
}

// True when `t` is the single-character operator `c`.
inline bool IsOp(std::string_view text, const Token& t, char c) {
  return t.kind == TokKind::Op && t.end == t.begin + 1 && text[t.begin] == c;
}

// Appends the gap [begin, end) of `text` to `out` with every comment
// replaced by one blank.
void AppendGapWithoutComments(std::string_view text, uint32_t begin,
                              uint32_t end, std::string* out);

// Lower-cases ASCII letters (variable names compare without regard to case).
std::string AsciiLower(std::string_view s);

// The source of the translation stage's errors; a provider passing them on
// puts its own name there.
inline constexpr const char* kFrontEndSource = "T-SQL";

// The error every refusal of the translation stage raises.
[[noreturn]] void ThrowUnsupported(const std::string& construct);
[[noreturn]] void ThrowSyntax(const std::string& what);

}  // namespace marl::data::tsql::detail
