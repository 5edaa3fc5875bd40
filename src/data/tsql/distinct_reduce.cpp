// Semi-join reduction inside SELECT DISTINCT (see distinct_reduce.h).
#include "data/tsql/distinct_reduce.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <utility>

#include "data/tsql/equality_push.h"
#include "data/tsql/token_reader.h"

namespace marl::data::tsql::detail {
namespace {

// How deep the collation of a derived table's column is followed.
constexpr int kMaxLevels = 16;
// How many FROM items one membership walk may count columns of: a star
// over several derived tables branches, so nesting alone does not bound it.
constexpr int kMaxCounted = 4096;

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
  uint32_t open = 0;   // the opening parenthesis of a derived item
  bool derived = false;
  bool has_alias = false;
  std::string alias;
  std::string table_name;  // table item: its name; simple subquery: its table
  // Simple subquery: output column name -> source column of table_name.
  std::vector<std::pair<std::string, std::string>> columns;
  bool reducible = false;
  std::vector<std::string> used;  // columns of a table item the query names
  size_t compared = 0;            // the first of them, compared in the WHERE
};

class Reducer : TokenReader {
 public:
  Reducer(std::string_view text, const std::vector<Token>& toks, uint32_t first,
          uint32_t last, const std::vector<int32_t>& match,
          const ColumnLookup* columns, const ColumnTypeLookup* types)
      : TokenReader(text, toks, first, last, match),
        columns_(TrustedLookup(columns)),
        types_(TrustedLookup(types)) {}

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

  // What a derived table's column is known to compare with.
  struct Collation {
    enum class Found : uint8_t { kNo, kYes, kUnknown };
    Found found = Found::kNo;
    std::string name;  // upper-cased; BINARY when the column names none
  };
  static Collation Unknown() { return {Collation::Found::kUnknown, {}}; }

  // One FROM item of a level read by Columns(): a table or a subquery.
  struct Source {
    std::string name;   // its alias, else its table name
    std::string table;  // a table item's table
    uint32_t b = 0;     // a derived item's inside
    uint32_t e = 0;
  };

  // One plain SELECT of a level: its select list [b, e], FROM items and
  // WHERE [where + 1, where_e] (where 0 when it has none).
  struct Plain {
    bool ok = false;
    uint32_t b = 0;
    uint32_t e = 0;
    std::vector<Source> from;
    uint32_t where = 0;
    uint32_t where_e = 0;
  };

  // Reads "[ ( ] SELECT [DISTINCT | ALL] list [FROM items [JOIN ...]] ...
  // [ ) ]" in [b, e], each arm of a compound in turn; arms() gets every arm.
  std::vector<Plain> Arms(uint32_t b, uint32_t e, int depth) const {
    std::vector<Plain> arms;
    while (op(b, '(') && match_[b - first_] == static_cast<int32_t>(e)) {
      ++b;
      --e;
    }
    uint32_t start = b;
    for (uint32_t i = b; i <= e + 1; i = i > e ? i + 1 : Next(i, e)) {
      const bool end = i > e;
      if (!end && !kw(i, Kw::Union) && !kw(i, Kw::Except) &&
          !kw(i, Kw::Intersect)) {
        continue;
      }
      arms.push_back(ReadPlain(start, end ? e : i - 1, depth));
      if (!arms.back().ok) return {};
      start = kw(i + 1, Kw::All) ? i + 2 : i + 1;
      if (end) break;
    }
    return arms;
  }

