// Statement splitter (see splitter.h).
#include "data/tsql/splitter.h"

namespace marl::data::tsql::detail {
namespace {

bool IsWord(const Token& t, Kw kw) {
  return t.kind == TokKind::Word && t.kw == kw;
}

bool IsBeginOfTransaction(const std::vector<Token>& toks, size_t i) {
  if (i + 1 >= toks.size() || toks[i + 1].kind != TokKind::Word) return false;
  switch (toks[i + 1].kw) {
    case Kw::Tran:
    case Kw::Transaction:
    case Kw::Try:
    case Kw::Catch:
    case Kw::Distributed:
      return true;
    default:
      return false;
  }
}

class Splitter {
 public:
  Splitter(std::string_view text, const std::vector<Token>& toks)
      : text_(text), toks_(toks) {}

  std::vector<RawStatement> Run() {
    const size_t n = toks_.size();
    for (size_t i = 0; i < n; ++i) {
      const Token& t = toks_[i];
      if (IsOp(text_, t, ';')) {
        if (depth_ > 0) Unbalanced(t);
        Close(i);
        force_split_ = false;
        continue;
      }
      if (!open_ || force_split_) {
        Close(i);
        Start(i);
        force_split_ = false;
      } else if (depth_ == 0 && t.kind == TokKind::Word && IsSplit(i)) {
        if (case_count_ > 0) ThrowSyntax("CASE without END");
        Close(i);
        Start(i);
      }
      Track(i);
    }
    if (depth_ > 0) ThrowSyntax("unbalanced parentheses: missing \")\"");
    if (case_count_ > 0) ThrowSyntax("CASE without END");
    Close(n);
    return std::move(out_);
  }

 private:
  [[noreturn]] void Unbalanced(const Token& t) {
    ThrowSyntax("unbalanced parentheses near \"" +
                std::string(TokenText(text_, t)) + "\"");
  }

  void Close(size_t end) {
    if (!open_) return;
    cur_.last = static_cast<uint32_t>(end - 1);
    out_.push_back(cur_);
    open_ = false;
  }

  void Start(size_t i) {
    cur_ = RawStatement{};
    cur_.first = static_cast<uint32_t>(i);
    cur_.lead = toks_[i].kind == TokKind::Word ? toks_[i].kw : Kw::None;
    open_ = true;
    update_set_seen_ = false;
    insert_body_seen_ = false;
    with_main_seen_ = false;
    with_insert_ = false;
  }

  // Whether the keyword at `i` (depth 0, inside an open statement) starts a
  // new statement.
  bool IsSplit(size_t i) const {
    const Token& prev = toks_[i - 1];
    const Kw lead = cur_.lead;
    switch (toks_[i].kw) {
      case Kw::Select:
        if (prev.kind == TokKind::Word &&
            (prev.kw == Kw::Union || prev.kw == Kw::All ||
             prev.kw == Kw::Except || prev.kw == Kw::Intersect)) {
          return false;
        }
        if ((lead == Kw::Insert || with_insert_) && !insert_body_seen_) {
          return false;
        }
        if (lead == Kw::With && !with_main_seen_) return false;
        return true;
      case Kw::Insert:
      case Kw::Update:
      case Kw::Delete:
        if (IsWord(prev, Kw::On)) return false;
        if (lead == Kw::With && !with_main_seen_) return false;
        return true;
      case Kw::Set:
        if (lead == Kw::Update && !update_set_seen_) return false;
        if (lead == Kw::Alter) return false;
        return true;
      case Kw::Drop:
      case Kw::Alter:
        return lead != Kw::Alter;
      case Kw::If:
        if (prev.kind == TokKind::Word &&
            (prev.kw == Kw::Table || prev.kw == Kw::Index ||
             prev.kw == Kw::View || prev.kw == Kw::Trigger ||
             prev.kw == Kw::Procedure || prev.kw == Kw::Proc ||
             prev.kw == Kw::Function)) {
          return false;
        }
        return true;
      case Kw::Else:
      case Kw::End:
        return case_count_ == 0;
      case Kw::With: {
        // A common table expression: WITH name AS ( or WITH name ( ... ).
        if (i + 2 >= toks_.size()) return false;
        const Token& name = toks_[i + 1];
        const Token& after = toks_[i + 2];
        if (name.kind != TokKind::Word && name.kind != TokKind::QuotedName) {
          return false;
        }
        return IsWord(after, Kw::As) || IsOp(text_, after, '(');
      }
      case Kw::Begin:
      case Kw::Declare:
      case Kw::While:
      case Kw::Exec:
      case Kw::Execute:
      case Kw::Create:
      case Kw::Truncate:
      case Kw::Return:
      case Kw::Print:
      case Kw::Commit:
      case Kw::Rollback:
      case Kw::Goto:
      case Kw::Raiserror:
      case Kw::Waitfor:
      case Kw::Merge:
        return true;
      default:
        return false;
    }
  }

  // State kept across tokens: depth, CASE counter, statement progress.
  void Track(size_t i) {
    const Token& t = toks_[i];
    if (t.kind == TokKind::Op) {
      if (IsOp(text_, t, '(')) {
        ++depth_;
      } else if (IsOp(text_, t, ')')) {
        if (depth_ == 0) Unbalanced(t);
        --depth_;
      }
      return;
    }
    if (t.kind != TokKind::Word) return;
    switch (t.kw) {
      case Kw::Case:
        ++case_count_;
        break;
      case Kw::End:
        if (case_count_ > 0) {
          --case_count_;
        } else if (depth_ == 0) {
          force_split_ = true;  // a block END stands alone
        }
        break;
      case Kw::Else:
        if (case_count_ == 0 && depth_ == 0) force_split_ = true;
        break;
      case Kw::Begin:
        if (depth_ == 0 && i == cur_.first && !IsBeginOfTransaction(toks_, i)) {
          force_split_ = true;  // a block BEGIN stands alone
        }
        break;
      case Kw::Set:
        if (depth_ == 0 && cur_.lead == Kw::Update) update_set_seen_ = true;
        break;
      case Kw::Select:
      case Kw::Values:
        if (depth_ == 0 && (cur_.lead == Kw::Insert || with_insert_)) {
          insert_body_seen_ = true;
        }
        if (depth_ == 0 && cur_.lead == Kw::With && i != cur_.first) {
          with_main_seen_ = true;
        }
        break;
      case Kw::Insert:
      case Kw::Update:
      case Kw::Delete:
        if (depth_ == 0 && cur_.lead == Kw::With && i != cur_.first &&
            !with_main_seen_) {
          with_main_seen_ = true;
          with_insert_ = t.kw == Kw::Insert;
        }
        break;
      default:
        break;
    }
  }

  std::string_view text_;
  const std::vector<Token>& toks_;
  std::vector<RawStatement> out_;
  RawStatement cur_;
  bool open_ = false;
  bool force_split_ = false;
  int depth_ = 0;
  int case_count_ = 0;
  bool update_set_seen_ = false;
  bool insert_body_seen_ = false;
  bool with_main_seen_ = false;
  bool with_insert_ = false;  // the WITH's statement is an INSERT
};

}  // namespace

std::vector<RawStatement> SplitStatements(std::string_view text,
                                          const std::vector<Token>& tokens) {
  return Splitter(text, tokens).Run();
}

}  // namespace marl::data::tsql::detail
