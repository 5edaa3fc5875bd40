// Tokenizer of the SQL Server dialect (see tokenizer.h).
#include "data/tsql/tokenizer.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "marlcheckout/error.h"

namespace marl::data::tsql::detail {
namespace {

// Sorted by name, upper case, for binary search.
constexpr std::pair<std::string_view, Kw> kKeywords[] = {
    {"ALL", Kw::All},
    {"ALTER", Kw::Alter},
    {"AND", Kw::And},
    {"AS", Kw::As},
    {"BEGIN", Kw::Begin},
    {"BREAK", Kw::Break},
    {"BY", Kw::By},
    {"CASE", Kw::Case},
    {"CATCH", Kw::Catch},
    {"CHECK", Kw::Check},
    {"CLOSE", Kw::Close},
    {"COMMIT", Kw::Commit},
    {"CONTINUE", Kw::Continue},
    {"CONVERT", Kw::Convert},
    {"CREATE", Kw::Create},
    {"CUBE", Kw::Cube},
    {"CURSOR", Kw::Cursor},
    {"DEALLOCATE", Kw::Deallocate},
    {"DECLARE", Kw::Declare},
    {"DELETE", Kw::Delete},
    {"DISTINCT", Kw::Distinct},
    {"DISTRIBUTED", Kw::Distributed},
    {"DROP", Kw::Drop},
    {"ELSE", Kw::Else},
    {"END", Kw::End},
    {"EXCEPT", Kw::Except},
    {"EXEC", Kw::Exec},
    {"EXECUTE", Kw::Execute},
    {"EXISTS", Kw::Exists},
    {"FETCH", Kw::Fetch},
    {"FOR", Kw::For},
    {"FROM", Kw::From},
    {"FUNCTION", Kw::Function},
    {"GOTO", Kw::Goto},
    {"GROUP", Kw::Group},
    {"HAVING", Kw::Having},
    {"IF", Kw::If},
    {"INDEX", Kw::Index},
    {"INSERT", Kw::Insert},
    {"INTERSECT", Kw::Intersect},
    {"INTO", Kw::Into},
    {"ISNULL", Kw::Isnull},
    {"LIKE", Kw::Like},
    {"MERGE", Kw::Merge},
    {"NOLOCK", Kw::Nolock},
    {"NOT", Kw::Not},
    {"NULL", Kw::Null},
    {"ON", Kw::On},
    {"OPEN", Kw::Open},
    {"OPTION", Kw::Option},
    {"OR", Kw::Or},
    {"ORDER", Kw::Order},
    {"PERCENT", Kw::Percent},
    {"PRINT", Kw::Print},
    {"PROC", Kw::Proc},
    {"PROCEDURE", Kw::Procedure},
    {"RAISERROR", Kw::Raiserror},
    {"RETURN", Kw::Return},
    {"ROLLBACK", Kw::Rollback},
    {"ROLLUP", Kw::Rollup},
    {"SAVE", Kw::Save},
    {"SELECT", Kw::Select},
    {"SET", Kw::Set},
    {"TABLE", Kw::Table},
    {"TIES", Kw::Ties},
    {"TOP", Kw::Top},
    {"TRAN", Kw::Tran},
    {"TRANSACTION", Kw::Transaction},
    {"TRIGGER", Kw::Trigger},
    {"TRUNCATE", Kw::Truncate},
    {"TRY", Kw::Try},
    {"UNION", Kw::Union},
    {"UPDATE", Kw::Update},
    {"USE", Kw::Use},
    {"VALUES", Kw::Values},
    {"VIEW", Kw::View},
    {"WAITFOR", Kw::Waitfor},
    {"WHERE", Kw::Where},
    {"WHILE", Kw::While},
    {"WITH", Kw::With},
};
static_assert(std::is_sorted(std::begin(kKeywords), std::end(kKeywords)),
              "keywords must be sorted");

constexpr size_t kMaxKeywordLength = 11;

Kw Classify(std::string_view word) {
  if (word.size() < 2 || word.size() > kMaxKeywordLength) return Kw::None;
  char buf[kMaxKeywordLength];
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    buf[i] = c;
  }
  std::string_view upper(buf, word.size());
  auto it = std::lower_bound(std::begin(kKeywords), std::end(kKeywords), upper,
                             [](const std::pair<std::string_view, Kw>& e,
                                std::string_view w) { return e.first < w; });
  if (it != std::end(kKeywords) && it->first == upper) return it->second;
  return Kw::None;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' ||
         c == '\v';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsIdentPart(char c) {
  return IsIdentStart(c) || IsDigit(c) || c == '$' || c == '#' || c == '@';
}

// Skips one comment starting at `i` (which must start "--" or "/*"); returns
// the offset after it.
size_t SkipComment(std::string_view text, size_t i) {
  const size_t n = text.size();
  if (text[i] == '-') {
    while (i < n && text[i] != '\n' && text[i] != '\r') ++i;
    return i;
  }
  int depth = 0;
  while (i < n) {
    if (i + 1 < n && text[i] == '/' && text[i + 1] == '*') {
      ++depth;
      i += 2;
    } else if (i + 1 < n && text[i] == '*' && text[i + 1] == '/') {
      --depth;
      i += 2;
      if (depth == 0) return i;
    } else {
      ++i;
    }
  }
  ThrowSyntax("unterminated comment");
}

bool StartsComment(std::string_view text, size_t i) {
  return i + 1 < text.size() && ((text[i] == '-' && text[i + 1] == '-') ||
                                 (text[i] == '/' && text[i + 1] == '*'));
}

// Offset after a quoted item starting at `i` with `close` as its closing
// character (a doubled closing character is an escape).
size_t SkipQuoted(std::string_view text, size_t i, char close,
                  const char* what) {
  const size_t n = text.size();
  ++i;
  while (i < n) {
    if (text[i] == close) {
      if (i + 1 < n && text[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  ThrowSyntax(std::string("unterminated ") + what);
}

}  // namespace

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

void ThrowUnsupported(const std::string& construct) {
  throw Error(err::kDbSyntax, kFrontEndSource,
              "unsupported construct: " + construct);
}

void ThrowSyntax(const std::string& what) {
  throw Error(err::kDbSyntax, kFrontEndSource, "incorrect syntax: " + what);
}

void AppendGapWithoutComments(std::string_view text, uint32_t begin,
                              uint32_t end, std::string* out) {
  size_t i = begin;
  while (i < end) {
    if (StartsComment(text, i)) {
      i = SkipComment(text, i);
      out->push_back(' ');
    } else {
      out->push_back(text[i]);
      ++i;
    }
  }
}

std::vector<Token> Tokenize(std::string_view text, int32_t* positional_count) {
  std::vector<Token> tokens;
  tokens.reserve(text.size() / 4 + 8);
  const size_t n = text.size();
  int32_t params = 0;
  size_t i = 0;
  bool comment = false;
  while (i < n) {
    char c = text[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (StartsComment(text, i)) {
      i = SkipComment(text, i);
      comment = true;
      continue;
    }
    Token t;
    t.begin = static_cast<uint32_t>(i);
    t.comment_before = comment;
    comment = false;
    if (c == '\'') {
      t.kind = TokKind::String;
      i = SkipQuoted(text, i, '\'', "string literal");
    } else if ((c == 'N' || c == 'n') && i + 1 < n && text[i + 1] == '\'') {
      t.kind = TokKind::NString;
      i = SkipQuoted(text, i + 1, '\'', "string literal");
    } else if (c == '[') {
      t.kind = TokKind::QuotedName;
      i = SkipQuoted(text, i, ']', "bracketed name");
    } else if (c == '"') {
      t.kind = TokKind::QuotedName;
      i = SkipQuoted(text, i, '"', "quoted name");
    } else if (c == '@') {
      size_t j = i + 1;
      t.kind = TokKind::Variable;
      if (j < n && text[j] == '@') {
        t.kind = TokKind::SystemVar;
        ++j;
      }
      size_t start = j;
      while (j < n && IsIdentPart(text[j])) ++j;
      if (j == start) ThrowSyntax("a lone \"@\"");
      i = j;
    } else if (c == '#') {
      t.kind = TokKind::TempName;
      size_t j = i + 1;
      while (j < n && IsIdentPart(text[j])) ++j;
      i = j;
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(text[i + 1]))) {
      if (c == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        t.kind = TokKind::HexNumber;
        size_t j = i + 2;
        while (j < n && (IsDigit(text[j]) || IsIdentStart(text[j]))) ++j;
        i = j;
      } else {
        t.kind = TokKind::Number;
        size_t j = i;
        while (j < n && IsDigit(text[j])) ++j;
        if (j < n && text[j] == '.') {
          ++j;
          while (j < n && IsDigit(text[j])) ++j;
        }
        if (j < n && (text[j] == 'e' || text[j] == 'E')) {
          size_t k = j + 1;
          if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
          if (k < n && IsDigit(text[k])) {
            while (k < n && IsDigit(text[k])) ++k;
            j = k;
          }
        }
        i = j;
      }
    } else if (IsIdentStart(c)) {
      t.kind = TokKind::Word;
      size_t j = i + 1;
      while (j < n && IsIdentPart(text[j])) ++j;
      i = j;
      t.kw = Classify(text.substr(t.begin, i - t.begin));
    } else if (c == '?') {
      t.kind = TokKind::Param;
      t.param_index = params++;
      ++i;
    } else {
      t.kind = TokKind::Op;
      char d = i + 1 < n ? text[i + 1] : '\0';
      bool two = (c == '<' && (d == '=' || d == '>')) ||
                 (c == '>' && d == '=') ||
                 (c == '!' && (d == '=' || d == '<' || d == '>')) ||
                 (c == '|' && d == '|');
      i += two ? 2 : 1;
    }
    t.end = static_cast<uint32_t>(i);
    tokens.push_back(t);
  }
  if (positional_count != nullptr) *positional_count = params;
  return tokens;
}

}  // namespace marl::data::tsql::detail
