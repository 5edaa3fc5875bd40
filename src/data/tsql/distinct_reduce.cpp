// Semi-join reduction inside SELECT DISTINCT (see distinct_reduce.h).
#include "data/tsql/distinct_reduce.h"

#include <cctype>
#include <optional>
#include <unordered_map>
#include <utility>

#include "data/tsql/token_reader.h"
namespace marl::data::tsql::detail {
namespace {

// Words the tokenizer leaves unclassified that are not names.
bool IsReserved(std::string_view w) {
  return OneOf(
      w, {"WHEN",   "THEN",    "IS",         "IN",     "BETWEEN", "LIMIT",
          "OFFSET", "JOIN",    "LEFT",       "RIGHT",  "INNER",   "OUTER",
          "CROSS",  "FULL",    "NATURAL",    "USING",  "COLLATE", "ESCAPE",
          "GLOB",   "REGEXP",  "MATCH",      "WINDOW", "OVER",    "FILTER",
          "CAST",   "NOTNULL", "ASC",        "DESC",   "INDEXED", "APPLY",
          "PIVOT",  "UNPIVOT", "TABLESAMPLE"});
}

// One FROM item.
struct Item {
  uint32_t table = 0;  // name token of a table item
  bool derived = false;
  bool has_alias = false;
  std::string alias;
  std::string table_name;  // table item: its name; simple subquery: its table
  // Simple subquery: output column name -> source column of table_name.
  std::vector<std::pair<std::string, std::string>> columns;
  bool reducible = false;
  std::vector<std::string> used;  // columns of a table item the query names
};

class Reducer : TokenReader {
 public:
  Reducer(std::string_view text, const std::vector<Token>& toks, uint32_t first,
          uint32_t last, const std::vector<int32_t>& match,
          const ColumnLookup* columns)
      : TokenReader(text, toks, first, last, match),
        columns_(TrustedLookup(columns)) {}

  std::vector<TableReduction> Run() {
    if (!kw(first_, Kw::Select)) return out_;
    for (uint32_t i : DistinctSelects()) {
      Core(i);
    }
    return out_;
  }

  // See SelfContainedSelect().
  bool SubqueryIsSelfContained(uint32_t b, uint32_t e) const {
    return SelfContained(b, e);
  }

 private:
  // An unquoted name that is no keyword.
  bool ident(uint32_t i) const {
    return in(i) && toks_[i].kind == TokKind::Word && toks_[i].kw == Kw::None &&
           !IsReserved(str(i));
  }
  // "q . c" starting at i.
  bool qualified(uint32_t i) const {
    return ident(i) && op(i + 1, '.') && ident(i + 2);
  }
  bool literal(uint32_t i) const {
    if (!in(i)) return false;
    switch (toks_[i].kind) {
      case TokKind::String:
      case TokKind::NString:
      case TokKind::Number:
      case TokKind::Param:
      case TokKind::Variable:
        return true;
      default:
        return kw(i, Kw::Null);
    }
  }
  bool comparison(uint32_t i) const {
    if (!in(i) || toks_[i].kind != TokKind::Op) return false;
    std::string_view s = str(i);
    return s == "=" || s == "<" || s == ">" || s == "<=" || s == ">=" ||
           s == "<>" || s == "!=";
  }
  // NOT counts only as a prefix operator ("x IS NOT y" compares).
  bool boundary_before(uint32_t i, uint32_t lo) const {
    if (i < lo || !in(i)) return true;
    if (kw(i, Kw::Not)) return i == 0 || boundary_before(i - 1, lo);
    return kw(i, Kw::And) || kw(i, Kw::Or) || op(i, '(');
  }
  bool boundary_after(uint32_t i, uint32_t hi) const {
    return i > hi || kw(i, Kw::And) || kw(i, Kw::Or) || op(i, ')');
  }

  Item* find(std::string_view alias) {
    for (Item& it : items_) {
      if (IEq(it.alias, alias)) return &it;
    }
    return nullptr;
  }

