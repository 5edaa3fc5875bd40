// Carrying "column = constant" across a join equality (see equality_push.h).
#include "data/tsql/equality_push.h"

#include <cctype>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

#include "data/tsql/token_reader.h"

namespace marl::data::tsql::detail {

char AffinityOf(std::string_view declared) {
  const std::string t = AsciiLower(declared);
  auto has = [&t](const char* w) { return t.find(w) != std::string::npos; };
  if (has("int")) return 'I';
  if (has("char") || has("clob") || has("text")) return 'T';
  if (has("blob") || t.empty()) return 'B';
  if (has("real") || has("floa") || has("doub")) return 'R';
  return 'N';
}

namespace {

// Words the tokenizer leaves unclassified that end or change a level.
bool IsClauseWord(std::string_view w) {
  return OneOf(w, {"LIMIT", "OFFSET", "WINDOW", "OVER", "RIGHT", "FULL",
                   "CROSS", "NATURAL", "USING", "BETWEEN", "COLLATE", "INDEXED",
                   "APPLY", "PIVOT", "UNPIVOT", "TABLESAMPLE", "RETURNING"});
}

struct FromItem {
  uint32_t name = 0;  // table name token; 0 for a derived table
  uint32_t open = 0;  // derived table: its parentheses
  uint32_t close = 0;
  std::string alias;  // the table's name when it has no alias
  bool preserved = false;
};

// One SELECT level: SELECT [DISTINCT] list FROM items [WHERE cond] [tail].
struct Level {
  uint32_t list_b = 0, list_e = 0;
  std::vector<FromItem> items;
  bool comma_only = true;
  uint32_t where = 0;  // the WHERE token, or 0
  uint32_t where_e = 0;
  bool plain = true;  // no tail clause, TOP or compound at its level
};

// An output column of a select list: its name and, for a bare column, the
// FROM item and column it reads.
struct Output {
  std::string name;
  int item = -1;  // index into Level::items, -1 when not a bare column
  std::string column;
};

using Type = std::pair<char, std::string>;

// How deep the walks follow derived tables.
constexpr int kMaxDepth = 64;  // affinity, collation (upper)

class Pusher : TokenReader {
 public:
  Pusher(std::string_view text, const std::vector<Token>& toks, uint32_t first,
         uint32_t last, const std::vector<int32_t>& match,
         const ColumnTypeLookup& types)
      : TokenReader(text, toks, first, last, match), types_(types) {}

  std::vector<TextInsertion> Run() {
    if (!kw(first_, Kw::Select)) return {};
    for (uint32_t i = first_; i <= last_; ++i) {
      if (kw(i, Kw::With)) return {};
    }
    std::vector<Level> levels;
    bool receiver = false;
    for (uint32_t i = first_; i <= last_; ++i) {
      if (!kw(i, Kw::Select) || (i != first_ && !op(i - 1, '('))) continue;
      const uint32_t e = LevelEnd(i);
      if (e == 0) continue;
      auto level = Parse(i, e);
      if (!level) continue;
      receiver = receiver || HasReceiver(*level);
      levels.push_back(std::move(*level));
    }
    // Only a derived table that Siblings accepts receives a condition, and
    // every level a chain walks through is one of these: without one, no
    // chain needs to be followed.
    if (!receiver) return {};
    for (const Level& level : levels) {
      for (auto [cb, ce] : Conjuncts(level)) Start(level, cb, ce);
    }
    std::vector<TextInsertion> out;
    for (auto& [key, conds] : restrict_) {
      const auto [open, close, where] = key;
      std::string cond;
      for (size_t k = 0; k < conds.size(); ++k) {
        if (k > 0) cond += " AND ";
        cond += conds[k];
      }
      if (where != 0) {
        out.push_back({where + 1, true, cond + " AND ("});
        out.push_back({close, true, ")"});
      } else {
        out.push_back({close, true, " WHERE " + cond});
      }
    }
    return out;
  }

