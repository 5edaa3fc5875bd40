// A failure in the middle of a step leaves every table as it was, and the
// error reaches the caller in the step's form.
#include <functional>
#include <string>
#include <vector>

#include "test_monthly_fixture.h"

namespace marl::monthly_test {
namespace {

constexpr int32_t kFaultNumber = -2147467259;  // 0x80004005

void FailText(const std::string& match, const std::string& description) {
  data::SetFaultPlan(data::FaultPlan{1, kFaultNumber, description, match});
}

TEST_F(MonthlyTest, BegBalFailingHalfWayChangesNothingAndTranslates) {
  Exec(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,"
      "FOnlnQty,FEndBal,FQty,FBegBal,FTypeID) VALUES"
      " (2005,3,1,0,10,4,0,0,0,3), (2005,3,1,5,10,0,30,0,0,4),"
      " (2005,4,9,0,99,0,0,1,0,1), (2005,4,9,5,99,0,0,0,2,2);");
  const auto before = Snapshot();
  // The fourth of seven statements (the beginning amounts) fails.
  FailText("AND FTypeID=4 ", "未知错误类型");
  Error e = Raised(
      [&] { CloseData::Create()->SetBegBal(Dsn("en"), 2005, 3, 2005, 4); });
  EXPECT_EQ(e.number(), kFaultNumber);
  EXPECT_EQ(e.source(), "FaultInjection");
  EXPECT_EQ(e.description(), "Unknown error type");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(MonthlyTest, StdCostCopyBatchFailingChangesNothing) {
  Exec(
      "INSERT INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,1),(2005,4,2);"
      "INSERT INTO CBStdStdPrice(FYear,FPeriod,FItemID) VALUES (2005,3,3);"
      "INSERT INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,4),(2005,4,5);");
  const auto before = Snapshot();

  // The whole copy batch refused after the clearing batch ran.
  FailText("Insert INTO CBStdSalaryRate", "refused");
  Error e = Raised(
      [&] { CloseData::Create()->SetStdCostData(Dsn(), 2005, 3, 2005, 4); });
  EXPECT_EQ(e.number(), kFaultNumber);
  EXPECT_EQ(e.source(), "FaultInjection");
  EXPECT_EQ(e.description(), "refused");
  EXPECT_EQ(Snapshot(), before);

  // The fifth of six inserts of the batch fails inside the database, after
  // four have run.
  Exec(
      "CREATE TRIGGER refuse_budget BEFORE INSERT ON CBStdfixedMakebudget "
      "BEGIN SELECT RAISE(ABORT, 'budget refused'); END;");
  e = Raised(
      [&] { CloseData::Create()->SetStdCostData(Dsn(), 2005, 3, 2005, 4); });
  EXPECT_EQ(e.number(), err::kDbIntegrity);
  EXPECT_EQ(e.source(), "SQLite");
  EXPECT_NE(e.description().find("budget refused"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(MonthlyTest, EndHistoryDataSecondMoveFailingChangesNothing) {
  Exec(
      "INSERT INTO cbMaterielInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,1),(2005,3,2);"
      "INSERT INTO cbExpenseDistributeInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,3);");
  const auto before = Snapshot();
  FailText("cbExpenseDistributeInfo", "expense move refused");
  Error e = Raised(
      [&] { CloseData::Create()->EndHistoryData(Dsn(), 2005, 3, true); });
  EXPECT_EQ(e.number(), kFaultNumber);
  EXPECT_EQ(e.source(), "FaultInjection");
  EXPECT_EQ(e.description(), "expense move refused");
  EXPECT_EQ(Snapshot(), before);

  // An error of the first move stops the second.
  FailText("cbMaterielInfo", "material move refused");
  std::vector<std::string> texts;
  texts = Traced([&] {
    Raised([&] { CloseData::Create()->EndHistoryData(Dsn(), 2005, 3, true); });
  });
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("cbMaterielInfo_History"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(MonthlyTest, FailuresCarryTheStepsSource) {
  Exec(
      "INSERT INTO CBOnInitBalance(FYear,FPeriod,FChecked) VALUES (2005,3,1);"
      "INSERT INTO CBCarriedCostRevertStdInfo(FYear,FPeriod) VALUES (2005,3);");
  const struct {
    const char* match;
    std::function<void(const std::string&)> call;
    const char* source;
  } cases[] = {
      {"CBCarriedCostRevertStdInfo",
       [](const std::string& dsn) {
         CloseData::Create()->SetCostRevertStd(dsn, 2005, 3, true);
       },
       "MarlCheckOut.CloseData.SetCostRevertStdFaultInjection"},
      {"CBOnInitBalance",
       [](const std::string& dsn) {
         CloseData::Create()->UnCheckOnlineBalance(dsn, 2005, 3);
       },
       "MarlCheckOut.CloseData.UnCheckOnlineBalance\r\nFaultInjection"},
      {"cbBalance",
       [](const std::string& dsn) {
         CloseData::Create()->SetEndBal(dsn, 2005, 3);
       },
       "FaultInjection"},
      {"CBOnInitBalance",
       [](const std::string& dsn) {
         CheckOutInfo::Create()->CheckHasVoucher(dsn, 2005, 3);
       },
       "MarlCheckOut.CheckOutInfo.CheckHasVoucher\r\nFaultInjection"},
      {"CBOnInitBalance",
       [](const std::string& dsn) {
         CheckOutInfo::Create()->HasCheckedOnlineBalance(dsn, 2005, 3);
       },
       "MarlCheckOut.CheckOutInfo.HasCheckedOnlineBalance\r\nFaultInjection"},
      {"CBCarriedCostRevertRealEndBal",
       [](const std::string& dsn) {
         CheckOutInfo::Create()->CheckHaveRevert(dsn, 2005, 3);
       },
       "MarlCheckOut.CheckOutInfo.CheckHaveRevert\r\nFaultInjection"},
  };
  const auto before = Snapshot();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    FailText(c.match, "no");
    Error e = Raised([&] { c.call(Dsn()); });
    EXPECT_EQ(e.number(), kFaultNumber);
    EXPECT_EQ(e.source(), c.source);
    EXPECT_EQ(e.description(), "no");
    EXPECT_EQ(Snapshot(), before);
  }

  // A property string the parser refuses (a repeated key): no statement
  // runs, and the step's name leads the parser's source.
  const std::string bad = Dsn() + ";LANGUAGE=en";
  std::vector<std::string> texts = Traced([&] {
    Error e = Raised(
        [&] { CloseData::Create()->UnCheckOnlineBalance(bad, 2005, 3); });
    EXPECT_NE(e.number(), 0);
    EXPECT_EQ(
        e.source().rfind("MarlCheckOut.CloseData.UnCheckOnlineBalance\r\n", 0),
        0u);
  });
  EXPECT_TRUE(texts.empty());
}

}  // namespace
}  // namespace marl::monthly_test