  // The next token of a walk along one level of [.., hi]: past the group
  // that opens at i, if any. Walks of a level never enter the groups inside
  // it, so nested SELECT DISTINCTs cost no more than flat ones.
  uint32_t Next(uint32_t i, uint32_t hi) const {
    if (op(i, '(')) {
      const int32_t m = match_[i - first_];
      if (m > static_cast<int32_t>(i) && static_cast<uint32_t>(m) <= hi) {
        return static_cast<uint32_t>(m) + 1;
      }
    }
    return i + 1;
  }

  // Splits [lo, hi] (one level) at its commas.
  std::vector<std::pair<uint32_t, uint32_t>> Split(uint32_t lo,
                                                   uint32_t hi) const {
    std::vector<std::pair<uint32_t, uint32_t>> parts;
    uint32_t b = lo;
    for (uint32_t i = lo; i <= hi; i = Next(i, hi)) {
      if (op(i, ',')) {
        parts.emplace_back(b, i - 1);
        b = i + 1;
      }
    }
    parts.emplace_back(b, hi);
    return parts;
  }

  // "[AS] alias" filling exactly [b, c]; empty when malformed.
  std::optional<std::string> Alias(uint32_t b, uint32_t c) const {
    if (b == c && ident(b)) return std::string(str(b));
    if (b + 1 == c && kw(b, Kw::As) && ident(c)) return std::string(str(c));
    return std::nullopt;
  }

  // Reads "SELECT [DISTINCT] cols FROM T [[AS] alias] [WHERE ...]" in
  // [b, e] (a subquery's inside); fills the source columns of `item`.
  void SimpleSubquery(uint32_t b, uint32_t e, Item* item) const {
    if (!kw(b, Kw::Select)) return;
    uint32_t from = 0;
    uint32_t where = e + 1;
    for (uint32_t i = b + 1; i <= e; i = Next(i, e)) {
      if (kw(i, Kw::From) && from == 0) from = i;
      if (kw(i, Kw::Where) && from != 0) {
        where = i;
        break;
      }
    }
    if (from == 0 || !ident(from + 1)) return;
    if (from + 1 != where - 1 && !Alias(from + 2, where - 1)) return;
    // Nothing after WHERE at its level.
    for (uint32_t i = where; i <= e; i = Next(i, e)) {
      const Token& t = toks_[i];
      if (t.kind == TokKind::Word &&
          (t.kw == Kw::Group || t.kw == Kw::Order || t.kw == Kw::Union ||
           t.kw == Kw::Except || t.kw == Kw::Intersect || t.kw == Kw::Having ||
           word(i, "LIMIT"))) {
        return;
      }
    }
    uint32_t list = kw(b + 1, Kw::Distinct) ? b + 2 : b + 1;
    if (list >= from) return;
    for (auto [pb, pc] : Split(list, from - 1)) {
      if (ident(pb) && pb == pc) {
        item->columns.emplace_back(str(pb), str(pb));
      } else if (ident(pb) && pb < pc && Alias(pb + 1, pc)) {
        item->columns.emplace_back(*Alias(pb + 1, pc), str(pb));
      }
    }
    item->table_name = std::string(str(from + 1));
  }

  // Whether comparing under the collation of q.c gives that of a.col.
  bool SameColumn(uint32_t q, const Item& a, std::string_view col) {
    Item* other = find(str(q));
    if (other == nullptr || !IEq(other->table_name, a.table_name)) {
      return false;
    }
    std::string_view c = str(q + 2);
    if (!other->derived) return IEq(c, col);
    for (const auto& [name, source] : other->columns) {
      if (IEq(name, c)) return IEq(source, col);
    }
    return false;
  }

