// Splitting a SELECT DISTINCT over independent parts of its FROM (see
// distinct_split.h).
#include "data/tsql/distinct_split.h"

#include <cctype>
#include <numeric>
#include <optional>

#include "data/tsql/distinct_reduce.h"
#include "data/tsql/token_reader.h"

namespace marl::data::tsql::detail {
namespace {

// Words the tokenizer leaves unclassified that end or change the reading
// of a level: a SELECT holding one is left alone.
bool IsClauseWord(std::string_view w) {
  return OneOf(w, {"LIMIT", "OFFSET", "JOIN", "LEFT", "RIGHT", "INNER", "OUTER",
                   "CROSS", "FULL", "NATURAL", "USING", "WINDOW", "APPLY",
                   "PIVOT", "UNPIVOT", "TABLESAMPLE", "INDEXED"});
}

// Unclassified words a WHERE term may hold besides names.
bool IsTermWord(std::string_view w) {
  return OneOf(w, {"WHEN", "THEN", "IS", "IN", "ESCAPE", "BETWEEN"});
}

class Splitter : TokenReader {
 public:
  Splitter(std::string_view text, const std::vector<Token>& toks,
           uint32_t first, uint32_t last, const std::vector<int32_t>& match,
           const ColumnLookup* columns)
      : TokenReader(text, toks, first, last, match),
        columns_(TrustedLookup(columns)) {}

  std::vector<DistinctSplit> Run() {
    if (!kw(first_, Kw::Select)) return out_;
    for (uint32_t i : DistinctSelects()) {
      if (auto split = Core(i)) out_.push_back(std::move(*split));
    }
    return out_;
  }

 private:
  // An unquoted name that is no keyword.
  bool ident(uint32_t i) const {
    return in(i) && toks_[i].kind == TokKind::Word && toks_[i].kw == Kw::None &&
           !IsClauseWord(str(i)) && !IsTermWord(str(i)) && !word(i, "COLLATE");
  }
  int32_t close(uint32_t i) const {
    return op(i, '(') ? match_[i - first_] : -1;
  }
  // The next token of a walk along one level of [.., hi].
  uint32_t Next(uint32_t i, uint32_t hi) const {
    const int32_t m = close(i);
    if (m > static_cast<int32_t>(i) && static_cast<uint32_t>(m) <= hi) {
      return static_cast<uint32_t>(m) + 1;
    }
    return i + 1;
  }
  // Splits [lo, hi] (one level) at `sep`.
  template <typename Sep>
  std::vector<Span> Split(uint32_t lo, uint32_t hi, Sep sep) const {
    std::vector<Span> parts;
    uint32_t b = lo;
    for (uint32_t i = lo; i <= hi; i = Next(i, hi)) {
      if (sep(i)) {
        parts.emplace_back(b, i - 1);
        b = i + 1;
      }
    }
    parts.emplace_back(b, hi);
    return parts;
  }
  // "[AS] alias" filling exactly [b, c].
  std::optional<std::string_view> Alias(uint32_t b, uint32_t c) const {
    if (b == c && ident(b)) return str(b);
    if (b + 1 == c && kw(b, Kw::As) && ident(c)) return str(c);
    return std::nullopt;
  }
  // The FROM item named `q`, or -1.
  int Find(std::string_view q) const {
    for (size_t k = 0; k < names_.size(); ++k) {
      if (IEq(names_[k], q)) return static_cast<int>(k);
    }
    return -1;
  }

  // The FROM items [b, e] of a term, or nullopt when the term holds
  // something the split does not understand.
  std::optional<std::vector<int>> TermItems(uint32_t b, uint32_t e) const {
    std::vector<int> items;
    for (uint32_t i = b; i <= e; ++i) {
      const Token& t = toks_[i];
      switch (t.kind) {
        case TokKind::String:
        case TokKind::NString:
        case TokKind::Number:
          break;
        case TokKind::Op:
          if (op(i, '(') && kw(i + 1, Kw::Select)) {
            // a subquery that resolves nothing outside itself
            const int32_t m = close(i);
            if (m <= static_cast<int32_t>(i) || static_cast<uint32_t>(m) > e ||
                columns_ == nullptr ||
                !SelfContainedSelect(text_, toks_, first_, last_, match_, i + 1,
                                     static_cast<uint32_t>(m) - 1, *columns_)) {
              return std::nullopt;
            }
            i = static_cast<uint32_t>(m);
          }
          break;
        case TokKind::Word:
          if (t.kw != Kw::None) {
            switch (t.kw) {
              case Kw::Not:
              case Kw::Null:
              case Kw::And:
              case Kw::Or:
              case Kw::Like:
              case Kw::Case:
              case Kw::Else:
              case Kw::End:
                break;
              default:
                return std::nullopt;
            }
          } else if (IsTermWord(str(i))) {
            // IN, IS, BETWEEN ... (kept within the term by Core)
          } else if (ident(i) && op(i + 1, '.') && ident(i + 2) &&
                     !op(i - 1, '.')) {
            const int k = Find(str(i));
            if (k < 0) return std::nullopt;  // an outer or unknown name
            items.push_back(k);
            i += 2;
          } else {
            return std::nullopt;  // function, bare name, COLLATE, ...
          }
          break;
        default:
          return std::nullopt;  // quoted names, parameters, variables
      }
    }
    return items;
  }