  Plain ReadPlain(uint32_t b, uint32_t e, int depth) const {
    Plain p;
    if (op(b, '(') && match_[b - first_] == static_cast<int32_t>(e)) {
      if (depth > kMaxLevels) return p;
      std::vector<Plain> inner = Arms(b, e, depth + 1);
      if (inner.size() == 1) return inner[0];
      return p;
    }
    if (!kw(b, Kw::Select) || b >= e) return p;
    uint32_t list = b + 1;
    if (kw(list, Kw::Distinct) || kw(list, Kw::All)) ++list;
    uint32_t from = 0;
    uint32_t end = e;  // the last token of the FROM items
    for (uint32_t i = list; i <= e; i = Next(i, e)) {
      const Token& t = toks_[i];
      if (t.kind != TokKind::Word) continue;
      if (t.kw == Kw::Top || t.kw == Kw::Into) return p;
      if (t.kw == Kw::From && from == 0) {
        from = i;
      } else if (t.kw == Kw::Where || t.kw == Kw::Group || t.kw == Kw::Having ||
                 t.kw == Kw::Order || word(i, "LIMIT") || word(i, "WINDOW")) {
        end = i - 1;
        break;
      }
    }
    p.b = list;
    p.e = from != 0 ? from - 1 : end;
    if (p.e < p.b) return p;
    if (from != 0 && !ReadSources(from + 1, end, &p.from)) return p;
    if (from != 0 && kw(end + 1, Kw::Where)) {
      p.where = end + 1;
      p.where_e = e;
      for (uint32_t i = p.where + 1; i <= e; i = Next(i, e)) {
        if (kw(i, Kw::Group) || kw(i, Kw::Having) || kw(i, Kw::Order) ||
            word(i, "LIMIT") || word(i, "WINDOW")) {
          p.where_e = i - 1;
          break;
        }
      }
      if (p.where_e <= p.where) p.where = 0;
    }
    p.ok = true;
    return p;
  }

  // The FROM items in [b, e]: "name [[AS] alias]" or "(subquery) [AS]
  // alias", separated by commas or "[NATURAL] [LEFT | RIGHT | FULL |
  // INNER | CROSS] [OUTER] JOIN", each join with its ON or USING.
  bool ReadSources(uint32_t b, uint32_t e, std::vector<Source>* out) const {
    uint32_t i = b;
    while (i <= e) {
      Source s;
      uint32_t next;
      if (op(i, '(')) {
        const int32_t m = match_[i - first_];
        if (m <= static_cast<int32_t>(i) || static_cast<uint32_t>(m) > e) {
          return false;
        }
        s.b = i + 1;
        s.e = static_cast<uint32_t>(m) - 1;
        next = static_cast<uint32_t>(m) + 1;
      } else if (ident(i)) {
        s.table = std::string(str(i));
        s.name = s.table;
        next = i + 1;
      } else {
        return false;
      }
      if (kw(next, Kw::As)) ++next;
      if (ident(next)) {
        s.name = std::string(str(next));
        ++next;
      } else if (s.table.empty() || kw(next - 1, Kw::As)) {
        return false;
      }
      out->push_back(std::move(s));
      // ON / USING up to the next separator
      if (kw(next, Kw::On) || word(next, "USING")) {
        while (next <= e && !op(next, ',') && !JoinWord(next)) {
          next = Next(next, e);
        }
      }
      if (next > e) return true;
      if (op(next, ',')) {
        i = next + 1;
        continue;
      }
      while (JoinWord(next) && !word(next, "JOIN")) ++next;
      if (!word(next, "JOIN")) return false;
      i = next + 1;
    }
    return false;
  }
  bool JoinWord(uint32_t i) const {
    return word(i, "JOIN") || word(i, "LEFT") || word(i, "RIGHT") ||
           word(i, "FULL") || word(i, "INNER") || word(i, "CROSS") ||
           word(i, "OUTER") || word(i, "NATURAL");
  }

  // The collation of column `column` of `s`.
  Collation ColumnOf(const Source& s, std::string_view column,
                     int depth) const {
    if (!s.table.empty()) {
      std::optional<ColumnType> t = (*types_)(s.table, column);
      if (!t) return {};
      std::string name = t->collation.empty() ? "BINARY" : t->collation;
      for (char& ch : name) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      }
      return {Collation::Found::kYes, std::move(name)};
    }
    return OutputCollation(s.b, s.e, column, depth + 1);
  }

  static const Source* Named(const Plain& p, std::string_view name) {
    const Source* found = nullptr;
    for (const Source& s : p.from) {
      if (IEq(s.name, name)) {
        if (found != nullptr) return nullptr;
        found = &s;
      }
    }
    return found;
  }

