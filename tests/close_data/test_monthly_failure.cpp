// A failure after some statements of a step leaves every table as it was.
#include <functional>
#include <string>
#include <vector>

#include "test_monthly_fixture.h"

namespace marl::monthly_test {
namespace {

TEST_F(MonthlyTest, ALateFailureChangesNothing) {
  Exec(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,"
      "FOnlnQty,FEndBal,FQty,FBegBal,FTypeID) VALUES"
      " (2005,3,1,0,10,4,0,0,0,3), (2005,3,1,5,10,0,30,0,0,4),"
      " (2005,4,9,0,99,0,0,1,0,1), (2005,4,9,5,99,0,0,0,2,2);"
      "INSERT INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,1),(2005,4,2);"
      "INSERT INTO CBStdStdPrice(FYear,FPeriod,FItemID) VALUES (2005,3,3);"
      "INSERT INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,4),(2005,4,5);"
      "INSERT INTO cbMaterielInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,1),(2005,3,2);"
      "INSERT INTO cbExpenseDistributeInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,3);");
  const auto before = Snapshot();
  const struct {
    const char* match;  // the failing statement
    std::function<void(CloseData&, const std::string&)> call;
  } cases[] = {
      // The fourth of seven statements (the beginning amounts).
      {"AND FTypeID=4 ",
       [](CloseData& c, const std::string& dsn) {
         c.SetBegBal(dsn, 2005, 3, 2005, 4);
       }},
      // The copy batch, after the clearing batch ran.
      {"Insert INTO CBStdSalaryRate",
       [](CloseData& c, const std::string& dsn) {
         c.SetStdCostData(dsn, 2005, 3, 2005, 4);
       }},
      // The second of the two moves.
      {"cbExpenseDistributeInfo",
       [](CloseData& c, const std::string& dsn) {
         c.EndHistoryData(dsn, 2005, 3, true);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.match);
    data::SetFaultPlan({1, err::kDbSyntax, "refused", c.match});
    EXPECT_EQ(Raised([&] { c.call(*CloseData::Create(), Dsn()); }).number(),
              err::kDbSyntax);
    EXPECT_EQ(Snapshot(), before);
  }

  // An error of the first move stops the second.
  data::SetFaultPlan({1, err::kDbSyntax, "refused", "cbMaterielInfo"});
  std::vector<std::string> texts = Traced([&] {
    Raised([&] { CloseData::Create()->EndHistoryData(Dsn(), 2005, 3, true); });
  });
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("cbMaterielInfo_History"), std::string::npos);

  // The fifth of six inserts of a batch fails inside the database, after
  // four have run.
  Exec(
      "CREATE TRIGGER refuse_budget BEFORE INSERT ON CBStdfixedMakebudget "
      "BEGIN SELECT RAISE(ABORT, 'budget refused'); END;");
  Error e = Raised(
      [&] { CloseData::Create()->SetStdCostData(Dsn(), 2005, 3, 2005, 4); });
  EXPECT_EQ(e.number(), err::kDbIntegrity);
  EXPECT_NE(e.description().find("budget refused"), std::string::npos);
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace marl::monthly_test
