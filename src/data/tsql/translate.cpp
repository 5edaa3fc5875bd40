// Translate(): the SQL Server dialect into a Script of statements of the
// output dialect.
//
// Pipeline: tokenize, split into statements, then build the node tree
// (Declare / set / select @v= / if-else / Begin-End) and render each leaf
// statement with the StatementWriter. Every step is linear in the size of
// the text.
//
// Choices made here:
// - Variables must be declared textually before their first use, as the
//   server requires ("Must declare the scalar variable"); a second
//   declaration of one name is an error. A typo in a variable name thus
//   fails instead of binding NULL.
// - SET NOCOUNT and SET TRANSACTION ISOLATION LEVEL are accepted as no-ops;
//   every other SET option is refused, since its effect would be lost.
// - Transaction control inside a text (BEGIN TRAN, COMMIT, ROLLBACK) is
//   refused: the provider owns the transaction, and a COMMIT in a text would
//   break the all-or-nothing rule of a call.
// - "select @v = ..." where the select list also reads an assigned variable
//   (row-by-row accumulation such as @s = @s + x) is refused: assigning the
//   last row would give another result.
// - IF and BEGIN ... END nest at most kMaxNesting levels deep; the node tree
//   is built, run and destroyed by recursion, so a deeper text is refused
//   instead of exhausting the stack.
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "data/tsql/script.h"
#include "data/tsql/splitter.h"
#include "data/tsql/tokenizer.h"
#include "data/tsql/writer.h"
#include "marlcheckout/error.h"

namespace marl::data::tsql {
namespace {

using detail::Kw;
using detail::RawStatement;
using detail::StatementWriter;
using detail::ThrowSyntax;
using detail::ThrowUnsupported;
using detail::Token;
using detail::TokKind;

constexpr int kMaxNesting = 64;

class Translator {
 public:
  Translator(const std::string& text, Dialect dialect,
             const ColumnLookup& columns, const ColumnTypeLookup& types)
      : text_(text), dialect_(dialect), columns_(columns), types_(types) {
    check_variable_ = [this](const std::string& name) {
      if (declared_.count(name) == 0) {
        throw Error(err::kDbSyntax, detail::kFrontEndSource,
                    "Must declare the scalar variable \"@" + name + "\".");
      }
    };
  }

  Script Run() {
    if (text_.size() >= 0xFFFFFFF0u) ThrowSyntax("command text too long");
    Script script;
    toks_ = detail::Tokenize(text_, &script.positional_count);
    raws_ = detail::SplitStatements(text_, toks_);
    size_t r = 0;
    while (r < raws_.size()) script.nodes.push_back(ParseOne(&r));
    script.writes = writes_;
    return script;
  }

 private:
  bool word(uint32_t i, uint32_t last, Kw kw) const {
    return i <= last && toks_[i].kind == TokKind::Word && toks_[i].kw == kw;
  }
  bool op(uint32_t i, uint32_t last, char c) const {
    return i <= last && detail::IsOp(text_, toks_[i], c);
  }
  std::string_view str(uint32_t i) const {
    return detail::TokenText(text_, toks_[i]);
  }
  std::string VarName(uint32_t i) const {
    return detail::AsciiLower(str(i).substr(1));
  }

  Statement Render(uint32_t first, uint32_t last, std::string_view head,
                   std::string_view tail, bool statement_mode,
                   const std::vector<uint32_t>& dropped = {}) {
    StatementWriter w(dialect_, text_, toks_, first, last, check_variable_);
    for (uint32_t i : dropped) w.Drop(i);
    if (columns_) w.SetColumnLookup(&columns_);
    if (types_) w.SetColumnTypeLookup(&types_);
    Statement s = w.Finish(head, tail, statement_mode);
    if (s.writes) writes_ = true;
    return s;
  }