  // Whether keyword or reserved word i is one an expression the check
  // understands may hold: CASE ... END, NOT, NULL, AND, OR, LIKE, and WHEN,
  // THEN, IS, IN, ESCAPE (and BETWEEN where `between`).
  bool ExpressionWord(uint32_t i, bool between) const {
    switch (toks_[i].kw) {
      case Kw::Case:
      case Kw::Else:
      case Kw::End:
      case Kw::Not:
      case Kw::Null:
      case Kw::And:
      case Kw::Or:
      case Kw::Like:
        return true;
      case Kw::None:
        break;
      default:
        return false;
    }
    const std::string_view w = str(i);
    return IEq(w, "WHEN") || IEq(w, "THEN") || IEq(w, "IS") || IEq(w, "IN") ||
           IEq(w, "ESCAPE") || (between && IEq(w, "BETWEEN"));
  }

  // Checks [lo, hi] (select-list expression or WHERE) for names and
  // constructs the check understands. False: leave the SELECT alone.
  bool Vocabulary(uint32_t lo, uint32_t hi) {
    for (uint32_t i = lo; i <= hi; i = Skip(i) + 1) {
      const Token& t = toks_[i];
      switch (t.kind) {
        case TokKind::Word:
          if (t.kw != Kw::None || IsReserved(str(i))) {
            if (!ExpressionWord(i, /*between=*/false)) return false;
          } else if (op(i - 1, '.') && i > lo) {
            // the column of a qualified name, checked with its qualifier
          } else if (op(i + 1, '(')) {
            return false;  // function call
          } else if (op(i + 1, '.') && i + 2 <= hi) {
            if (find(str(i)) == nullptr || !ident(i + 2)) return false;
          } else {
            return false;  // unqualified column or stray name
          }
          break;
        case TokKind::String:
        case TokKind::NString:
        case TokKind::Number:
        case TokKind::Param:
        case TokKind::Variable:
          break;
        case TokKind::Op:
          if (op(i, '*') && (i == lo || op(i - 1, '.'))) return false;
          break;
        default:
          return false;
      }
    }
    return true;
  }

  // The last token of an accepted IN subquery opening at i, else i.
  uint32_t Skip(uint32_t i) const {
    auto it = skip_.find(i);
    return it != skip_.end() ? it->second : i;
  }

  // Whether [b, e] is "SELECT [DISTINCT] ... FROM T [[AS] alias] [WHERE ...]"
  // whose every name is a column of T (by the lookup): it resolves nothing
  // outside itself.
  bool SelfContained(uint32_t b, uint32_t e) const {
    if (columns_ == nullptr || !kw(b, Kw::Select)) return false;
    uint32_t from = 0;
    uint32_t where = e + 1;
    for (uint32_t i = b + 1; i <= e; ++i) {
      if (kw(i, Kw::From) && from == 0) from = i;
      if (kw(i, Kw::Where) && from != 0 && where > e) where = i;
    }
    if (from == 0 || from + 1 >= where || !ident(from + 1)) return false;
    const std::string_view table = str(from + 1);
    std::string_view name = table;  // what qualifies T's columns
    if (from + 2 < where) {
      auto alias = Alias(from + 2, where - 1);
      if (!alias) return false;
      name = str(where - 1);
    }
    auto column = [&](uint32_t i) { return (*columns_)(table, str(i)); };
    for (uint32_t i = b + 1; i <= e; ++i) {
      if (i > from && i < where) continue;  // the FROM item
      const Token& t = toks_[i];
      switch (t.kind) {
        case TokKind::String:
        case TokKind::NString:
        case TokKind::Number:
        case TokKind::Param:
        case TokKind::Variable:
        case TokKind::Op:
          break;
        case TokKind::Word:
          if (t.kw == Kw::Distinct) {
            if (i != b + 1) return false;
          } else if (t.kw == Kw::From || t.kw == Kw::Where || t.kw == Kw::As) {
            // the subquery's own clauses
          } else if (t.kw != Kw::None || IsReserved(str(i))) {
            if (!ExpressionWord(i, /*between=*/true)) return false;
          } else if (op(i - 1, '.')) {
            // a column, checked with its qualifier
          } else if (op(i + 1, '(') || kw(i - 1, Kw::As)) {
            // a function, or a name given to a result column
          } else if (op(i + 1, '.')) {
            if (!IEq(str(i), name) || !ident(i + 2) || !column(i + 2)) {
              return false;
            }
          } else if (!column(i)) {
            return false;
          }
          break;
        default:
          return false;  // quoted names and anything else
      }
    }
    return true;
  }

