#include "marlcheckout/transaction.h"

#include <gtest/gtest.h>

#include <thread>

#include "marlcheckout/error.h"
#include "support/raised.h"

namespace marl {
namespace {

// What reached "storage": writes of committed transactions, and how many
// resources were rolled back.
struct Ledger {
  std::vector<std::string> committed;
  int rollbacks = 0;
};
Ledger g_ledger;

class MemResource : public Resource {
 public:
  explicit MemResource(bool fail_commit = false) : fail_(fail_commit) {}
  void Commit() override {
    if (fail_) throw Error(err::kDbFail, "Mem", "disk full");
    for (auto& w : pending_) g_ledger.committed.push_back(w);
    pending_.clear();
  }
  void Rollback() override {
    pending_.clear();
    ++g_ledger.rollbacks;
  }
  std::vector<std::string> pending_;

 private:
  bool fail_;
};

// The current transaction's memory resource, enlisted on first use.
MemResource& Mem() {
  std::shared_ptr<Transaction> tx = Transaction::Current();
  if (!tx) throw Error(err::kFail, "test", "no transaction");
  std::shared_ptr<Resource> r = tx->Find("mem");
  if (!r) {
    r = std::make_shared<MemResource>();
    tx->Enlist("mem", r);
  }
  return static_cast<MemResource&>(*r);
}

enum class Outcome { kComplete, kAbort, kCompleteThenFail, kFailNoVote };

// A Required component that writes one value and votes.
class Writer : public Component {
 public:
  Writer() : Component(TxAttribute::Required) {}
  const DispatchTable& Table() const override {
    static const DispatchTable t{"Writer", {}};
    return t;
  }
  void Write(const std::string& value, Outcome outcome) {
    Call([&] {
      Mem().pending_.push_back(value);
      if (outcome == Outcome::kFailNoVote) throw Error::Of(err::kOverflow);
      if (outcome == Outcome::kAbort) {
        GetObjectContext()->SetAbort();
      } else {
        GetObjectContext()->SetComplete();
      }
      if (outcome == Outcome::kCompleteThenFail) {
        throw Error::Of(err::kOverflow);
      }
    });
  }
};

// A Required component that writes and has a sibling write too.
class Caller : public Component {
 public:
  Caller() : Component(TxAttribute::Required) {}
  const DispatchTable& Table() const override {
    static const DispatchTable t{"Caller", {}};
    return t;
  }
  void WriteWithSibling(Outcome sibling_outcome) {
    Call([&] {
      Mem().pending_.push_back("caller");
      auto sibling = std::dynamic_pointer_cast<Writer>(
          GetObjectContext()->CreateInstance("Test.Writer"));
      sibling->Write("sibling", sibling_outcome);
      GetObjectContext()->SetComplete();
    });
  }
};

// A Supported component that reports whether it runs in a transaction.
class Reader : public Component {
 public:
  Reader() : Component(TxAttribute::Supported) {}
  const DispatchTable& Table() const override {
    static const DispatchTable t{"Reader", {}};
    return t;
  }
  bool InTransaction() {
    return Call([] { return GetObjectContext()->IsInTransaction(); });
  }
};

int32_t ErrorNumber(const std::function<void()>& f) {
  return test::Raised(f).number();
}

template <class T>
std::shared_ptr<T> Create(const char* prog_id) {
  return std::dynamic_pointer_cast<T>(Registry::Instance().Create(prog_id));
}

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ledger = Ledger();
    auto reg = [](const char* id,
                  std::function<std::shared_ptr<Dispatchable>()> f,
                  TxAttribute attr) {
      ClassInfo info;
      info.prog_id = id;
      info.transaction = attr;
      info.factory = std::move(f);
      Registry::Instance().Register(std::move(info));
    };
    reg(
        "Test.Writer", [] { return std::make_shared<Writer>(); },
        TxAttribute::Required);
    reg(
        "Test.Caller", [] { return std::make_shared<Caller>(); },
        TxAttribute::Required);
    reg(
        "Test.Reader", [] { return std::make_shared<Reader>(); },
        TxAttribute::Supported);
  }
};

TEST_F(TransactionTest, RootCallsCommitOrRollBackByVoteAndError) {
  struct {
    Outcome outcome;
    int32_t error;
    bool committed;
  } cases[] = {
      {Outcome::kComplete, 0, true},
      {Outcome::kAbort, 0, false},
      {Outcome::kCompleteThenFail, err::kOverflow, false},
      {Outcome::kFailNoVote, err::kOverflow, false},
  };
  for (const auto& c : cases) {
    g_ledger = Ledger();
    auto w = Create<Writer>("test.writer");
    EXPECT_EQ(ErrorNumber([&] { w->Write("a", c.outcome); }), c.error);
    EXPECT_EQ(g_ledger.committed.size(), c.committed ? 1u : 0u);
    EXPECT_EQ(g_ledger.rollbacks, c.committed ? 0 : 1);
    EXPECT_EQ(Transaction::Current(), nullptr);
    EXPECT_EQ(GetObjectContext(), nullptr);
  }
}

