// Rewriting of one statement into the output dialect (see writer.h).
#include "data/tsql/writer.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

#include "data/tsql/distinct_reduce.h"
#include "data/tsql/distinct_split.h"
#include "data/tsql/equality_push.h"

namespace marl::data::tsql::detail {
namespace {

constexpr uint32_t kNoOpen = std::numeric_limits<uint32_t>::max();

bool IsCompound(const Token& t) {
  return t.kind == TokKind::Word &&
         (t.kw == Kw::Union || t.kw == Kw::Except || t.kw == Kw::Intersect);
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "?k" (written without operator+ on a literal, which GCC 12 misreads
// under -Wrestrict).
std::string Marker(int32_t k) {
  std::string s(1, '?');
  s += std::to_string(k);
  return s;
}

bool IsStringLiteral(const Token& t) {
  return t.kind == TokKind::String || t.kind == TokKind::NString;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 'YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS[.fff]' (the quotes included).
bool IsDateLiteral(std::string_view s) {
  if (s.size() < 12 || s.front() != '\'' || s.back() != '\'') return false;
  s = s.substr(1, s.size() - 2);
  static constexpr std::string_view kDate = "dddd-dd-dd";
  static constexpr std::string_view kTime = " dd:dd:dd";
  auto fits = [](std::string_view text, std::string_view form) {
    for (size_t i = 0; i < form.size(); ++i) {
      if (form[i] == 'd' ? !IsDigit(text[i]) : text[i] != form[i]) return false;
    }
    return true;
  };
  if (!fits(s, kDate)) return false;
  if (s.size() == kDate.size()) return true;
  s.remove_prefix(kDate.size());
  if (s.size() < kTime.size() || !fits(s, kTime)) return false;
  s.remove_prefix(kTime.size());
  if (s.empty()) return true;
  if (s.size() < 2 || s.front() != '.') return false;
  for (char c : s.substr(1)) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

}  // namespace

StatementWriter::StatementWriter(
    Dialect dialect, std::string_view text, const std::vector<Token>& tokens,
    uint32_t first, uint32_t last,
    const std::function<void(const std::string&)>& check_variable)
    : dialect_(dialect),
      text_(text),
      toks_(tokens),
      first_(first),
      last_(last),
      check_variable_(check_variable),
      edits_(last - first + 1) {}

void StatementWriter::Prefix(uint32_t i, std::string_view s) {
  Edit& e = edit(i);
  if (e.prefix < 0) {
    e.prefix = static_cast<int32_t>(pool_.size());
    pool_.emplace_back(s);
  } else {
    pool_[e.prefix].insert(0, s);
  }
}

void StatementWriter::Suffix(uint32_t i, std::string_view s) {
  Edit& e = edit(i);
  if (e.suffix < 0) {
    e.suffix = static_cast<int32_t>(pool_.size());
    pool_.emplace_back(s);
  } else {
    pool_[e.suffix].append(s);
  }
}

void StatementWriter::Replace(uint32_t i, std::string s) {
  Edit& e = edit(i);
  e.replace = static_cast<int32_t>(pool_.size());
  pool_.push_back(std::move(s));
}

std::string StatementWriter::Excerpt(uint32_t from, uint32_t to) const {
  to = std::min(to, last_);
  std::string s(
      text_.substr(toks_[from].begin, toks_[to].end - toks_[from].begin));
  constexpr size_t kMax = 60;
  if (s.size() > kMax) {
    s.resize(kMax);
    s += "...";
  }
  return s;
}

void StatementWriter::ComputeStructure() {
  const size_t n = last_ - first_ + 1;
  match_.assign(n, -1);
  depth_.assign(n, 0);
  std::vector<uint32_t> stack;
  for (uint32_t i = first_; i <= last_; ++i) {
    depth_[i - first_] = static_cast<int32_t>(stack.size());
    if (IsOp(text_, toks_[i], '(')) {
      stack.push_back(i);
    } else if (IsOp(text_, toks_[i], ')')) {
      if (stack.empty()) ThrowSyntax("unbalanced parentheses near \")\"");
      uint32_t open = stack.back();
      stack.pop_back();
      match_[open - first_] = static_cast<int32_t>(i);
      match_[i - first_] = static_cast<int32_t>(open);
      depth_[i - first_] = static_cast<int32_t>(stack.size());
    }
  }
  if (!stack.empty()) ThrowSyntax("unbalanced parentheses: missing \")\"");
}

void StatementWriter::RewriteSelects() {
  size_t depth = 0;
  if (groups_.empty()) groups_.emplace_back();
  auto reset = [this](size_t d, uint32_t open) {
    if (groups_.size() <= d) groups_.emplace_back();
    Group& g = groups_[d];
    g.open = open;
    g.tops.clear();
    g.compounds.clear();
    g.orders.clear();
  };
  reset(0, kNoOpen);
  for (uint32_t i = first_; i <= last_; ++i) {
    const Token& t = toks_[i];
    if (t.kind == TokKind::Op) {
      if (IsOp(text_, t, '(')) {
        ++depth;
        reset(depth, i);
      } else if (IsOp(text_, t, ')')) {
        FinishGroup(groups_[depth].open, i - 1, depth);
        --depth;
      }
      continue;
    }
    if (t.kind != TokKind::Word) continue;
    Group& g = groups_[depth];
    switch (t.kw) {
      case Kw::Select: {
        uint32_t k = i + 1;
        if (word(k, Kw::Distinct) || word(k, Kw::All)) ++k;
        if (word(k, Kw::Top)) g.tops.push_back(i);
        break;
      }
      case Kw::Union:
      case Kw::Except:
      case Kw::Intersect:
        g.compounds.push_back(i);
        break;
      case Kw::Order:
        if (word(i + 1, Kw::By)) g.orders.push_back(i);
        break;
      default:
        break;
    }
  }
  FinishGroup(kNoOpen, last_, 0);
}

void StatementWriter::FinishGroup(uint32_t open, uint32_t end, size_t gi) {
  Group& g = groups_[gi];
  const bool compound = !g.compounds.empty();
  size_t ci = 0;
  size_t oi = 0;
  for (uint32_t s : g.tops) {
    while (ci < g.compounds.size() && g.compounds[ci] < s) ++ci;
    uint32_t e = end;
    if (compound) {
      if (ci < g.compounds.size()) {
        e = g.compounds[ci] - 1;
      } else {
        // The last branch ends where the ORDER BY of the compound begins.
        while (oi < g.orders.size() && g.orders[oi] < s) ++oi;
        if (oi < g.orders.size()) e = g.orders[oi] - 1;
      }
    }
    RewriteTop(s, e, compound);
  }
  const uint32_t f = open == kNoOpen ? first_ : open + 1;
  if (dialect_ == Dialect::kPostgres) {
    // The select lists of the branches: those of this group when it is a
    // compound, or this group's own when it is a parenthesised operand.
    const bool operand =
        open != kNoOpen && ((open > first_ && IsCompound(toks_[open - 1])) ||
                            (open > first_ + 1 && word(open - 1, Kw::All) &&
                             IsCompound(toks_[open - 2])) ||
                            (end + 2 <= last_ && IsCompound(toks_[end + 2])));
    if (compound || operand) {
      CastDateLiterals(f, end, static_cast<int32_t>(gi));
    }
    return;
  }
  if (!compound) return;
  // Parenthesised operands: "UNION (SELECT ...)" -> "UNION SELECT * FROM
  // (SELECT ...)"; the same for a parenthesised first operand.
  for (uint32_t c : g.compounds) {
    uint32_t k = c + 1;
    if (word(k, Kw::All)) ++k;
    if (op(k, '(')) Prefix(k, "SELECT * FROM ");
  }
  if (op(f, '(')) {
    int32_t m = match_[f - first_];
    if (m >= 0 && static_cast<uint32_t>(m) < last_ &&
        IsCompound(toks_[m + 1])) {
      Prefix(f, "SELECT * FROM ");
    }
  }
}

void StatementWriter::RewriteTop(uint32_t select, uint32_t branch_end,
                                 bool compound) {
  uint32_t k = select + 1;
  if (word(k, Kw::Distinct) || word(k, Kw::All)) ++k;  // k: TOP
  const uint32_t c = k + 1;
  std::string count;
  uint32_t count_end = 0;
  if (c <= last_ && toks_[c].kind == TokKind::Number && AllDigits(str(c))) {
    count = std::string(str(c));
    count_end = c;
  } else if (op(c, '(') && c + 2 <= last_ &&
             toks_[c + 1].kind == TokKind::Number && AllDigits(str(c + 1)) &&
             op(c + 2, ')')) {
    count = std::string(str(c + 1));
    count_end = c + 2;
  } else {
    ThrowUnsupported("TOP with an expression (" + Excerpt(k, k + 3) + ")");
  }
  if (word(count_end + 1, Kw::Percent)) ThrowUnsupported("TOP ... PERCENT");
  if (word(count_end + 1, Kw::With) && word(count_end + 2, Kw::Ties)) {
    ThrowUnsupported("TOP ... WITH TIES");
  }
  if (branch_end <= count_end) {
    ThrowSyntax("SELECT TOP without a select list");
  }
  for (uint32_t i = k; i <= count_end; ++i) Drop(i);
  if (compound && dialect_ == Dialect::kPostgres) {
    Prefix(select, "(");
    Suffix(branch_end, " LIMIT " + count + ")");
  } else if (compound) {
    Prefix(select, "SELECT * FROM (");
    Suffix(branch_end, " LIMIT " + count + ")");
  } else {
    Suffix(branch_end, " LIMIT " + count);
  }
}

void StatementWriter::CastDateLiterals(uint32_t from, uint32_t to,
                                       int32_t depth) {
  bool in_list = false;
  for (uint32_t i = from; i <= to && i <= last_; ++i) {
    if (depth_[i - first_] != depth) continue;
    const Token& t = toks_[i];
    if (t.kind == TokKind::Word) {
      if (t.kw == Kw::Select) {
        in_list = true;
      } else if (t.kw == Kw::From || t.kw == Kw::Where || t.kw == Kw::Group ||
                 t.kw == Kw::Order || t.kw == Kw::Having || IsCompound(t) ||
                 t.kw == Kw::Into) {
        in_list = false;
      }
      continue;
    }
    if (!in_list || !IsStringLiteral(t) || !IsDateLiteral(str(i))) continue;
    // A whole item: after SELECT [DISTINCT | ALL] or a comma, and followed
    // by a comma, an alias or the end of the list.
    const bool starts = op(i - 1, ',') || word(i - 1, Kw::Select) ||
                        word(i - 1, Kw::Distinct) || word(i - 1, Kw::All);
    const bool ends = i + 1 > to || op(i + 1, ',') ||
                      toks_[i + 1].kind == TokKind::Word ||
                      toks_[i + 1].kind == TokKind::QuotedName;
    if (starts && ends) {
      Prefix(i, "CAST(");
      Suffix(i, " AS timestamp)");
    }
  }
}

// LEN(x) and GETDATE() where the database has no such function.
void StatementWriter::RewriteFunction(uint32_t i) {
  if (dialect_ == Dialect::kSqlite || !op(i + 1, '(')) return;
  const std::string name = AsciiLower(str(i));
  if (name == "len") {
    const int32_t close = match_[i + 1 - first_];
    if (close < 0) return;
    Replace(i, dialect_ == Dialect::kPostgres ? "char_length(rtrim"
                                              : "length(rtrim");
    Suffix(static_cast<uint32_t>(close), ")");
  } else if (name == "getdate" && op(i + 2, ')')) {
    Replace(i, dialect_ == Dialect::kPostgres ? "LOCALTIMESTAMP"
                                              : "datetime('now','localtime')");
    Drop(i + 1);
    Drop(i + 2);
  }
}

void StatementWriter::RewriteLead(Statement* out) {
  if (toks_[first_].kind != TokKind::Word) return;
  const Kw lead = toks_[first_].kw;
  const uint32_t n = first_ + 1;
  auto depth0 = [this](uint32_t i) { return depth_[i - first_] == 0; };
  switch (lead) {
    case Kw::Delete: {
      out->writes = true;
      if (n > last_) ThrowSyntax("DELETE without a table");
      if (word(n, Kw::Top)) ThrowUnsupported("DELETE TOP");
      if (word(n, Kw::From)) {
        for (uint32_t i = n + 1; i <= last_; ++i) {
          if (depth0(i) && word(i, Kw::From)) {
            ThrowUnsupported("DELETE with a join (DELETE FROM ... FROM ...)");
          }
        }
        return;
      }
      if (toks_[n].kind == TokKind::Word ||
          toks_[n].kind == TokKind::QuotedName) {
        Prefix(n, "FROM ");
        uint32_t k = n;
        while (op(k + 1, '.') && k + 2 <= last_) k += 2;
        if (word(k + 1, Kw::From)) {
          ThrowUnsupported("DELETE with a join (DELETE alias FROM ...)");
        }
      }
      return;
    }
    case Kw::Insert: {
      out->writes = true;
      if (word(n, Kw::Top)) ThrowUnsupported("INSERT TOP");
      if (n <= last_ && !word(n, Kw::Into) && !word(n, Kw::Or) &&
          (toks_[n].kind == TokKind::Word ||
           toks_[n].kind == TokKind::QuotedName)) {
        Prefix(n, "INTO ");
      }
      return;
    }
    case Kw::Update: {
      out->writes = true;
      if (word(n, Kw::Top)) ThrowUnsupported("UPDATE TOP");
      bool set_seen = false;
      for (uint32_t i = n; i <= last_; ++i) {
        if (!depth0(i)) continue;
        if (word(i, Kw::Set)) set_seen = true;
        if (set_seen && word(i, Kw::From)) ThrowUnsupported("UPDATE ... FROM");
      }
      return;
    }
    case Kw::Create:
    case Kw::Drop:
    case Kw::Alter:
      out->writes = true;
      return;
    case Kw::With:
      for (uint32_t i = n; i <= last_; ++i) {
        if (!depth0(i) || toks_[i].kind != TokKind::Word) continue;
        const Kw kw = toks_[i].kw;
        if (kw == Kw::Select) return;
        if (kw == Kw::Insert || kw == Kw::Update || kw == Kw::Delete) {
          out->writes = true;
          return;
        }
      }
      return;
    default:
      return;
  }
}

void StatementWriter::RewriteTokens(Statement* out) {
  std::unordered_map<std::string, int32_t> variables;  // name -> number
  for (uint32_t i = first_; i <= last_; ++i) {
    if (edit(i).drop) continue;
    const Token& t = toks_[i];
    switch (t.kind) {
      case TokKind::Variable: {
        std::string name = AsciiLower(str(i).substr(1));
        check_variable_(name);
        if (dialect_ != Dialect::kSqlite) {
          out->slots.push_back(ParamSlot{true, 0, std::move(name)});
          Replace(i, "?");
          break;
        }
        auto [it, added] = variables.try_emplace(name, 0);
        if (added) {
          out->slots.push_back(ParamSlot{true, 0, std::move(name)});
          it->second = static_cast<int32_t>(out->slots.size());
        }
        Replace(i, Marker(it->second));
        break;
      }
      case TokKind::Param:
        if (i < last_ && toks_[i + 1].begin == t.end &&
            (toks_[i + 1].kind == TokKind::Number ||
             toks_[i + 1].kind == TokKind::Word)) {
          ThrowUnsupported("parameter marker " + Excerpt(i, i + 1));
        }
        out->slots.push_back(ParamSlot{false, t.param_index, ""});
        if (dialect_ == Dialect::kSqlite) {
          Replace(i, Marker(static_cast<int32_t>(out->slots.size())));
        }
        break;
      case TokKind::NString:
        Replace(i, std::string(str(i).substr(1)));
        break;
      case TokKind::QuotedName:
        RewriteQuotedName(i);
        break;
      case TokKind::SystemVar:
        ThrowUnsupported("system variable " + std::string(str(i)));
      case TokKind::TempName:
        ThrowUnsupported("temporary table " + std::string(str(i)));
      case TokKind::HexNumber:
        ThrowUnsupported("binary literal " + std::string(str(i)));
      case TokKind::Word:
        switch (t.kw) {
          case Kw::Isnull:
            if (op(i + 1, '(')) {
              Replace(i,
                      dialect_ == Dialect::kPostgres ? "COALESCE" : "IFNULL");
            }
            break;
          case Kw::None:
            RewriteFunction(i);
            break;
          case Kw::Convert:
            if (op(i + 1, '(')) ThrowUnsupported("CONVERT(...)");
            break;
          case Kw::Nolock:
            ThrowUnsupported("table hint NOLOCK");
          case Kw::With:
            if (op(i + 1, '(')) {
              int32_t m = match_[i + 1 - first_];
              ThrowUnsupported(
                  "table hint " +
                  Excerpt(i, m >= 0 ? static_cast<uint32_t>(m) : i + 1));
            }
            if (word(i + 1, Kw::Rollup)) ThrowUnsupported("WITH ROLLUP");
            if (word(i + 1, Kw::Cube)) ThrowUnsupported("WITH CUBE");
            if (word(i + 1, Kw::Ties)) ThrowUnsupported("TOP ... WITH TIES");
            break;
          case Kw::Like:
            if (i < last_ && IsStringLiteral(toks_[i + 1]) &&
                str(i + 1).find('[') != std::string_view::npos) {
              ThrowUnsupported("LIKE pattern with a [...] character class (" +
                               Excerpt(i, i + 1) + ")");
            }
            break;
          default:
            break;
        }
        break;
      case TokKind::Op:
        if (IsOp(text_, t, '+')) {
          bool prev_string = i > first_ && IsStringLiteral(toks_[i - 1]);
          bool next_string = i < last_ && IsStringLiteral(toks_[i + 1]);
          if (prev_string || next_string) {
            ThrowUnsupported("string concatenation with \"+\" (" +
                             Excerpt(i > first_ ? i - 1 : i, i + 1) + ")");
          }
        } else if ((IsOp(text_, t, ':') || IsOp(text_, t, '$')) && i < last_ &&
                   toks_[i + 1].begin == t.end &&
                   (toks_[i + 1].kind == TokKind::Word ||
                    toks_[i + 1].kind == TokKind::Number)) {
          ThrowUnsupported("parameter or literal form " + Excerpt(i, i + 1));
        }
        break;
      default:
        break;
    }
  }
}

void StatementWriter::RewriteQuotedName(uint32_t i) {
  // SQLite reads brackets without the "]]" escape, and reads a double-quoted
  // name that matches no column as a string literal; so every quoted name
  // goes out in brackets, and a name holding "]" is refused. PostgreSQL
  // takes double quotes, and the name in lower case: the schema's unquoted
  // names are stored folded.
  std::string_view q = str(i);
  std::string_view inner = q.substr(1, q.size() - 2);
  if (inner.find(']') != std::string_view::npos) {
    ThrowUnsupported("name containing \"]\" (" + std::string(q) + ")");
  }
  if (dialect_ == Dialect::kPostgres) {
    std::string name(1, '"');
    for (size_t k = 0; k < inner.size(); ++k) {
      name += AsciiLower(inner.substr(k, 1));
      if (inner[k] == '"') {
        name.push_back('"');  // "" stands for one quote, written again as ""
        if (q.front() == '"') ++k;
      }
    }
    name.push_back('"');
    Replace(i, std::move(name));
    return;
  }
  if (q.front() == '[') return;
  std::string name(1, '[');
  for (size_t k = 0; k < inner.size(); ++k) {
    name.push_back(inner[k]);
    if (inner[k] == '"') ++k;  // "" stands for one quote
  }
  name.push_back(']');
  Replace(i, std::move(name));
}

void StatementWriter::AppendGap(uint32_t i, std::string* out) const {
  const uint32_t begin = toks_[i - 1].end;
  const uint32_t end = toks_[i].begin;
  if (toks_[i].comment_before) {
    AppendGapWithoutComments(text_, begin, end, out);
  } else {
    out->append(text_.substr(begin, end - begin));
  }
}

std::string StatementWriter::Render(std::string_view head,
                                    std::string_view tail) const {
  std::string out;
  out.reserve(head.size() + tail.size() +
              (toks_[last_].end - toks_[first_].begin) + 16);
  out.append(head);
  RenderRange(first_, last_, &out);
  out.append(tail);
  return out;
}

void StatementWriter::RenderRange(uint32_t from, uint32_t to,
                                  std::string* target) const {
  std::string& out = *target;
  bool skip_gap = false;
  for (uint32_t i = from; i <= to; ++i) {
    if (edits_[i - first_].drop) {
      uint32_t j = i;
      while (j <= to && edits_[j - first_].drop) ++j;
      if (j > to) break;  // a dropped tail leaves nothing behind
      if (i != from && !skip_gap) {
        // One separator stands for the dropped run: the gap before it, or
        // the gap after it, or a blank.
        if (toks_[i - 1].end != toks_[i].begin) {
          AppendGap(i, &out);
        } else if (toks_[j - 1].end != toks_[j].begin) {
          AppendGap(j, &out);
        } else {
          out.push_back(' ');
        }
      }
      skip_gap = true;
      i = j - 1;
      continue;
    }
    if (i != from && !skip_gap) AppendGap(i, &out);
    skip_gap = false;
    const Edit& e = edits_[i - first_];
    if (e.prefix >= 0) out.append(pool_[e.prefix]);
    if (e.replace >= 0) {
      out.append(pool_[e.replace]);
    } else {
      out.append(str(i));
    }
    if (e.suffix >= 0) out.append(pool_[e.suffix]);
  }
}

void StatementWriter::SplitDistincts() {
  std::vector<DistinctSplit> splits =
      FindDistinctSplits(text_, toks_, first_, last_, match_, columns_);
  // Innermost first: an outer split takes the inner one's text with its
  // spans.
  for (auto it = splits.rbegin(); it != splits.rend(); ++it) {
    std::string sql =
        WriteDistinctSplit(*it, [this](uint32_t from, uint32_t to) {
          std::string piece;
          RenderRange(from, to, &piece);
          return piece;
        });
    for (uint32_t i = it->select; i <= it->last; ++i) {
      edits_[i - first_] = Edit{};
      edit(i).drop = i != it->select;
    }
    Replace(it->select, std::move(sql));
  }
}

Statement StatementWriter::Finish(std::string_view head, std::string_view tail,
                                  bool statement_mode) {
  Statement out;
  ComputeStructure();
  if (statement_mode) {
    const ColumnTypeLookup* types =
        dialect_ != Dialect::kPostgres ? types_ : nullptr;
    for (TableReduction& r : FindDistinctReductions(text_, toks_, first_, last_,
                                                    match_, columns_, types)) {
      Replace(r.token, std::move(r.text));
    }
    if (types_ != nullptr && dialect_ != Dialect::kPostgres) {
      for (TextInsertion& t : FindEqualityPushdowns(text_, toks_, first_, last_,
                                                    match_, *types_)) {
        if (t.before) {
          Prefix(t.token, t.text);
        } else {
          Suffix(t.token, t.text);
        }
      }
    }
  }
  RewriteSelects();
  if (statement_mode) RewriteLead(&out);
  RewriteTokens(&out);
  if (statement_mode) SplitDistincts();
  out.sql = Render(head, tail);
  return out;
}

}  // namespace marl::data::tsql::detail