  // Accepts every subquery of the WHERE [lo, hi] that is the operand of
  // "q.c [NOT] IN" standing as a whole term and is self-contained; false
  // when any other subquery is found.
  bool InSubqueries(uint32_t lo, uint32_t hi) {
    skip_.clear();
    for (uint32_t i = lo; i <= hi; ++i) {
      if (kw(i, Kw::Select)) return false;
      if (!op(i, '(') || !kw(i + 1, Kw::Select)) continue;
      const int32_t m = match_[i - first_];
      if (m <= static_cast<int32_t>(i) || static_cast<uint32_t>(m) > hi) {
        return false;
      }
      const auto close = static_cast<uint32_t>(m);
      if (i < lo + 4 || !word(i - 1, "IN")) return false;
      const uint32_t p = kw(i - 2, Kw::Not) ? i - 5 : i - 4;
      if (p < lo || !qualified(p) || !boundary_before(p - 1, lo) ||
          !boundary_after(close + 1, hi) || !SelfContained(i + 1, close - 1)) {
        return false;
      }
      skip_.emplace(i, close);
      i = close;
    }
    return true;
  }

  // A use of a.col at [p, p+2] inside the WHERE [lo, hi].
  bool ComparisonUse(uint32_t p, uint32_t lo, uint32_t hi, const Item& a) {
    const std::string_view col = str(p + 2);
    // a.col <op> other
    if (comparison(p + 3) && boundary_before(p - 1, lo)) {
      uint32_t o = p + 4;
      if (literal(o) && boundary_after(o + 1, hi)) return true;
      if (qualified(o) && boundary_after(o + 3, hi)) return true;
    }
    // other <op> a.col
    if (p >= 2 && comparison(p - 1) && boundary_after(p + 3, hi)) {
      if (literal(p - 2) && p - 2 >= lo && boundary_before(p - 3, lo)) {
        return true;
      }
      if (p >= 4 && p - 4 >= lo && qualified(p - 4) &&
          boundary_before(p - 5, lo) && SameColumn(p - 4, a, col)) {
        return true;
      }
    }
    return false;
  }

  void Use(Item* a, std::string_view col) {
    for (const std::string& u : a->used) {
      if (IEq(u, col)) return;
    }
    a->used.emplace_back(col);
  }

