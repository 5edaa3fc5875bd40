// The method frame: activation, the four failure forms (number, source,
// description, the connection closed or not, and the vote left) and the
// object state between calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/frame.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "support/frame_fixture.h"
#include "support/golden.h"
#include "support/raised.h"
#include "support/table.h"

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

// Every public method's failure form, from the table
// tests/golden/frame/forms.txt (its header tells the fields).
struct MethodForm {
  std::string prog_id;
  std::string calls;   // JSON list of calls on one object, the last fails
  std::string match;   // the failing statement contains it ("" = the first)
  std::string source;  // "FaultInjection" is the failing statement's source
  bool translated;     // description rendered in the caller's language
  bool aborted;        // the vote leaves the transaction doomed
};

std::vector<MethodForm> MethodForms() {
  std::vector<MethodForm> forms;
  for (test::TableRow& f : test::ReadTable("frame/forms.txt", 6)) {
    for (size_t at; (at = f[3].find("\\r\\n")) != std::string::npos;)
      f[3].replace(at, 4, "\r\n");
    forms.push_back({f[0], f[1], f[2] == "-" ? "" : f[2], f[3],
                     f[4] == "translated", f[5] == "aborted"});
  }
  EXPECT_GE(forms.size(), 29u);
  return forms;
}

// Runs the calls of `f` on one new object inside a transaction and returns
// the error of the last one; `aborted` tells whether the transaction was
// doomed.
Error Fails(const MethodForm& f, const std::string& dsn, bool& aborted) {
  TransactionScope scope;
  auto object =
      Registry::Instance().Create(std::string("MarlCheckOut.") + f.prog_id);
  const auto calls = test::golden::Json::parse(f.calls);
  Error raised = test::Raised([&] {
    for (const auto& call : calls) test::golden::Call(*object, call, dsn);
  });
  aborted = test::Raised([&] { scope.Commit(); }).number() ==
            err::kTransactionAborted;
  return raised;
}

TEST_F(FormsTest, EveryMethodFailsInItsForm) {
  Source()->GetActualType(3);  // the description cache filled beforehand
  const std::vector<MethodForm> forms = MethodForms();
  for (const MethodForm& f : forms) {
    SCOPED_TRACE(f.calls);
    data::SetFaultPlan({1, err::kDbSyntax, "未知错误类型", f.match});
    bool aborted = false;
    Error e = Fails(f, Dsn("en"), aborted);
    EXPECT_EQ(e.number(), err::kDbSyntax);
    EXPECT_EQ(e.source(), f.source);
    EXPECT_EQ(e.description(),
              f.translated ? "Unknown error type" : "未知错误类型");
    EXPECT_EQ(aborted, f.aborted);
    data::SetFaultPlan({});
  }

  // A property string the parser refuses (a repeated key) fails the
  // activation in the same form, before any statement is sent.
  const std::string bad = Dsn("en") + ";language=en";
  const Error parsed = test::Raised([&] { data::CParse().ParseString(bad); });
  for (const MethodForm& f : forms) {
    if (!f.match.empty()) continue;  // no property string of its own
    SCOPED_TRACE(f.calls);
    std::string source = f.source;
    const size_t at = source.find("FaultInjection");  // not in a fixed one
    if (at != std::string::npos) source.replace(at, 14, parsed.source());
    const int64_t statements = data::StatementsRun();
    bool aborted = false;
    Error e = Fails(f, bad, aborted);
    EXPECT_EQ(e.number(), parsed.number());
    EXPECT_EQ(e.source(), source);
    EXPECT_EQ(data::StatementsRun(), statements);
  }

  // A date of the period set missing: refused before the language is read,
  // so the description stays untranslated.
  bool aborted = false;
  Error e = Fails({"CloseData",
                   R"([["DayCost_SetBegBal", 2024, 4, {"CurBeginDate":
                       "2024-03-01", "CurEndDate": "2024-03-10"}]])",
                   "", "", false, true},
                  Dsn("en"), aborted);
  EXPECT_EQ(test::Report(e), (std::vector<std::string>{
                                 std::to_string(err::kInvalidUseOfNull),
                                 "MarlCheckOut.CloseData.DayCost_SetBegBal\r\n",
                                 ErrorText(err::kInvalidUseOfNull), ""}));
  EXPECT_TRUE(aborted);
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