 private:
  // An unquoted name that is no keyword.
  bool ident(uint32_t i) const {
    return in(i) && toks_[i].kind == TokKind::Word && toks_[i].kw == Kw::None &&
           !IsClauseWord(str(i)) && !word(i, "JOIN") && !word(i, "LEFT") &&
           !word(i, "INNER") && !word(i, "OUTER") && !word(i, "IS") &&
           !word(i, "IN") && !word(i, "WHEN") && !word(i, "THEN");
  }
  bool constant(uint32_t i) const {
    return in(i) && (toks_[i].kind == TokKind::String ||
                     toks_[i].kind == TokKind::Number);
  }
  bool equals(uint32_t i) const {
    return in(i) && toks_[i].kind == TokKind::Op && str(i) == "=";
  }
  int32_t closing(uint32_t i) const { return match_[i - first_]; }

  uint32_t Next(uint32_t i, uint32_t hi) const {
    if (op(i, '(')) {
      const int32_t m = closing(i);
      if (m > static_cast<int32_t>(i) && static_cast<uint32_t>(m) <= hi) {
        return static_cast<uint32_t>(m) + 1;
      }
    }
    return i + 1;
  }

  // The last token of the level a SELECT at s opens; 0 when unbalanced.
  uint32_t LevelEnd(uint32_t s) const {
    if (s == first_) return last_;
    const int32_t m = closing(s - 1);
    return m > static_cast<int32_t>(s) ? static_cast<uint32_t>(m) - 1 : 0;
  }

  // "[AS] alias" filling exactly [b, c].
  std::optional<std::string> Alias(uint32_t b, uint32_t c) const {
    if (b == c && ident(b)) return std::string(str(b));
    if (b + 1 == c && kw(b, Kw::As) && ident(c)) return std::string(str(c));
    return std::nullopt;
  }

  // Reads the FROM item [b, c].
  std::optional<FromItem> Item(uint32_t b, uint32_t c) const {
    FromItem it;
    if (op(b, '(')) {
      const int32_t m = closing(b);
      if (m <= static_cast<int32_t>(b) || static_cast<uint32_t>(m) >= c) {
        return std::nullopt;
      }
      auto alias = Alias(static_cast<uint32_t>(m) + 1, c);
      if (!alias || !kw(b + 1, Kw::Select)) return std::nullopt;
      it.open = b;
      it.close = static_cast<uint32_t>(m);
      it.alias = *alias;
      return it;
    }
    if (!ident(b)) return std::nullopt;
    it.name = b;
    if (b == c) {
      it.alias = std::string(str(b));
      return it;
    }
    auto alias = Alias(b + 1, c);
    if (!alias) return std::nullopt;
    it.alias = *alias;
    return it;
  }