  // The SELECT DISTINCT at s opens the statement or the group of the
  // parenthesis before it; [s, e] is that level.
  void Core(uint32_t s) {
    uint32_t e = last_;
    if (op(s - 1, '(')) {
      const int32_t m = match_[s - 1 - first_];
      if (m <= static_cast<int32_t>(s)) return;
      e = static_cast<uint32_t>(m) - 1;
    }
    uint32_t from = 0;
    uint32_t where = 0;
    for (uint32_t j = s + 2; j <= e; j = Next(j, e)) {
      const Token& t = toks_[j];
      if (t.kind != TokKind::Word) continue;
      switch (t.kw) {
        case Kw::From:
          if (from != 0) return;
          from = j;
          break;
        case Kw::Where:
          if (from == 0 || where != 0) return;
          where = j;
          break;
        case Kw::None:
          if (IsReserved(str(j)) && !IEq(str(j), "WHEN") &&
              !IEq(str(j), "THEN") && !IEq(str(j), "IS") &&
              !IEq(str(j), "IN") && !IEq(str(j), "ESCAPE")) {
            return;  // LIMIT, JOIN, USING, ...
          }
          break;
        default:
          if (OutsidePlainLevel(t.kw)) return;
          break;
      }
    }
    if (from == 0 || from <= s + 2 || from >= e) return;
    const uint32_t items_end = where != 0 ? where - 1 : e;
    if (items_end <= from) return;
    if (where != 0 && where >= e) return;

    items_.clear();
    for (auto [b, c] : Split(from + 1, items_end)) {
      Item it;
      if (op(b, '(')) {
        const int32_t m = match_[b - first_];
        if (m < 0 || static_cast<uint32_t>(m) >= c) return;
        auto alias = Alias(static_cast<uint32_t>(m) + 1, c);
        if (!alias) return;
        it.derived = true;
        it.has_alias = true;
        it.alias = *alias;
        SimpleSubquery(b + 1, static_cast<uint32_t>(m) - 1, &it);
      } else if (ident(b)) {
        it.table = b;
        it.table_name = std::string(str(b));
        if (b == c) {
          it.alias = it.table_name;
        } else {
          auto alias = Alias(b + 1, c);
          if (!alias) return;
          it.has_alias = true;
          it.alias = *alias;
          it.reducible = true;
        }
      } else {
        return;
      }
      if (find(it.alias) != nullptr) return;
      items_.push_back(std::move(it));
    }
    if (items_.size() < 2) return;

    // Select list: whole-item uses only.
    for (auto [b, c] : Split(s + 2, from - 1)) {
      uint32_t ee = c;
      if (c > b && kw(c - 1, Kw::As) && ident(c)) {
        ee = c - 2;
      } else if (c > b && ident(c) && !op(c - 1, '.')) {
        ee = c - 1;
      }
      if (ee < b || !Vocabulary(b, ee)) return;
      for (uint32_t i = b; i <= ee; ++i) {
        if (!qualified(i) || (i > b && op(i - 1, '.'))) continue;
        Item* q = find(str(i));
        if (q == nullptr) return;
        if (i == b && ee == b + 2) {
          Use(q, str(i + 2));
        } else {
          q->reducible = false;
        }
        i += 2;
      }
    }
    // WHERE: comparison operands only.
    if (where != 0) {
      const uint32_t lo = where + 1;
      if (!InSubqueries(lo, e) || !Vocabulary(lo, e)) return;
      for (uint32_t i = lo; i <= e; i = Skip(i) + 1) {
        if (!qualified(i) || (i > lo && op(i - 1, '.'))) continue;
        Item* q = find(str(i));
        if (q == nullptr) return;
        if (q->reducible) {
          if (ComparisonUse(i, lo, e, *q)) {
            Use(q, str(i + 2));
          } else {
            q->reducible = false;
          }
        }
        i += 2;
      }
    }
    for (const Item& it : items_) {
      if (!it.reducible || it.used.empty()) continue;
      std::string sub = "(SELECT DISTINCT ";
      for (size_t k = 0; k < it.used.size(); ++k) {
        if (k > 0) sub += ',';
        sub += it.used[k];
      }
      sub += " FROM ";
      sub += it.table_name;
      sub += ')';
      out_.push_back(TableReduction{it.table, std::move(sub)});
    }
  }

  const ColumnLookup* columns_;
  std::unordered_map<uint32_t, uint32_t> skip_;  // accepted IN subqueries
  std::vector<Item> items_;
  std::vector<TableReduction> out_;
};

}  // namespace

std::vector<TableReduction> FindDistinctReductions(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnLookup* columns) {
  if (first > last || last >= tokens.size()) return {};
  return Reducer(text, tokens, first, last, match, columns).Run();
}

bool SelfContainedSelect(std::string_view text,
                         const std::vector<Token>& tokens, uint32_t first,
                         uint32_t last, const std::vector<int32_t>& match,
                         uint32_t b, uint32_t e, const ColumnLookup& columns) {
  if (first > last || last >= tokens.size() || b < first || e > last ||
      !columns) {
    return false;
  }
  return Reducer(text, tokens, first, last, match, &columns)
      .SubqueryIsSelfContained(b, e);
}

}  // namespace marl::data::tsql::detail