  // The collation of the select-list item [b, c] of `p` when it is named
  // `name` (its alias, or its column's name): kNo when it is not, kYes for
  // a column of a FROM item, the collation "" for a literal, kUnknown
  // otherwise. A star gives the first of its columns so named.
  Collation ItemCollation(const Plain& p, uint32_t b, uint32_t c,
                          std::string_view name, int depth) const {
    if (c == b + 2 && ident(b) && op(b + 1, '.') && op(c, '*')) {
      const Source* s = Named(p, str(b));
      return s == nullptr ? Unknown() : ColumnOf(*s, name, depth);
    }
    if (b == c && op(b, '*')) {
      return p.from.size() == 1 ? ColumnOf(p.from[0], name, depth) : Unknown();
    }
    uint32_t ee = c;
    std::string_view alias;
    if (c > b && kw(c - 1, Kw::As) && ident(c)) {
      alias = str(c);
      ee = c - 2;
    } else if (c > b && ident(c) && !op(c - 1, '.')) {
      alias = str(c);
      ee = c - 1;
    }
    if (ee == b + 2 && qualified(b)) {
      if (!IEq(alias.empty() ? str(b + 2) : alias, name)) return {};
      const Source* s = Named(p, str(b));
      if (s == nullptr) return Unknown();
      Collation r = ColumnOf(*s, str(b + 2), depth);
      return r.found == Collation::Found::kYes ? r : Unknown();
    }
    if (ee == b && ident(b)) {
      if (!IEq(alias.empty() ? str(b) : alias, name)) return {};
      if (p.from.size() != 1) return Unknown();
      Collation r = ColumnOf(p.from[0], str(b), depth);
      return r.found == Collation::Found::kYes ? r : Unknown();
    }
    if (alias.empty() || !IEq(alias, name)) return {};
    if (ee == b && literal(b)) return {Collation::Found::kYes, {}};
    return Unknown();
  }

  // The collation of output column `name` of the SELECT in [b, e]: that of
  // the first select-list item so named. Of a compound: the first arm's,
  // which must be a column, where every other arm's item in that place is a
  // literal or a column of the same collation.
  Collation OutputCollation(uint32_t b, uint32_t e, std::string_view name,
                            int depth) const {
    if (depth > kMaxLevels) return Unknown();
    std::vector<Plain> arms = Arms(b, e, depth);
    if (arms.empty()) return Unknown();
    auto items = [this](const Plain& p) { return Split(p.b, p.e); };
    const auto first = items(arms[0]);
    for (size_t k = 0; k < first.size(); ++k) {
      Collation r =
          ItemCollation(arms[0], first[k].first, first[k].second, name, depth);
      if (r.found == Collation::Found::kNo) continue;
      if (r.found == Collation::Found::kUnknown || r.name.empty()) {
        return Unknown();
      }
      for (size_t a = 1; a < arms.size(); ++a) {
        const auto other = items(arms[a]);
        if (other.size() != first.size()) return Unknown();
        auto [ob, oc] = other[k];
        if (ob == oc && literal(ob)) continue;
        if (oc == ob + 2 && kw(ob + 1, Kw::As) && literal(ob)) continue;
        if (oc == ob + 1 && ident(oc) && literal(ob)) continue;
        // the arm's item under its own name
        std::string_view own = str(oc);
        Collation o = ItemCollation(arms[a], ob, oc, own, depth);
        if (o.found != Collation::Found::kYes || o.name != r.name) {
          return Unknown();
        }
      }
      if (arms.size() > 1) {
        for (const Plain& arm : arms) {
          for (auto [ib, ic] : items(arm)) {
            if (op(ic, '*')) return Unknown();
          }
        }
      }
      return r;
    }
    return {};
  }

  // Whether a comparison under the collation of the FROM item column q.c
  // is one under that of column `col` of a's table (the column lookup with
  // types; q a derived table whose column is, through its levels, a column
  // of a table).
  bool SameCollation(uint32_t q, const Item& a, std::string_view col) const {
    if (types_ == nullptr) return false;
    const Item* other = nullptr;
    for (const Item& it : items_) {
      if (IEq(it.alias, str(q))) other = &it;
    }
    if (other == nullptr) return false;
    Source mine{a.alias, a.table_name, 0, 0};
    Collation want = ColumnOf(mine, col, 0);
    if (want.found != Collation::Found::kYes) return false;
    Collation have;
    if (other->derived) {
      const int32_t m = match_[other->open - first_];
      have = OutputCollation(other->open + 1, static_cast<uint32_t>(m) - 1,
                             str(q + 2), 0);
    } else {
      have = ColumnOf(Source{other->alias, other->table_name, 0, 0}, str(q + 2),
                      0);
    }
    return have.found == Collation::Found::kYes && have.name == want.name;
  }

