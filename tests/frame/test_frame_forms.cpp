// The method frame: activation, the four failure forms (number, source,
// description, the connection closed or not, and the vote left) and the
// object state between calls.
#include <gtest/gtest.h>

#include "frame/frame.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "support/frame_fixture.h"

namespace marl::frame_test {
namespace {

// A public object whose one method writes a row and then runs a statement,
// under a failure form chosen by the test.
class Probe : public PublicObject {
 public:
  Probe() : PublicObject(TxAttribute::Required) {}

  const DispatchTable& Table() const override {
    static const DispatchTable table{"Probe", {}};
    return table;
  }

  void Write(const frame::FailureForm& form, const std::string& dsn,
             const std::string& statement) {
    Run(form, [&](frame::Method& m) {
      m.InitDataEnv(dsn);
      m.set_language(m.parser().LanguageID());
      connection = m.OpenConnection();
      connection->Execute(
          "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) "
          "VALUES ('T', 'Probe', 'x')");
      connection->Execute(statement);
      m.CloseConnections();
      m.SetComplete();
    });
  }

  std::string Props() {
    return Run(frame::Untouched(),
               [&](frame::Method& m) { return m.parser().PropsString(); });
  }

  std::shared_ptr<data::Connection> connection;
};

constexpr const char* kPlace = "MarlCheckOut.Probe.Write";

struct FormCase {
  const char* name;
  frame::FailureForm form;
  const char* language;
  const char* fault_description;
  const char* source;       // expected source
  const char* description;  // expected description
  bool closed;              // connection closed by the frame
  bool aborted;             // the transaction was doomed by the vote
};

class FormsTest : public FrameDbTest {};

TEST_F(FormsTest, EachFormRaisesItsErrorAndLeavesItsVote) {
  using frame::Description;
  using frame::Trail;
  using frame::Vote;
  const FormCase cases[] = {
      {"A", frame::Untouched(), "en", "boom", "FaultInjection", "boom", false,
       false},
      {"B abort", frame::PassOn(Vote::kAbort), "en", "boom", "FaultInjection",
       "boom", true, true},
      {"B no vote", frame::PassOn(Vote::kNone), "en", "boom", "FaultInjection",
       "boom", true, false},
      {"B translated", frame::PassOn(Vote::kAbort, Description::kTranslated),
       "en", "未知错误类型", "FaultInjection", "Unknown error type", true,
       true},
      {"B translated chs",
       frame::PassOn(Vote::kAbort, Description::kTranslated), "chs",
       "未知错误类型", "FaultInjection", "未知错误类型", true, true},
      {"C crlf", frame::PrefixSource(kPlace, Vote::kAbort), "en", "boom",
       "MarlCheckOut.Probe.Write\r\nFaultInjection", "boom", true, true},
      {"C direct no vote",
       frame::PrefixSource(kPlace, Vote::kNone, Description::kAsRaised,
                           Trail::kDirect),
       "en", "boom", "MarlCheckOut.Probe.WriteFaultInjection", "boom", true,
       false},
      {"D", frame::FixedSource("MarlCheckOut.Probe", Vote::kAbort), "cht",
       "boom", "MarlCheckOut.Probe", "boom", true, true},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.name);
    Exec("DELETE FROM t_SystemProfile WHERE FCategory = 'T'");
    auto probe = std::make_shared<Probe>();
    TransactionScope scope;
    probe->BindTransaction(scope.transaction());
    data::SetFaultPlan({1, err::kDbSyntax, c.fault_description, "FAILHERE"});
    try {
      probe->Write(c.form, Dsn(c.language), "SELECT 1 AS FAILHERE");
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kDbSyntax);
      EXPECT_EQ(e.source(), c.source);
      EXPECT_EQ(e.description(), c.description);
    }
    ASSERT_TRUE(probe->connection);
    EXPECT_EQ(probe->connection->State(),
              c.closed ? data::ado::kStateClosed : data::ado::kStateOpen);
    probe->connection.reset();
    if (c.aborted) {
      EXPECT_THROW(scope.Commit(), Error);
      EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile "
                       "WHERE FCategory = 'T'"),
                "0");
    } else {
      EXPECT_NO_THROW(scope.Commit());
      EXPECT_EQ(Scalar("SELECT count(*) FROM t_SystemProfile "
                       "WHERE FCategory = 'T'"),
                "1");
    }
  }
}

TEST_F(FormsTest, SuccessClosesTheConnectionAndCommits) {
  auto probe = std::make_shared<Probe>();
  probe->Write(frame::PassOn(frame::Vote::kAbort), Dsn(), "SELECT 1");
  EXPECT_EQ(probe->connection->State(), data::ado::kStateClosed);
  EXPECT_EQ(Scalar("SELECT FValue FROM t_SystemProfile WHERE FCategory = 'T'"),
            "x");
}

TEST_F(FormsTest, ActivationFailuresTakeTheMethodsForm) {
  auto probe = std::make_shared<Probe>();
  // A repeated key: the parser's 457 passes through the form.
  try {
    probe->Write(frame::PrefixSource(kPlace, frame::Vote::kAbort), "a=1;A=2",
                 "");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 457);
    EXPECT_EQ(e.source().rfind("MarlCheckOut.Probe.Write\r\n", 0), 0u)
        << e.source();
  }
  EXPECT_FALSE(probe->connection);

  // A method without its own activation works with the pair left by the
  // previous call; a second string replaces the first entirely.
  probe->Write(frame::Untouched(), Dsn("chs"), "SELECT 1");
  EXPECT_EQ(probe->Props(), Dsn("chs"));
  probe->Write(frame::Untouched(), Dsn("en"), "SELECT 1");
  EXPECT_EQ(probe->Props(), Dsn("en"));
}

TEST_F(FormsTest, ANewObjectHasNoParser) {
  auto probe = std::make_shared<Probe>();
  try {
    probe->Props();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kObjectNotSet);
  }
}

TEST(InitDataEnvTest, ParsesIntoANewParserAndDataSource) {
  frame::ObjectEnv env;
  env.InitDataEnv("LANGUAGE=en;ConnectString=x");
  auto first_parser = env.parser();
  auto first_source = env.data_source();
  ASSERT_TRUE(first_source);
  EXPECT_EQ(first_source->ParseObject(), first_parser);
  env.InitDataEnv("LANGUAGE=chs");
  EXPECT_NE(env.parser(), first_parser);
  EXPECT_NE(env.data_source(), first_source);
  EXPECT_EQ(env.data_source()->ParseObject()->LanguageID(), "chs");
  // A failed parse replaces the parser but keeps the previous data source.
  auto source = env.data_source();
  EXPECT_THROW(env.InitDataEnv("k=1;K=2"), Error);
  EXPECT_EQ(env.data_source(), source);
}

}  // namespace
}  // namespace marl::frame_test
