// What the SELECT rewrites of the translation stage (the DISTINCT reduction,
// the DISTINCT split and the carrying of a "column = constant" condition)
// share to read one statement's tokens: private to the translation stage.
#pragma once

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/tokenizer.h"

namespace marl::data::tsql::detail {

// Whether two words are equal without regard to ASCII letter case.
inline bool IEq(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Whether `w` is one of `words`, letter case aside.
inline bool OneOf(std::string_view w,
                  std::initializer_list<std::string_view> words) {
  for (std::string_view k : words) {
    if (IEq(w, k)) return true;
  }
  return false;
}

// Whether a keyword has no place in a plain level, "SELECT [DISTINCT] list
// FROM items [WHERE terms]", beyond its subqueries: a level holding one is
// read otherwise, or left alone.
inline bool OutsidePlainLevel(Kw k) {
  switch (k) {
    case Kw::Top:
    case Kw::Group:
    case Kw::Having:
    case Kw::Order:
    case Kw::Union:
    case Kw::Except:
    case Kw::Intersect:
    case Kw::On:
    case Kw::Into:
    case Kw::Select:
    case Kw::Values:
    case Kw::Option:
    case Kw::For:
    case Kw::With:
      return true;
    default:
      return false;
  }
}

// The tokens [first, last] of `text`, with the matching parenthesis of each
// parenthesis (`match`, indexed by token - first, -1 for other tokens). Every
// reader answers false (or nothing) for a token outside the range, so a walk
// may look one token past either end.
class TokenReader {
 protected:
  TokenReader(std::string_view text, const std::vector<Token>& toks,
              uint32_t first, uint32_t last, const std::vector<int32_t>& match)
      : text_(text), toks_(toks), first_(first), last_(last), match_(match) {}

  bool in(uint32_t i) const { return i >= first_ && i <= last_; }
  std::string_view str(uint32_t i) const { return TokenText(text_, toks_[i]); }
  bool kw(uint32_t i, Kw k) const {
    return in(i) && toks_[i].kind == TokKind::Word && toks_[i].kw == k;
  }
  bool op(uint32_t i, char c) const {
    return in(i) && IsOp(text_, toks_[i], c);
  }
  // A word the tokenizer leaves unclassified, spelled `w` (any case).
  bool word(uint32_t i, std::string_view w) const {
    return in(i) && toks_[i].kind == TokKind::Word && toks_[i].kw == Kw::None &&
           IEq(str(i), w);
  }

  // The SELECT tokens of the SELECT DISTINCTs that open the range or a
  // parenthesis group, in text order.
  std::vector<uint32_t> DistinctSelects() const {
    std::vector<uint32_t> out;
    for (uint32_t i = first_; i + 1 <= last_; ++i) {
      if (kw(i, Kw::Select) && kw(i + 1, Kw::Distinct) &&
          (i == first_ || op(i - 1, '('))) {
        out.push_back(i);
      }
    }
    return out;
  }
  // The tokens [b, e] as written, one blank for any gap (comments dropped).
  std::string Written(uint32_t b, uint32_t e) const {
    std::string out;
    for (uint32_t i = b; i <= e; ++i) {
      if (i > b && toks_[i - 1].end != toks_[i].begin) out += ' ';
      out += str(i);
    }
    return out;
  }
  // `columns` (a ColumnLookup or a ColumnTypeLookup) when it answers and the
  // range holds no WITH (a common table expression could shadow the table a
  // subquery names), else nullptr.
  template <typename Lookup>
  const Lookup* TrustedLookup(const Lookup* columns) const {
    if (columns == nullptr || !*columns) return nullptr;
    for (uint32_t i = first_; i <= last_; ++i) {
      if (kw(i, Kw::With)) return nullptr;
    }
    return columns;
  }

  std::string_view text_;
  const std::vector<Token>& toks_;
  uint32_t first_;
  uint32_t last_;
  const std::vector<int32_t>& match_;
};

}  // namespace marl::data::tsql::detail