  // What names an output column of a plain SELECT: how many of its columns
  // are named so and, for the last of them that is a bare column, the FROM
  // item (index into Plain::from) and column it reads.
  struct Provided {
    int count = 0;
    int source = -1;
    std::string column;
  };

  static int SourceIndex(const Plain& p, std::string_view name) {
    int found = -1;
    for (size_t k = 0; k < p.from.size(); ++k) {
      if (!IEq(p.from[k].name, name)) continue;
      if (found >= 0) return -1;
      found = static_cast<int>(k);
    }
    return found;
  }

  // How many columns named `name` FROM item `s` has; nullopt when that
  // cannot be told (the row id, which "*" leaves out, counts as unknown).
  std::optional<int> CountColumns(const Source& s, std::string_view name,
                                  int depth) const {
    if (--budget_ < 0) return std::nullopt;
    if (!s.table.empty()) {
      if (IEq(name, "rowid") || IEq(name, "oid") || IEq(name, "_rowid_")) {
        return std::nullopt;
      }
      return (*types_)(s.table, name).has_value() ? 1 : 0;
    }
    if (depth > kMaxLevels) return std::nullopt;
    std::vector<Plain> arms = Arms(s.b, s.e, depth + 1);
    if (arms.size() != 1) return std::nullopt;
    std::optional<Provided> r = Provide(arms[0], name, depth + 1);
    if (!r) return std::nullopt;
    return r->count;
  }

  // The output columns of `p` named `name`. Items: "*", "x.*", "x.c" or "c"
  // (a bare column, "[AS] alias" allowed), or an expression ending in
  // "AS alias", or in an alias after ")", END, a literal or a name. nullopt
  // when an item's name cannot be told (so a column named otherwise could
  // hide one named `name`, as "(c)" or "c COLLATE NOCASE" is named c).
  std::optional<Provided> Provide(const Plain& p, std::string_view name,
                                  int depth) const {
    Provided r;
    auto star = [&](int k) {
      std::optional<int> n =
          CountColumns(p.from[static_cast<size_t>(k)], name, depth);
      if (n && *n > 0) {
        r.count += *n;
        r.source = k;
        r.column = std::string(name);
      }
      return n.has_value();
    };
    for (auto [b, c] : Split(p.b, p.e)) {
      if (b == c && op(b, '*')) {
        for (size_t k = 0; k < p.from.size(); ++k) {
          if (!star(static_cast<int>(k))) return std::nullopt;
        }
        continue;
      }
      if (c == b + 2 && ident(b) && op(b + 1, '.') && op(c, '*')) {
        const int k = SourceIndex(p, str(b));
        if (k < 0 || !star(k)) return std::nullopt;
        continue;
      }
      uint32_t ee = c;
      std::string_view alias;
      if (c >= b + 2 && kw(c - 1, Kw::As) && ident(c)) {
        alias = str(c);
        ee = c - 2;
      } else if (c > b && ident(c) &&
                 (ident(c - 1) || op(c - 1, ')') || kw(c - 1, Kw::End) ||
                  literal(c - 1))) {
        alias = str(c);
        ee = c - 1;
      }
      if (ee == b + 2 && qualified(b)) {
        if (!IEq(alias.empty() ? str(ee) : alias, name)) continue;
        const int k = SourceIndex(p, str(b));
        if (k < 0) return std::nullopt;
        ++r.count;
        r.source = k;
        r.column = std::string(str(ee));
      } else if (ee == b && ident(b)) {
        if (!IEq(alias.empty() ? str(b) : alias, name)) continue;
        if (p.from.size() != 1) return std::nullopt;
        std::optional<int> n = CountColumns(p.from[0], str(b), depth);
        if (!n || *n == 0) return std::nullopt;
        ++r.count;
        r.source = 0;
        r.column = std::string(str(b));
      } else if (!alias.empty()) {
        if (!IEq(alias, name)) continue;
        ++r.count;
        r.source = -1;
      } else {
        return std::nullopt;
      }
    }
    return r;
  }

