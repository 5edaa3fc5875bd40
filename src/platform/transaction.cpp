// Transactions, scopes, object contexts and the call frames of components.
//
// Per thread there are two stacks: the open TransactionScopes and the running
// component calls (each with its ObjectContext). Transaction::Current() is the
// innermost call's transaction while a component call runs on the thread,
// else the innermost open scope's.
//
// Choices made here:
// - A bound transaction that has already ended (its scope committed or rolled
//   back) no longer counts: the call then follows the rules for an unbound
//   component (thread's current transaction, else a new root for Required).
// - NotSupported runs without a transaction; RequiresNew always runs in a
//   new root transaction of its own.
// - A root call whose own last vote is an abort rolls back quietly (the
//   method chose that outcome); a root call that voted to complete while a
//   participant doomed the transaction raises kTransactionAborted.
// - A non-root call that raises keeps its votes as cast; it is the caller's
//   business to handle the error or let it leave the root call, which then
//   rolls back.
// - Enlist appends even when the key is already taken; Find returns the
//   first resource enlisted under a key.
#include "marlcheckout/transaction.h"

#include <algorithm>

#include "marlcheckout/error.h"

namespace marl {

namespace {

thread_local std::vector<std::shared_ptr<Transaction>> t_scopes;
thread_local std::vector<ObjectContext*> t_calls;

template <class T>
void RemoveLast(std::vector<T>& v, const T& item) {
  for (auto it = v.rbegin(); it != v.rend(); ++it) {
    if (*it == item) {
      v.erase(std::next(it).base());
      return;
    }
  }
}

Error Aborted() {
  return Error(err::kTransactionAborted, "Transaction",
               "The transaction has been aborted: a participant voted to "
               "abort it, so its work was rolled back");
}

}  // namespace

Transaction::Transaction(TxAccess access) : access_(access) {}

Transaction::~Transaction() { Rollback(); }

std::shared_ptr<Transaction> Transaction::Current() {
  if (!t_calls.empty()) return t_calls.back()->transaction();
  if (!t_scopes.empty()) return t_scopes.back();
  return nullptr;
}

void Transaction::Enlist(const std::string& key,
                         std::shared_ptr<Resource> resource) {
  if (!active_) {
    throw Error(err::kFail, "Transaction",
                "Cannot enlist in a transaction that has already ended");
  }
  resources_.emplace_back(key, std::move(resource));
}

std::shared_ptr<Resource> Transaction::Find(const std::string& key) const {
  for (const auto& [k, r] : resources_) {
    if (k == key) return r;
  }
  return nullptr;
}

void Transaction::Commit() {
  if (!active_) {
    throw Error(err::kFail, "Transaction", "The transaction has already ended");
  }
  if (doomed_) {
    Rollback();
    throw Aborted();
  }
  active_ = false;
  auto resources = std::move(resources_);
  resources_.clear();
  for (size_t i = 0; i < resources.size(); ++i) {
    try {
      resources[i].second->Commit();
    } catch (...) {
      // The failed resource and those after it roll back.
      for (size_t j = i; j < resources.size(); ++j) {
        try {
          resources[j].second->Rollback();
        } catch (...) {
        }
      }
      try {
        throw;
      } catch (const Error&) {
        throw;
      } catch (const std::exception& e) {
        throw Error(err::kFail, "Transaction",
                    std::string("Commit failed: ") + e.what());
      } catch (...) {
        throw Error(err::kFail, "Transaction", "Commit failed");
      }
    }
  }
}

void Transaction::Rollback() {
  if (!active_) return;
  active_ = false;
  auto resources = std::move(resources_);
  resources_.clear();
  for (auto& [key, resource] : resources) {
    try {
      resource->Rollback();
    } catch (...) {
      // Rolling back must finish for every resource.
    }
  }
}

TransactionScope::TransactionScope(TxAccess access)
    : tx_(std::make_shared<Transaction>(access)) {
  t_scopes.push_back(tx_);
}

TransactionScope::~TransactionScope() {
  if (!done_) {
    done_ = true;
    tx_->Rollback();
  }
  RemoveLast(t_scopes, tx_);
}

void TransactionScope::Commit() {
  if (done_) {
    throw Error(err::kFail, "TransactionScope",
                "The transaction scope has already ended");
  }
  done_ = true;
  RemoveLast(t_scopes, tx_);
  tx_->Commit();
}

void TransactionScope::Rollback() {
  if (done_) return;
  done_ = true;
  RemoveLast(t_scopes, tx_);
  tx_->Rollback();
}

std::shared_ptr<Dispatchable> ObjectContext::CreateInstance(
    std::string_view prog_id) {
  std::shared_ptr<Dispatchable> obj = Registry::Instance().Create(prog_id);
  if (auto* component = dynamic_cast<Component*>(obj.get())) {
    component->BindTransaction(tx_);
  }
  return obj;
}

ObjectContext* GetObjectContext() {
  return t_calls.empty() ? nullptr : t_calls.back();
}

Component::Component(TxAttribute attr)
    : attr_(attr), owner_(std::this_thread::get_id()) {}

Component::CallFrame::CallFrame(Component& c) : c_(c) {
  if (c.owner_ != std::this_thread::get_id()) {
    throw Error(err::kWrongThread, c.Table().class_name,
                "The object was called on a thread other than the one that "
                "created it");
  }
  std::shared_ptr<Transaction> tx;
  switch (c.attr_) {
    case TxAttribute::NotSupported:
      break;
    case TxAttribute::RequiresNew:
      owned_ = std::make_shared<Transaction>();
      tx = owned_;
      break;
    case TxAttribute::Supported:
    case TxAttribute::Required:
      if (c.bound_tx_ && c.bound_tx_->IsActive()) {
        tx = c.bound_tx_;
      } else {
        tx = Transaction::Current();
        if (tx && !tx->IsActive()) tx = nullptr;
      }
      if (!tx && c.attr_ == TxAttribute::Required) {
        owned_ = std::make_shared<Transaction>();
        tx = owned_;
      }
      break;
  }
  ctx_ = std::make_unique<ObjectContext>(std::move(tx));
  t_calls.push_back(ctx_.get());
}

Component::CallFrame::~CallFrame() { Fail(); }

void Component::CallFrame::Finish() {
  if (ended_) return;
  ended_ = true;
  RemoveLast(t_calls, ctx_.get());
  const std::shared_ptr<Transaction>& tx = ctx_->transaction();
  if (tx && ctx_->vote_abort()) tx->Doom();
  if (owned_) {
    if (ctx_->vote_abort()) {
      owned_->Rollback();
    } else {
      owned_->Commit();  // raises when doomed or when a resource fails
    }
  }
}

void Component::CallFrame::Fail() {
  if (ended_) return;
  ended_ = true;
  RemoveLast(t_calls, ctx_.get());
  const std::shared_ptr<Transaction>& tx = ctx_->transaction();
  if (tx && ctx_->vote_abort()) tx->Doom();
  if (owned_) owned_->Rollback();
}

}  // namespace marl