  Node ParseOne(size_t* r) {
    const RawStatement raw = raws_[(*r)++];
    switch (raw.lead) {
      case Kw::Begin:
        if (raw.last > raw.first) {
          ThrowUnsupported("transaction control (" +
                           Excerpt(raw.first, raw.first + 1) + ")");
        }
        return ParseBlock(r);
      case Kw::End:
        ThrowSyntax("END without BEGIN");
      case Kw::Else:
        ThrowSyntax("ELSE without IF");
      case Kw::If:
        return ParseIf(raw, r);
      case Kw::Declare:
        return ParseDeclare(raw);
      case Kw::Set:
        return ParseSet(raw);
      case Kw::Select:
        return ParseSelect(raw);
      case Kw::While:
        ThrowUnsupported("WHILE loop");
      case Kw::Exec:
      case Kw::Execute:
        ThrowUnsupported("EXEC (stored procedure or dynamic SQL)");
      case Kw::Goto:
        ThrowUnsupported("GOTO");
      case Kw::Return:
        ThrowUnsupported("RETURN");
      case Kw::Print:
        ThrowUnsupported("PRINT");
      case Kw::Raiserror:
        ThrowUnsupported("RAISERROR");
      case Kw::Waitfor:
        ThrowUnsupported("WAITFOR");
      case Kw::Merge:
        ThrowUnsupported("MERGE");
      case Kw::Truncate:
        ThrowUnsupported("TRUNCATE TABLE");
      case Kw::Commit:
      case Kw::Rollback:
        ThrowUnsupported("transaction control (" +
                         Excerpt(raw.first, raw.first) + ")");
      case Kw::Create:
        if (word(raw.first + 1, raw.last, Kw::Procedure) ||
            word(raw.first + 1, raw.last, Kw::Proc) ||
            word(raw.first + 1, raw.last, Kw::Function) ||
            word(raw.first + 1, raw.last, Kw::Trigger)) {
          ThrowUnsupported(Excerpt(raw.first, raw.first + 1));
        }
        return Exec(raw);
      default:
        return Exec(raw);
    }
  }

  std::string Excerpt(uint32_t from, uint32_t to) const {
    if (to >= toks_.size()) to = static_cast<uint32_t>(toks_.size() - 1);
    return std::string(
        text_.substr(toks_[from].begin, toks_[to].end - toks_[from].begin));
  }

  Node Exec(const RawStatement& raw) {
    Node node;
    node.kind = Node::Kind::Exec;
    node.stmt = Render(raw.first, raw.last, "", "", true);
    return node;
  }

  // Enters an IF or a BEGIN ... END; Leave() when it is parsed. (A refusal
  // ends the whole translation, so no leave is needed on that path.)
  void Enter() {
    if (++nesting_ > kMaxNesting) {
      ThrowUnsupported("IF or BEGIN ... END nested more than " +
                       std::to_string(kMaxNesting) + " levels deep");
    }
  }
  void Leave() { --nesting_; }

  Node ParseBlock(size_t* r) {
    Enter();
    Node block;
    block.kind = Node::Kind::Block;
    while (true) {
      if (*r >= raws_.size()) ThrowSyntax("BEGIN without matching END");
      const RawStatement& next = raws_[*r];
      if (next.lead == Kw::End) {
        ++*r;
        Leave();
        return block;
      }
      block.body.push_back(ParseOne(r));
    }
  }

  Node ParseIf(const RawStatement& raw, size_t* r) {
    if (raw.last == raw.first) ThrowSyntax("IF without a condition");
    Enter();
    Node node;
    node.kind = Node::Kind::If;
    node.stmt = Render(raw.first + 1, raw.last, "SELECT CASE WHEN (",
                       ") THEN 1 ELSE 0 END", false);
    if (*r >= raws_.size()) ThrowSyntax("IF without a statement");
    node.body.push_back(ParseOne(r));
    if (*r < raws_.size() && raws_[*r].lead == Kw::Else) {
      ++*r;
      if (*r >= raws_.size()) ThrowSyntax("ELSE without a statement");
      node.else_body.push_back(ParseOne(r));
    }
    Leave();
    return node;
  }