  // The conjuncts of the condition [lo, hi]; none when it has, at its own
  // level, OR, CASE or BETWEEN (an AND there may not join conjuncts).
  std::vector<std::pair<uint32_t, uint32_t>> Conjuncts(uint32_t lo,
                                                       uint32_t hi) const {
    std::vector<std::pair<uint32_t, uint32_t>> parts;
    uint32_t b = lo;
    for (uint32_t i = lo; i <= hi; i = Next(i, hi)) {
      if (kw(i, Kw::Or) || kw(i, Kw::Case) || word(i, "BETWEEN")) return {};
      if (kw(i, Kw::And)) {
        parts.emplace_back(b, i - 1);
        b = i + 1;
      }
    }
    parts.emplace_back(b, hi);
    return parts;
  }

  // Whether the self-contained subquery [b, e] gives the same rows wherever
  // it is evaluated and its tokens are written as they stand: no function
  // call (random() differs per evaluation), no parameter or variable (their
  // markers are numbered per statement), no N'' string or quoted name (the
  // writer rewrites them).
  bool Portable(uint32_t b, uint32_t e) const {
    if (!SelfContained(b, e)) return false;
    for (uint32_t i = b; i <= e; ++i) {
      const TokKind k = toks_[i].kind;
      if (k != TokKind::Word && k != TokKind::Op && k != TokKind::String &&
          k != TokKind::Number) {
        return false;
      }
      if (op(i, '(') &&
          !(toks_[i - 1].kind == TokKind::Op && !op(i - 1, ')')) &&
          !kw(i - 1, Kw::And) && !kw(i - 1, Kw::Or) && !kw(i - 1, Kw::Not) &&
          !kw(i - 1, Kw::Where) && !word(i - 1, "IN")) {
        return false;
      }
    }
    return true;
  }

  // A membership known of a derived table's column: every row gives it NULL
  // or a value v for which "v IN (subquery [b, e])" is true, compared as the
  // IN in the text compares it: under the type of table.column, the column
  // the value is read from through bare columns of every level.
  struct Membership {
    uint32_t b = 0;
    uint32_t e = 0;
    std::string table;
    std::string column;
  };

  // The memberships of output column `column` of the SELECT [b, e]: along
  // the chain of bare columns that gives it, a WHERE conjunct
  // "x.c IN (subquery)" (or "c IN", one FROM item) on the level's own x.c.
  std::vector<Membership> Memberships(uint32_t b, uint32_t e,
                                      std::string column) const {
    budget_ = kMaxCounted;
    std::vector<std::pair<uint32_t, uint32_t>> found;
    for (int depth = 0; depth <= kMaxLevels; ++depth) {
      std::vector<Plain> arms = Arms(b, e, depth);
      if (arms.size() != 1) return {};
      const Plain& p = arms[0];
      std::optional<Provided> r = Provide(p, column, depth);
      if (!r || r->count != 1 || r->source < 0) return {};
      const Source& s = p.from[static_cast<size_t>(r->source)];
      if (p.where != 0) {
        for (auto [cb, ce] : Conjuncts(p.where + 1, p.where_e)) {
          uint32_t in_word = cb + 1;
          if (qualified(cb)) {
            if (SourceIndex(p, str(cb)) != r->source) continue;
            in_word = cb + 3;
          } else if (!ident(cb) || p.from.size() != 1) {
            continue;
          }
          if (!IEq(str(in_word - 1), r->column) || !word(in_word, "IN") ||
              !op(in_word + 1, '(') || !kw(in_word + 2, Kw::Select) ||
              match_[in_word + 1 - first_] != static_cast<int32_t>(ce)) {
            continue;
          }
          found.emplace_back(in_word + 2, ce - 1);
        }
      }
      if (!s.table.empty()) {
        std::vector<Membership> out;
        for (auto [sb, se] : found) {
          out.push_back(Membership{sb, se, s.table, r->column});
        }
        return out;
      }
      b = s.b;
      e = s.e;
      column = r->column;
    }
    return {};
  }