  // Parses the level [s, e] (s is its SELECT).
  std::optional<Level> Parse(uint32_t s, uint32_t e) const {
    Level lv;
    uint32_t from = 0;
    uint32_t tail = e + 1;  // first token after FROM items / WHERE
    for (uint32_t j = s + 1; j <= e; j = Next(j, e)) {
      const Token& t = toks_[j];
      if (t.kind != TokKind::Word) continue;
      bool ends = false;
      switch (t.kw) {
        case Kw::From:
          if (from != 0) return std::nullopt;
          from = j;
          break;
        case Kw::Where:
          if (from == 0 || lv.where != 0 || tail <= e) return std::nullopt;
          lv.where = j;
          break;
        case Kw::Top:
        case Kw::Into:
        case Kw::Values:
          return std::nullopt;
        case Kw::Group:
        case Kw::Having:
        case Kw::Order:
        case Kw::Union:
        case Kw::Except:
        case Kw::Intersect:
        case Kw::Option:
        case Kw::For:
          ends = true;
          break;
        case Kw::None:
          ends = word(j, "LIMIT") || word(j, "OFFSET") || word(j, "WINDOW");
          break;
        default:
          break;
      }
      if (ends) {
        lv.plain = false;
        if (tail > e) tail = j;
      }
    }
    if (from == 0 || from <= s + 1) return std::nullopt;
    lv.list_b = kw(s + 1, Kw::Distinct) ? s + 2 : s + 1;
    lv.list_e = from - 1;
    if (lv.list_b > lv.list_e) return std::nullopt;
    const uint32_t items_e = lv.where != 0 ? lv.where - 1 : tail - 1;
    if (items_e <= from) return std::nullopt;
    if (lv.where != 0) {
      if (lv.where + 1 >= tail) return std::nullopt;
      lv.where_e = tail - 1;
    }
    // Items: separated by commas or by "[INNER | LEFT [OUTER]] JOIN item ON
    // condition".
    uint32_t b = from + 1;
    bool joined = false;
    auto add = [&](uint32_t c) {
      if (c < b) return false;
      auto it = Item(b, c);
      if (!it) return false;
      for (const FromItem& o : lv.items) {
        if (IEq(o.alias, it->alias)) return false;
      }
      lv.items.push_back(*it);
      return true;
    };
    for (uint32_t j = from + 1; j <= items_e; j = Next(j, items_e)) {
      if (toks_[j].kind == TokKind::Word && toks_[j].kw == Kw::None &&
          IsClauseWord(str(j))) {
        return std::nullopt;  // RIGHT, FULL, CROSS, NATURAL, USING, ...
      }
      if (op(j, ',')) {
        if (joined || !add(j - 1)) return std::nullopt;
        b = j + 1;
      } else if (word(j, "LEFT") || word(j, "INNER") || word(j, "JOIN")) {
        uint32_t k = j;
        if (word(k, "LEFT")) {
          ++k;
          if (word(k, "OUTER")) ++k;
        } else if (word(k, "INNER")) {
          ++k;
        }
        if (!word(k, "JOIN")) return std::nullopt;
        if (joined ? b != 0 : !add(j - 1)) return std::nullopt;
        joined = true;
        lv.comma_only = false;
        b = k + 1;
        j = k;
      } else if (kw(j, Kw::On)) {
        if (!joined || b == 0 || !add(j - 1)) return std::nullopt;
        b = 0;  // the condition runs to the next JOIN
      }
    }
    if (!joined) {
      if (!add(items_e)) return std::nullopt;
    } else if (b != 0) {
      return std::nullopt;  // a JOIN without ON
    }
    for (size_t k = 0; k < lv.items.size(); ++k) {
      lv.items[k].preserved = lv.comma_only || k == 0;
    }
    return lv;
  }

  int Find(const Level& lv, std::string_view alias) const {
    for (size_t k = 0; k < lv.items.size(); ++k) {
      if (IEq(lv.items[k].alias, alias)) return static_cast<int>(k);
    }
    return -1;
  }

  // The WHERE's conjuncts; none when it has OR, CASE or BETWEEN at its
  // level.
  std::vector<std::pair<uint32_t, uint32_t>> Conjuncts(const Level& lv) const {
    std::vector<std::pair<uint32_t, uint32_t>> parts;
    if (lv.where == 0) return parts;
    uint32_t b = lv.where + 1;
    for (uint32_t i = b; i <= lv.where_e; i = Next(i, lv.where_e)) {
      if (kw(i, Kw::Or) || kw(i, Kw::Case) || word(i, "BETWEEN")) return {};
      if (kw(i, Kw::And)) {
        parts.emplace_back(b, i - 1);
        b = i + 1;
      }
    }
    parts.emplace_back(b, lv.where_e);
    return parts;
  }