TEST_F(TransactionTest, SiblingSharesCallersTransaction) {
  auto c = Create<Caller>("Test.Caller");
  c->WriteWithSibling(Outcome::kComplete);
  EXPECT_EQ(g_ledger.committed,
            (std::vector<std::string>{"caller", "sibling"}));
}

TEST_F(TransactionTest, SiblingAbortVoteDoomsCallersRootTransaction) {
  auto c = Create<Caller>("Test.Caller");
  EXPECT_EQ(ErrorNumber([&] { c->WriteWithSibling(Outcome::kAbort); }),
            err::kTransactionAborted);
  EXPECT_TRUE(g_ledger.committed.empty());
  EXPECT_EQ(g_ledger.rollbacks, 1);
}

TEST_F(TransactionTest, ScopeCommitsCallsTogether) {
  {
    TransactionScope scope;
    auto w = Create<Writer>("Test.Writer");
    w->Write("a", Outcome::kComplete);
    w->Write("b", Outcome::kComplete);
    EXPECT_TRUE(g_ledger.committed.empty());  // not before the scope commits
    scope.Commit();
  }
  EXPECT_EQ(g_ledger.committed, (std::vector<std::string>{"a", "b"}));
}

TEST_F(TransactionTest, ScopeLeftUncommittedRollsBack) {
  {
    TransactionScope scope;
    Create<Writer>("Test.Writer")->Write("a", Outcome::kComplete);
  }
  EXPECT_TRUE(g_ledger.committed.empty());
  EXPECT_EQ(g_ledger.rollbacks, 1);
  EXPECT_EQ(Transaction::Current(), nullptr);
}

TEST_F(TransactionTest, DoomedScopeCommitRaisesAndRollsBack) {
  TransactionScope scope;
  auto w = Create<Writer>("Test.Writer");
  w->Write("a", Outcome::kComplete);
  w->Write("b", Outcome::kAbort);
  w->Write("c", Outcome::kComplete);  // a later call does not undo the doom
  EXPECT_TRUE(scope.transaction()->IsDoomed());
  EXPECT_EQ(ErrorNumber([&] { scope.Commit(); }), err::kTransactionAborted);
  EXPECT_TRUE(g_ledger.committed.empty());
  EXPECT_FALSE(scope.transaction()->IsActive());
}

TEST_F(TransactionTest, ResourceCommitFailureRollsBackTheRestAndRaises) {
  TransactionScope scope;
  auto failing = std::make_shared<MemResource>(true);
  auto later = std::make_shared<MemResource>();
  later->pending_.push_back("later");
  scope.transaction()->Enlist("bad", failing);
  scope.transaction()->Enlist("later", later);
  EXPECT_EQ(ErrorNumber([&] { scope.Commit(); }), err::kDbFail);
  EXPECT_TRUE(g_ledger.committed.empty());
  EXPECT_EQ(g_ledger.rollbacks, 2);
}

TEST_F(TransactionTest, SupportedJoinsOnlyWhenThereIsATransaction) {
  auto r = Create<Reader>("Test.Reader");
  EXPECT_FALSE(r->InTransaction());
  TransactionScope scope;
  EXPECT_TRUE(r->InTransaction());  // created outside, called inside
  EXPECT_TRUE(Create<Reader>("Test.Reader")->InTransaction());
}

TEST_F(TransactionTest, CallFromAnotherThreadRaises) {
  auto w = Create<Writer>("Test.Writer");
  int32_t number = 0;
  std::thread t([&] {
    number = ErrorNumber([&] { w->Write("x", Outcome::kComplete); });
  });
  t.join();
  EXPECT_EQ(number, err::kWrongThread);
  EXPECT_TRUE(g_ledger.committed.empty());
  w->Write("y", Outcome::kComplete);  // the creating thread still may
  EXPECT_EQ(g_ledger.committed, (std::vector<std::string>{"y"}));
}

TEST_F(TransactionTest, RegistryReplacesAndRejectsUnknownClasses) {
  EXPECT_EQ(ErrorNumber([] { Registry::Instance().Create("Test.Nothing"); }),
            err::kClassNotRegistered);
  ClassInfo info;
  info.prog_id = "TEST.WRITER";  // an integrator's replacement
  info.factory = [] { return std::make_shared<Reader>(); };
  Registry::Instance().Register(info);
  EXPECT_NE(Create<Reader>("Test.Writer"), nullptr);
  EXPECT_TRUE(Registry::Instance().Unregister("test.writer"));
  EXPECT_FALSE(Registry::Instance().Find("Test.Writer").has_value());
}

}  // namespace
}  // namespace marl
