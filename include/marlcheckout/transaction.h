// Transactions, object contexts and configured components.
//
// The model
// - A client may open a TransactionScope (RAII): Commit() ends it; leaving
//   it uncommitted rolls it back. Components created while a scope is current
//   on the thread (Registry::Create) and components created through
//   ObjectContext::CreateInstance take part in that transaction.
// - Every method of a Component runs through Component::Call, which gives the
//   call an ObjectContext (GetObjectContext()) and a transaction:
//     * the component's bound transaction, when it has one;
//     * else, the thread's current transaction when the attribute is
//       Supported or Required;
//     * else, for Required (or RequiresNew), a new transaction owned by this
//       root call: it commits when the call returns normally and no
//       participant's last vote is an abort, and rolls back otherwise. An
//       error that leaves a root call always rolls it back.
// - Votes: SetComplete / SetAbort. A participant's last vote when its call
//   returns counts; an abort dooms the transaction. Committing a doomed
//   transaction rolls it back and raises kTransactionAborted.
// - Resources (database connections) enlist with a key; Find(key) lets the
//   data layer share one physical connection per connection string.
// - A read-only transaction (TxAccess::kReadOnly, given to the scope that
//   opens it) only reads: its database connections begin read transactions,
//   which take no write lock and see one committed state throughout, and a
//   text that writes fails in it. Root transactions of calls are read-write.
// - Apartment rule: a Component may only be called on the thread that
//   created it; a call from another thread raises kWrongThread.
// Thread safety: a Transaction is used by the thread that runs its calls;
// TransactionScope and ObjectContext are per thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "marlcheckout/dispatch.h"
#include "marlcheckout/export.h"
#include "marlcheckout/registry.h"

namespace marl {

// A participant in a transaction (e.g. a physical database connection).
class MARL_API Resource {
 public:
  virtual ~Resource() = default;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

enum class TxAccess { kReadWrite, kReadOnly };

class MARL_API Transaction {
 public:
  explicit Transaction(TxAccess access = TxAccess::kReadWrite);
  ~Transaction();  // rolls back when still active
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // The transaction of the innermost call on this thread, else of the
  // innermost TransactionScope; nullptr when none.
  static std::shared_ptr<Transaction> Current();

  void Enlist(const std::string& key, std::shared_ptr<Resource> resource);
  std::shared_ptr<Resource> Find(const std::string& key) const;

  void Doom() { doomed_ = true; }
  bool IsDoomed() const { return doomed_; }
  bool IsActive() const { return active_; }
  bool IsReadOnly() const { return access_ == TxAccess::kReadOnly; }

  // Commits every resource in enlistment order; when doomed, rolls back and
  // raises kTransactionAborted. A resource that fails to commit makes the
  // rest roll back and the error is raised.
  void Commit();
  void Rollback();  // never throws

 private:
  std::vector<std::pair<std::string, std::shared_ptr<Resource>>> resources_;
  TxAccess access_;
  bool doomed_ = false;
  bool active_ = true;
};

class MARL_API TransactionScope {
 public:
  explicit TransactionScope(TxAccess access = TxAccess::kReadWrite);
  ~TransactionScope();  // rolls back when not committed
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

  void Commit();  // raises kTransactionAborted when doomed
  void Rollback();
  const std::shared_ptr<Transaction>& transaction() const { return tx_; }

 private:
  std::shared_ptr<Transaction> tx_;
  bool done_ = false;
};

class MARL_API ObjectContext {
 public:
  void SetComplete() { vote_abort_ = false; }
  void SetAbort() { vote_abort_ = true; }
  bool IsInTransaction() const { return tx_ != nullptr; }
  const std::shared_ptr<Transaction>& transaction() const { return tx_; }
  // Creates a component that takes part in this context's transaction.
  std::shared_ptr<Dispatchable> CreateInstance(std::string_view prog_id);

  bool vote_abort() const { return vote_abort_; }
  explicit ObjectContext(std::shared_ptr<Transaction> tx)
      : tx_(std::move(tx)) {}

 private:
  std::shared_ptr<Transaction> tx_;
  bool vote_abort_ = false;
};

// The context of the innermost component call on this thread; nullptr when
// no component call is running.
MARL_API ObjectContext* GetObjectContext();

class MARL_API Component : public Dispatchable {
 public:
  TxAttribute transaction_attribute() const { return attr_; }
  // Set by Registry::Create / ObjectContext::CreateInstance.
  void BindTransaction(std::shared_ptr<Transaction> tx) { bound_tx_ = tx; }
  const std::shared_ptr<Transaction>& bound_transaction() const {
    return bound_tx_;
  }

 protected:
  explicit Component(TxAttribute attr);

  // Runs one method call under the rules at the top of this file.
  template <class F>
  auto Call(F&& body) -> decltype(body()) {
    CallFrame frame(*this);
    try {
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
        frame.Finish();
      } else {
        auto result = body();
        frame.Finish();
        return result;
      }
    } catch (...) {
      frame.Fail();
      throw;
    }
  }

 private:
  class CallFrame {
   public:
    explicit CallFrame(Component& c);
    ~CallFrame();
    void Finish();  // may throw (commit of a root transaction)
    void Fail();    // never throws
   private:
    Component& c_;
    std::shared_ptr<Transaction> owned_;  // root transaction, if any
    std::unique_ptr<ObjectContext> ctx_;
    bool ended_ = false;
  };
  TxAttribute attr_;
  std::thread::id owner_;
  std::shared_ptr<Transaction> bound_tx_;
};

}  // namespace marl