  // The affinity and collation of table.column where its equality is an
  // equivalence that no conversion disturbs: affinity INTEGER, REAL,
  // NUMERIC or TEXT (with none, 1 and 1.0 compare equal but differ as text
  // against a TEXT operand), collation BINARY or NOCASE (SQLite does not
  // treat RTRIM's equality as transitive).
  std::optional<std::pair<char, std::string>> Comparable(
      std::string_view table, std::string_view column) const {
    std::optional<ColumnType> t = (*types_)(table, column);
    if (!t) return std::nullopt;
    std::string coll = t->collation.empty() ? "BINARY" : t->collation;
    for (char& ch : coll) {
      ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    const char affinity = AffinityOf(t->declared);
    if (affinity == 'B' || (coll != "BINARY" && coll != "NOCASE")) {
      return std::nullopt;
    }
    return std::make_pair(affinity, std::move(coll));
  }

  // The conditions "d IN (subquery)" that table item `a` may take inside its
  // reduced table: the WHERE [lo, hi] has the conjunct "q.c = a.d" (either
  // order), q a derived table whose column c has a membership, read from a
  // column of a's type.
  std::vector<std::string> Narrowing(const Item& a, uint32_t lo,
                                     uint32_t hi) const {
    std::vector<std::string> out;
    if (types_ == nullptr || columns_ == nullptr) return out;
    for (auto [cb, ce] : Conjuncts(lo, hi)) {
      if (ce != cb + 6 || !qualified(cb) || !qualified(cb + 4) ||
          toks_[cb + 3].kind != TokKind::Op || str(cb + 3) != "=") {
        continue;
      }
      for (uint32_t mine : {cb, cb + 4}) {
        const uint32_t other = mine == cb ? cb + 4 : cb;
        if (!IEq(str(mine), a.alias)) continue;
        const Item* q = nullptr;
        for (const Item& it : items_) {
          if (IEq(it.alias, str(other))) q = &it;
        }
        if (q == nullptr || !q->derived) continue;
        const std::string_view d = str(mine + 2);
        auto want = Comparable(a.table_name, d);
        if (!want) continue;
        const auto close = static_cast<uint32_t>(match_[q->open - first_]);
        for (const Membership& m :
             Memberships(q->open + 1, close - 1, std::string(str(other + 2)))) {
          if (Comparable(m.table, m.column) != want || !Portable(m.b, m.e)) {
            continue;
          }
          std::string cond = std::string(d) + " IN (" + Written(m.b, m.e) + ")";
          bool dup = false;
          for (const std::string& o : out) dup = dup || o == cond;
          if (!dup) out.push_back(std::move(cond));
        }
      }
    }
    return out;
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
          boundary_before(p - 5, lo) &&
          (SameColumn(p - 4, a, col) || SameCollation(p - 4, a, col))) {
        return true;
      }
    }
    return false;
  }

  // Notes a use of a.col. The columns compared in the WHERE come first, in
  // the order of their first comparison: the DISTINCT of the reduction
  // compares its columns in order, and those the join tells apart decide
  // sooner than names repeated over many rows.
  void Use(Item* a, std::string_view col, bool compared) {
    auto& used = a->used;
    size_t k = 0;
    while (k < used.size() && !IEq(used[k], col)) ++k;
    if (k == used.size()) used.emplace_back(col);
    if (!compared || k < a->compared) return;
    std::rotate(used.begin() + static_cast<std::ptrdiff_t>(a->compared),
                used.begin() + static_cast<std::ptrdiff_t>(k),
                used.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    ++a->compared;
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
    uint32_t order = 0;
    for (uint32_t j = s + 2; j <= e; j = Next(j, e)) {
      const Token& t = toks_[j];
      if (t.kind != TokKind::Word) continue;
      switch (t.kw) {
        case Kw::From:
          if (from != 0) return;
          from = j;
          break;
        case Kw::Where:
          if (from == 0 || where != 0 || order != 0) return;
          where = j;
          break;
        case Kw::None:
          if (order != 0 && (IEq(str(j), "ASC") || IEq(str(j), "DESC"))) {
            break;
          }
          if (IsReserved(str(j)) && !IEq(str(j), "WHEN") &&
              !IEq(str(j), "THEN") && !IEq(str(j), "IS") &&
              !IEq(str(j), "IN") && !IEq(str(j), "ESCAPE")) {
            return;  // LIMIT, JOIN, USING, ...
          }
          break;
        case Kw::Order:
          // with the column types only: a trailing ORDER BY
          if (types_ == nullptr || from == 0 || order != 0 ||
              !kw(j + 1, Kw::By)) {
            return;
          }
          order = j;
          break;
        default:
          if (OutsidePlainLevel(t.kw)) return;
          break;
      }
    }
    const uint32_t level_end = order != 0 ? order - 1 : e;
    if (from == 0 || from <= s + 2 || from >= level_end) return;
    const uint32_t items_end = where != 0 ? where - 1 : level_end;
    if (items_end <= from) return;
    if (where != 0 && where >= level_end) return;
    if (order != 0 && order + 2 > e) return;

    items_.clear();
    for (auto [b, c] : Split(from + 1, items_end)) {
      Item it;
      if (op(b, '(')) {
        const int32_t m = match_[b - first_];
        if (m < 0 || static_cast<uint32_t>(m) >= c) return;
        auto alias = Alias(static_cast<uint32_t>(m) + 1, c);
        if (!alias) return;
        it.derived = true;
        it.open = b;
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

    // ORDER BY: "q.c [ASC | DESC]" items; q is not reduced.
    if (order != 0) {
      for (auto [b, c] : Split(order + 2, e)) {
        if (c == b + 3 && (word(c, "ASC") || word(c, "DESC"))) --c;
        Item* q = c == b + 2 && qualified(b) ? find(str(b)) : nullptr;
        if (q == nullptr) return;
        q->reducible = false;
      }
    }
    // Select list: whole-item uses only.
    for (auto [b, c] : Split(s + 2, from - 1)) {
      // with the column types only: "q.*", q not reduced
      if (types_ != nullptr && c == b + 2 && op(c, '*') && op(b + 1, '.')) {
        Item* q = ident(b) ? find(str(b)) : nullptr;
        if (q == nullptr) return;
        q->reducible = false;
        continue;
      }
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
          Use(q, str(i + 2), /*compared=*/false);
        } else {
          q->reducible = false;
        }
        i += 2;
      }
    }
    // WHERE: comparison operands only.
    if (where != 0) {
      const uint32_t lo = where + 1;
      const uint32_t hi = level_end;
      if (!InSubqueries(lo, hi) || !Vocabulary(lo, hi)) return;
      for (uint32_t i = lo; i <= hi; i = Skip(i) + 1) {
        if (!qualified(i) || (i > lo && op(i - 1, '.'))) continue;
        Item* q = find(str(i));
        if (q == nullptr) return;
        if (q->reducible) {
          if (ComparisonUse(i, lo, hi, *q)) {
            Use(q, str(i + 2), /*compared=*/true);
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
      if (where != 0) {
        const std::vector<std::string> conds =
            Narrowing(it, where + 1, level_end);
        for (size_t k = 0; k < conds.size(); ++k) {
          sub += k == 0 ? " WHERE " : " AND ";
          sub += conds[k];
        }
      }
      sub += ')';
      out_.push_back(TableReduction{it.table, std::move(sub)});
    }
  }

  const ColumnLookup* columns_;
  const ColumnTypeLookup* types_;
  std::unordered_map<uint32_t, uint32_t> skip_;  // accepted IN subqueries
  mutable int budget_ = 0;  // FROM items a membership walk may still count
  std::vector<Item> items_;
  std::vector<TableReduction> out_;
};

}  // namespace

std::vector<TableReduction> FindDistinctReductions(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnLookup* columns, const ColumnTypeLookup* types) {
  if (first > last || last >= tokens.size()) return {};
  return Reducer(text, tokens, first, last, match, columns, types).Run();
}

bool SelfContainedSelect(std::string_view text,
                         const std::vector<Token>& tokens, uint32_t first,
                         uint32_t last, const std::vector<int32_t>& match,
                         uint32_t b, uint32_t e, const ColumnLookup& columns) {
  if (first > last || last >= tokens.size() || b < first || e > last ||
      !columns) {
    return false;
  }
  return Reducer(text, tokens, first, last, match, &columns, nullptr)
      .SubqueryIsSelfContained(b, e);
}

}  // namespace marl::data::tsql::detail