  std::optional<DistinctSplit> Core(uint32_t s) {
    uint32_t e = last_;
    if (op(s - 1, '(')) {
      const int32_t m = close(s - 1);
      if (m <= static_cast<int32_t>(s)) return std::nullopt;
      e = static_cast<uint32_t>(m) - 1;
    }
    // Markers bind in text order, which the split changes.
    for (uint32_t i = s; i <= e; ++i) {
      const TokKind k = toks_[i].kind;
      if (k == TokKind::Param || k == TokKind::Variable) return std::nullopt;
    }
    uint32_t from = 0;
    uint32_t where = 0;
    for (uint32_t j = s + 2; j <= e; j = Next(j, e)) {
      const Token& t = toks_[j];
      if (t.kind != TokKind::Word) continue;
      switch (t.kw) {
        case Kw::From:
          if (from != 0) return std::nullopt;
          from = j;
          break;
        case Kw::Where:
          if (from == 0 || where != 0) return std::nullopt;
          where = j;
          break;
        case Kw::None:
          if (IsClauseWord(str(j))) return std::nullopt;
          if (where != 0 && IEq(str(j), "BETWEEN")) return std::nullopt;
          break;
        case Kw::Or:
        case Kw::Case:
          if (where != 0) return std::nullopt;
          break;
        default:
          if (OutsidePlainLevel(t.kw)) return std::nullopt;
          break;
      }
    }
    if (from == 0 || from <= s + 2) return std::nullopt;
    const uint32_t items_end = where != 0 ? where - 1 : e;
    if (items_end <= from || (where != 0 && where >= e)) return std::nullopt;

    // FROM items.
    names_.clear();
    const std::vector<Span> from_items =
        Split(from + 1, items_end, [&](uint32_t i) { return op(i, ','); });
    for (auto [b, c] : from_items) {
      std::optional<std::string_view> name;
      if (op(b, '(')) {
        const int32_t m = close(b);
        if (m < 0 || static_cast<uint32_t>(m) >= c) return std::nullopt;
        name = Alias(static_cast<uint32_t>(m) + 1, c);
      } else if (ident(b)) {
        name =
            b == c ? std::optional<std::string_view>(str(b)) : Alias(b + 1, c);
      }
      if (!name || Find(*name) >= 0) return std::nullopt;
      names_.push_back(*name);
    }
    if (names_.size() < 2) return std::nullopt;
    std::vector<size_t> group(names_.size());
    std::iota(group.begin(), group.end(), 0);
    auto root = [&](size_t k) {
      while (group[k] != k) k = group[k] = group[group[k]];
      return k;
    };

    // WHERE terms join the items they name.
    std::vector<std::pair<Span, int>> terms;  // with one item they name
    if (where != 0) {
      for (Span t :
           Split(where + 1, e, [&](uint32_t i) { return kw(i, Kw::And); })) {
        if (t.first > t.second) return std::nullopt;
        auto items = TermItems(t.first, t.second);
        if (!items) return std::nullopt;
        for (int k : *items) group[root(k)] = root((*items)[0]);
        terms.emplace_back(t, items->empty() ? 0 : (*items)[0]);
      }
    }

    // Select list: "q.c [[AS] name]".
    struct Column {
      Span span;
      int item;
      std::string_view name;
    };
    std::vector<Column> list;
    for (auto [b, c] :
         Split(s + 2, from - 1, [&](uint32_t i) { return op(i, ','); })) {
      if (!ident(b) || !op(b + 1, '.') || !ident(b + 2)) return std::nullopt;
      std::optional<std::string_view> name =
          c == b + 2 ? std::optional<std::string_view>(str(b + 2))
                     : Alias(b + 3, c);
      const int k = Find(str(b));
      if (!name || k < 0) return std::nullopt;
      for (const Column& other : list) {
        if (IEq(other.name, *name)) return std::nullopt;
      }
      list.push_back(Column{{b, c}, k, *name});
    }

    // Parts in the order of their first FROM item.
    DistinctSplit split;
    split.select = s;
    split.last = e;
    std::vector<int> part_of(names_.size(), -1);
    for (size_t k = 0; k < names_.size(); ++k) {
      const size_t r = root(k);
      if (part_of[r] < 0) {
        part_of[r] = static_cast<int>(split.parts.size());
        split.parts.emplace_back();
      }
      split.parts[part_of[r]].from.push_back(from_items[k]);
    }
    if (split.parts.size() < 2) return std::nullopt;
    for (const auto& [span, item] : terms) {
      split.parts[part_of[root(item)]].terms.push_back(span);
    }
    for (const Column& col : list) {
      const int p = part_of[root(col.item)];
      split.parts[p].items.push_back(col.span);
      split.columns.emplace_back(p, std::string(col.name));
    }
    for (const SplitPart& part : split.parts) {
      if (part.items.empty()) return std::nullopt;
    }
    return split;
  }

  const ColumnLookup* columns_;
  std::vector<std::string_view> names_;  // of the FROM items
  std::vector<DistinctSplit> out_;
};

}  // namespace

std::vector<DistinctSplit> FindDistinctSplits(std::string_view text,
                                              const std::vector<Token>& tokens,
                                              uint32_t first, uint32_t last,
                                              const std::vector<int32_t>& match,
                                              const ColumnLookup* columns) {
  if (first > last || last >= tokens.size()) return {};
  return Splitter(text, tokens, first, last, match, columns).Run();
}

}  // namespace marl::data::tsql::detail