  // Declare @a int, @b nvarchar(10) = expr, ...
  Node ParseDeclare(const RawStatement& raw) {
    Node decl;
    decl.kind = Node::Kind::Declare;
    std::vector<Node> initialisers;
    uint32_t i = raw.first + 1;
    const uint32_t last = raw.last;
    if (i > last) ThrowSyntax("DECLARE without a variable");
    while (i <= last) {
      if (toks_[i].kind != TokKind::Variable) {
        if (word(i + 1, last, Kw::Cursor) || (word(i + 2, last, Kw::Cursor))) {
          ThrowUnsupported("cursor (DECLARE ... CURSOR)");
        }
        ThrowSyntax("DECLARE expects a @variable near \"" +
                    std::string(str(i)) + "\"");
      }
      std::string name = VarName(i);
      if (!declared_.insert(name).second) {
        ThrowSyntax("the variable name \"@" + name +
                    "\" has already been declared");
      }
      ++i;
      if (word(i, last, Kw::As)) ++i;
      if (word(i, last, Kw::Table)) ThrowUnsupported("table variable");
      if (word(i, last, Kw::Cursor)) {
        ThrowUnsupported("cursor (DECLARE ... CURSOR)");
      }
      // The type runs to "," or "=" at depth 0.
      uint32_t type_begin = i;
      int depth = 0;
      while (i <= last) {
        if (op(i, last, '(')) ++depth;
        if (op(i, last, ')')) --depth;
        if (depth == 0 && (op(i, last, ',') || op(i, last, '='))) break;
        ++i;
      }
      if (i == type_begin) ThrowSyntax("DECLARE @" + name + " without a type");
      decl.variables.push_back(name);
      if (op(i, last, '=')) {
        uint32_t expr_begin = ++i;
        depth = 0;
        while (i <= last) {
          if (op(i, last, '(')) ++depth;
          if (op(i, last, ')')) --depth;
          if (depth == 0 && op(i, last, ',')) break;
          ++i;
        }
        if (i == expr_begin)
          ThrowSyntax("DECLARE @" + name + " = without a value");
        Node set;
        set.kind = Node::Kind::SetVar;
        set.variables.push_back(name);
        set.stmt = Render(expr_begin, i - 1, "SELECT ", "", false);
        initialisers.push_back(std::move(set));
      }
      if (op(i, last, ',')) ++i;
    }
    if (initialisers.empty()) return decl;
    Node block;
    block.kind = Node::Kind::Block;
    block.body.push_back(std::move(decl));
    for (Node& n : initialisers) block.body.push_back(std::move(n));
    return block;
  }

  // Keywords that end the select list.
  static bool IsClause(const Token& t) {
    if (t.kind != TokKind::Word) return false;
    switch (t.kw) {
      case Kw::From:
      case Kw::Where:
      case Kw::Group:
      case Kw::Having:
      case Kw::Order:
      case Kw::Union:
      case Kw::Except:
      case Kw::Intersect:
      case Kw::Into:
      case Kw::For:
      case Kw::Option:
        return true;
      default:
        return false;
    }
  }

  static bool IsArithmetic(std::string_view s) {
    return s.size() == 1 &&
           std::string_view("+-*/%&|^").find(s[0]) != std::string_view::npos;
  }

  Node ParseSet(const RawStatement& raw) {
    const uint32_t last = raw.last;
    const uint32_t v = raw.first + 1;
    if (v > last) ThrowSyntax("SET without a variable or option");
    if (toks_[v].kind == TokKind::Variable) {
      std::string name = VarName(v);
      check_variable_(name);
      if (v + 2 <= last && toks_[v + 1].kind == TokKind::Op &&
          IsArithmetic(str(v + 1)) && op(v + 2, last, '=')) {
        ThrowUnsupported("compound assignment (SET @" + name + " " +
                         std::string(str(v + 1)) + "= ...)");
      }
      if (!op(v + 1, last, '=')) {
        ThrowSyntax("SET @" + name + " expects \"=\"");
      }
      const uint32_t expr = v + 2;
      if (expr > last) ThrowSyntax("SET @" + name + " = without a value");
      int depth = 0;
      for (uint32_t i = expr; i <= last; ++i) {
        if (op(i, last, '(')) ++depth;
        if (op(i, last, ')')) --depth;
        if (depth == 0 && op(i, last, ',')) {
          ThrowSyntax("SET assigns one variable: unexpected \",\"");
        }
      }
      Node node;
      node.kind = Node::Kind::SetVar;
      node.variables.push_back(name);
      node.stmt = Render(expr, last, "SELECT ", "", false);
      return node;
    }
    if (toks_[v].kind == TokKind::Word) {
      std::string option = detail::AsciiLower(str(v));
      if (option == "transaction" || option == "nocount") {
        Node node;
        node.kind = Node::Kind::NoOp;
        return node;
      }
      ThrowUnsupported("SET " + std::string(str(v)));
    }
    ThrowSyntax("SET expects a @variable or an option");
  }