  // The type of table.column; nullopt when unknown or not comparable by a
  // built-in collation.
  std::optional<Type> TypeOf(std::string_view table,
                             std::string_view column) const {
    auto t = types_(table, column);
    if (!t) return std::nullopt;
    std::string coll = t->collation;
    for (char& ch : coll) {
      ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    if (coll.empty()) coll = "BINARY";
    // Not RTRIM: SQLite 3.40 itself does not treat its equality as
    // transitive ("t = 'a' AND t = v.t" drops a row 'a ' that both terms
    // accept), so the rows could differ from the untranslated query's.
    if (coll != "BINARY" && coll != "NOCASE") return std::nullopt;
    return Type{AffinityOf(t->declared), coll};
  }

  // Whether [b, e] holds only names, literals and operators (no function
  // call, subquery or quoted name).
  bool Bare(uint32_t b, uint32_t e) const {
    for (uint32_t i = b; i <= e; ++i) {
      const TokKind k = toks_[i].kind;
      if (k != TokKind::Word && k != TokKind::Op && k != TokKind::String &&
          k != TokKind::Number) {
        return false;
      }
      if (op(i, '(') && (i == b || toks_[i - 1].kind == TokKind::Word)) {
        return false;  // a call, or a parenthesis we do not read
      }
      if (kw(i, Kw::Select) || word(i, "OVER") || word(i, "COLLATE")) {
        return false;
      }
    }
    return true;
  }

  // Whether item `it` of a level has a column `name`: nullopt when unknown.
  std::optional<bool> HasColumn(const FromItem& it, std::string_view name,
                                int depth = 0) const {
    if (it.name != 0) {
      // The row id answers the lookup but is no column of "*".
      if (IEq(name, "rowid") || IEq(name, "oid") || IEq(name, "_rowid_")) {
        return std::nullopt;
      }
      return types_(str(it.name), name).has_value();
    }
    if (depth >= kMaxDepth) return std::nullopt;
    auto inner = Parse(it.open + 1, it.close - 1);
    if (!inner) return std::nullopt;
    auto outs = Outputs(*inner, /*expand=*/true, depth + 1);
    if (!outs) return std::nullopt;
    for (const Output& o : *outs) {
      if (o.name != "*") {
        if (IEq(o.name, name)) return true;
        continue;
      }
      for (size_t k = 0; k < inner->items.size(); ++k) {
        if (o.item >= 0 && static_cast<size_t>(o.item) != k) continue;
        auto has = HasColumn(inner->items[k], name, depth + 1);
        if (!has || *has) return has;
      }
    }
    return false;
  }

  // The output columns of a level's select list, in order. With `expand`,
  // a star is kept as an output named "*" (Provider expands it); without
  // it, a star makes the list unknown.
  std::optional<std::vector<Output>> Outputs(const Level& lv, bool expand,
                                             int depth = 0) const {
    std::vector<Output> outs;
    uint32_t b = lv.list_b;
    for (uint32_t i = b; i <= lv.list_e + 1; i = Next(i, lv.list_e + 1)) {
      if (i <= lv.list_e && !op(i, ',')) continue;
      const uint32_t c = i - 1;
      if (c < b) return std::nullopt;
      Output o;
      if (b == c && op(b, '*')) {
        if (!expand) return std::nullopt;
        o.name = "*";
      } else if (c == b + 2 && ident(b) && op(b + 1, '.') && op(c, '*')) {
        if (!expand) return std::nullopt;
        o.name = "*";
        o.item = Find(lv, str(b));
        if (o.item < 0) return std::nullopt;
      } else {
        // A bare column "q.col" or "col", with or without "[AS] name".
        uint32_t ee = c;
        std::optional<std::string> alias;
        // A trailing name not after "." is taken for an alias: a wrong
        // guess only adds a name, which can only make a lookup refuse.
        if (c >= b + 2 && kw(c - 1, Kw::As) && ident(c)) {
          alias = std::string(str(c));
          ee = c - 2;
        } else if (c > b && ident(c) && !op(c - 1, '.')) {
          alias = std::string(str(c));
          ee = c - 1;
        }
        if (ee == b + 2 && ident(b) && op(b + 1, '.') && ident(ee)) {
          o.item = Find(lv, str(b));
          if (o.item < 0) return std::nullopt;
          o.column = std::string(str(ee));
        } else if (ee == b && ident(b)) {
          if (lv.items.size() != 1) return std::nullopt;
          auto has = HasColumn(lv.items[0], str(b), depth);
          if (!has || !*has) return std::nullopt;
          o.item = 0;
          o.column = std::string(str(b));
        }
        if (alias) {
          o.name = *alias;
        } else if (o.item >= 0) {
          o.name = o.column;
        } else if (ee == b && toks_[b].kind == TokKind::Word) {
          return std::nullopt;  // a lone keyword or unread name
        }
      }
      outs.push_back(std::move(o));
      b = i + 1;
    }
    return outs;
  }

  // Which item and column of level `lv` give its output column `name`;
  // nullopt unless exactly one output has that name and it is a bare
  // column of a preserved item.
  std::optional<std::pair<int, std::string>> Provider(
      const Level& lv, std::string_view name) const {
    if (!lv.plain || !Bare(lv.list_b, lv.list_e)) return std::nullopt;
    auto outs = Outputs(lv, /*expand=*/true);
    if (!outs) return std::nullopt;
    std::optional<std::pair<int, std::string>> found;
    int count = 0;
    for (const Output& o : *outs) {
      if (o.name == "*") {
        for (size_t k = 0; k < lv.items.size(); ++k) {
          if (o.item >= 0 && static_cast<size_t>(o.item) != k) continue;
          auto has = HasColumn(lv.items[k], name, 1);
          if (!has) return std::nullopt;
          if (*has) {
            ++count;
            found.emplace(static_cast<int>(k), std::string(name));
          }
        }
      } else if (IEq(o.name, name)) {
        ++count;
        if (o.item >= 0) found.emplace(o.item, o.column);
      }
    }
    if (count != 1 || !found || !lv.items[found->first].preserved) {
      return std::nullopt;
    }
    return found;
  }

  // A restriction waiting for the chain's column type: inside derived item
  // `s`, column `column` of table `table` equals the constant.
  struct Pending {
    FromItem s;
    uint32_t where = 0;  // the WHERE token inside s, or 0
    std::string column;
    std::string table;
  };

  // Inside the derived table s: "SELECT [DISTINCT] list FROM U [alias]
  // [WHERE ...]", plain, whose output `name` is a bare column of U.
  std::optional<Pending> Sibling(const FromItem& s,
                                 std::string_view name) const {
    auto inner = Parse(s.open + 1, s.close - 1);
    if (!inner || !inner->plain || inner->items.size() != 1 ||
        inner->items[0].name == 0 || !Bare(inner->list_b, inner->list_e)) {
      return std::nullopt;
    }
    auto outs = Outputs(*inner, /*expand=*/false);
    if (!outs) return std::nullopt;
    const Output* hit = nullptr;
    for (const Output& o : *outs) {
      if (!IEq(o.name, name)) continue;
      if (hit != nullptr) return std::nullopt;
      hit = &o;
    }
    if (hit == nullptr || hit->item != 0) return std::nullopt;
    // The unqualified column written inside s resolves to U's own column.
    Pending p;
    p.s = s;
    p.where = inner->where;
    p.column = hit->column;
    p.table = std::string(str(inner->items[0].name));
    return p;
  }

  // Each side "x.c = y.d" of the level's conjuncts that equate two
  // qualified columns, when the level joins by commas only: f(mine, other)
  // gets the positions of x and y, and ends the walk by returning true.
  template <typename F>
  void ColumnEqualities(const Level& lv, F&& f) const {
    if (!lv.comma_only) return;
    for (auto [cb, ce] : Conjuncts(lv)) {
      if (ce != cb + 6 || !equals(cb + 3)) continue;
      uint32_t mine = cb, other = cb + 4;
      for (int side = 0; side < 2; ++side, std::swap(mine, other)) {
        if (!ident(mine) || !op(mine + 1, '.') || !ident(mine + 2) ||
            !ident(other) || !op(other + 1, '.') || !ident(other + 2)) {
          break;
        }
        if (f(mine, other)) return;
      }
    }
  }

  // The restriction inside the derived table y of such a side, when y is
  // not item q and Sibling accepts it.
  std::optional<Pending> Receiver(const Level& lv, int q,
                                  uint32_t other) const {
    const int s = Find(lv, str(other));
    if (s < 0 || s == q || lv.items[s].name != 0) return std::nullopt;
    return Sibling(lv.items[s], str(other + 2));
  }

  // Restrictions the level's WHERE makes possible for item q's column.
  void Siblings(const Level& lv, int q, std::string_view column,
                std::vector<Pending>* out) const {
    ColumnEqualities(lv, [&](uint32_t mine, uint32_t other) {
      if (Find(lv, str(mine)) == q && IEq(str(mine + 2), column)) {
        if (auto p = Receiver(lv, q, other)) out->push_back(*p);
      }
      return false;
    });
  }

  // Whether some conjunct "q.c = s.d" of the level lets Siblings add a
  // restriction inside s, for any q and c.
  bool HasReceiver(const Level& lv) const {
    bool found = false;
    ColumnEqualities(lv, [&](uint32_t mine, uint32_t other) {
      const int q = Find(lv, str(mine));
      found = q >= 0 && Receiver(lv, q, other).has_value();
      return found;
    });
    return found;
  }

  // A conjunct [cb, ce] of level lv: "c = K", "q.c = K" or the constant on
  // the left.
  void Start(const Level& lv, uint32_t cb, uint32_t ce) {
    uint32_t k = 0, name = 0;
    if (ce == cb + 2 && equals(cb + 1)) {
      if (constant(ce) && ident(cb)) {
        k = ce, name = cb;
      } else if (constant(cb) && ident(ce)) {
        k = cb, name = ce;
      }
    } else if (ce == cb + 4 && op(cb + 1, '.') && equals(cb + 3) &&
               constant(ce)) {
      k = ce, name = cb;
    } else if (ce == cb + 4 && equals(cb + 1) && op(cb + 3, '.') &&
               constant(cb)) {
      k = cb, name = cb + 2;
    }
    if (k == 0) return;
    int q = -1;
    std::string column;
    if (op(name + 1, '.') && name + 2 <= ce) {
      if (!ident(name) || !ident(name + 2)) return;
      q = Find(lv, str(name));
      column = std::string(str(name + 2));
    } else {
      if (lv.items.size() != 1) return;
      q = 0;
      column = std::string(str(name));
      auto has = HasColumn(lv.items[0], column);
      if (!has || !*has) return;
    }
    if (q < 0 || !lv.items[q].preserved) return;

    // Walk down the chain, collecting restrictions, to the table column.
    std::vector<Pending> pending;
    Level level = lv;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
      Siblings(level, q, column, &pending);
      const FromItem it = level.items[q];
      if (it.name != 0) {
        auto chain = TypeOf(str(it.name), column);
        if (!chain) return;
        for (const Pending& p : pending) {
          auto t = TypeOf(p.table, p.column);
          if (!t || *t != *chain) continue;
          auto& conds = restrict_[{p.s.open, p.s.close, p.where}];
          std::string cond = p.column + " = " + std::string(str(k));
          bool dup = false;
          for (const std::string& c : conds) dup = dup || IEq(c, cond);
          if (!dup) conds.push_back(std::move(cond));
        }
        return;
      }
      auto inner = Parse(it.open + 1, it.close - 1);
      if (!inner) return;
      auto provider = Provider(*inner, column);
      if (!provider) return;
      level = std::move(*inner);
      q = provider->first;
      column = provider->second;
    }
  }

  const ColumnTypeLookup& types_;
  // Per derived table (open, close, WHERE token): its added conditions.
  std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::vector<std::string>>
      restrict_;
};

}  // namespace

std::vector<TextInsertion> FindEqualityPushdowns(
    std::string_view text, const std::vector<Token>& tokens, uint32_t first,
    uint32_t last, const std::vector<int32_t>& match,
    const ColumnTypeLookup& types) {
  if (!types || first > last || last >= tokens.size()) return {};
  return Pusher(text, tokens, first, last, match, types).Run();
}

}  // namespace marl::data::tsql::detail