  // A SELECT whose select list assigns variables (select @a = e1, @b = e2
  // FROM ...) becomes SelectAssign over "SELECT e1, e2 FROM ..."; any other
  // SELECT runs as it is.
  Node ParseSelect(const RawStatement& raw) {
    const uint32_t last = raw.last;
    uint32_t i = raw.first + 1;
    if (word(i, last, Kw::Distinct) || word(i, last, Kw::All)) ++i;
    if (word(i, last, Kw::Top)) {
      ++i;
      if (op(i, last, '(')) {
        int depth = 0;
        do {
          if (op(i, last, '(')) ++depth;
          if (op(i, last, ')')) --depth;
          ++i;
        } while (i <= last && depth > 0);
      } else {
        ++i;
      }
    }
    std::vector<uint32_t> dropped;
    std::vector<std::string> assigned;
    std::vector<uint32_t> list_variables;  // variables read in the list
    bool plain_item = false;
    bool item_start = true;
    bool compound = false;
    int depth = 0;
    for (; i <= last; ++i) {
      const Token& t = toks_[i];
      if (op(i, last, '(')) ++depth;
      if (op(i, last, ')')) --depth;
      if (depth == 0 && IsClause(t)) break;
      if (item_start) {
        item_start = false;
        if (t.kind == TokKind::Variable && op(i + 1, last, '=')) {
          std::string name = VarName(i);
          check_variable_(name);
          assigned.push_back(std::move(name));
          dropped.push_back(i);
          dropped.push_back(i + 1);
          ++i;
          continue;
        }
        if (t.kind == TokKind::Variable && i + 2 <= last &&
            toks_[i + 1].kind == TokKind::Op && IsArithmetic(str(i + 1)) &&
            op(i + 2, last, '=') && toks_[i + 2].begin == toks_[i + 1].end) {
          ThrowUnsupported("compound assignment in SELECT (" +
                           Excerpt(i, i + 2) + ")");
        }
        plain_item = true;
      }
      if (t.kind == TokKind::Variable) list_variables.push_back(i);
      if (depth == 0 && op(i, last, ',')) item_start = true;
    }
    if (assigned.empty()) return Exec(raw);
    if (plain_item) {
      ThrowUnsupported(
          "SELECT that both assigns variables and returns columns");
    }
    for (uint32_t k = i; k <= last; ++k) {
      if (op(k, last, '(')) ++depth;
      if (op(k, last, ')')) --depth;
      if (depth == 0 && toks_[k].kind == TokKind::Word &&
          (toks_[k].kw == Kw::Union || toks_[k].kw == Kw::Except ||
           toks_[k].kw == Kw::Intersect)) {
        compound = true;
      }
    }
    if (compound) {
      ThrowUnsupported("variable assignment in a compound SELECT");
    }
    const std::unordered_set<std::string> assigned_names(assigned.begin(),
                                                         assigned.end());
    for (uint32_t k : list_variables) {
      std::string name = VarName(k);
      if (assigned_names.count(name) != 0) {
        ThrowUnsupported("SELECT @" + name + " = ... reading @" + name +
                         " (row-by-row accumulation)");
      }
    }
    Node node;
    node.kind = Node::Kind::SelectAssign;
    node.variables = std::move(assigned);
    node.stmt = Render(raw.first, raw.last, "", "", true, dropped);
    return node;
  }

  const std::string& text_;
  const Dialect dialect_;
  const ColumnLookup& columns_;
  const ColumnTypeLookup& types_;
  std::vector<Token> toks_;
  std::vector<RawStatement> raws_;
  std::unordered_set<std::string> declared_;
  std::function<void(const std::string&)> check_variable_;
  bool writes_ = false;
  int nesting_ = 0;  // IF and BEGIN levels open at the statement parsed
};

}  // namespace

Script Translate(const std::string& text, Dialect dialect,
                 const ColumnLookup& columns, const ColumnTypeLookup& types) {
  return Translator(text, dialect, columns, types).Run();
}

}  // namespace marl::data::tsql
