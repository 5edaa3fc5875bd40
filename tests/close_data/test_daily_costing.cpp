// CloseData daily-costing steps on a fresh SQLite ERP database per test.
#include <string>
#include <vector>

#include "marlcheckout/close_data.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "support/erp_fixture.h"

namespace marl {
namespace {

double Day(int y, int m, int d, int hh = 0, int mm = 0) {
  return Variant::MakeDate(y, m, d, hh, mm);
}

class DailyCostingTest : public test::ErpDbTest {
 protected:
  DailyCostingTest() { version_ = "3"; }

  std::vector<std::string> Balance() {
    return Rows(
        "SELECT FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FBegBal,FOnlnQty,"
        "FEndBal,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle FROM "
        "DayCost_Balance ORDER BY FTypeID,FPerBeginDate,FPerEndDate,FProductID,"
        "FYearPeriodCycle");
  }
  std::vector<std::string> Detail() {
    return Rows(
        "SELECT FYear,FPeriod,FDepID,FCostObjID,FCostItemID,FMaterielID,"
        "FBatchNo,FQty,FSum,FPrice,FPerBeginDate,FPerEndDate,FYearPeriodCycle "
        "FROM DayCost_CostObjDetail ORDER BY FYearPeriodCycle,FMaterielID");
  }
  // Monthly close of 2024-3 and the two cycles of 2024-4 (A is the smaller).
  void SeedMonthlyClose() {
    Exec(R"(
INSERT INTO CBPeriodDate VALUES (2024,4,'B','2024-04-16','2024-04-30'),
  (2024,4,'A','2024-04-01','2024-04-15'), (2024,5,'0','2024-05-01','2024-05-31');
INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FOnlnQty,
  FEndBal,FTypeID) VALUES (2024,3,1,0,10,0,5,0,3), (2024,3,1,7,10,0,0,120.5,4),
  (2024,3,1,7,10,9,9,9,1), (2024,2,1,0,11,0,6,0,3);
INSERT INTO cbCalinfoDetail(FYear,FPeriod,FDeptID,FCostObjID,FCostItemID,
  FMaterielID,FBatchNo,FOnlineQty,FOnlineAmount) VALUES
  (2024,3,1,10,7,100,'b1',4,10), (2024,3,1,10,7,101,'b2',0,3),
  (2024,3,1,10,7,102,'b3',0,0), (2024,2,1,10,7,103,'b4',1,1);
INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,
  FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (2024,4,1,0,10,99,1,'2024-04-01','2024-04-15','A'),
  (2024,4,1,0,10,77,1,'2024-04-16','2024-04-30','B'),
  (2024,4,1,0,10,55,3,'2024-04-01','2024-04-15','A');
INSERT INTO DayCost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,
  FMaterielID,FQty,FSum,FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (2024,4,1,10,7,100,1,1,'2024-04-01','2024-04-15','A'),
  (2024,4,1,10,7,100,2,2,'2024-04-16','2024-04-30','B');)");
  }
};

TEST_F(DailyCostingTest, SetDayAccountSeedsSmallestCycleAndRepeatsIdentically) {
  SeedMonthlyClose();
  const std::vector<std::string> balance = {
      "2024|4|1|0|10|5.0|0.0|0.0|0.0|1|2024-04-01|2024-04-15|A",
      "2024|4|1|0|10|77.0|0.0|0.0|0.0|1|2024-04-16|2024-04-30|B",
      "2024|4|1|7|10|0.0|120.5|0.0|0.0|2|2024-04-01|2024-04-15|A",
      "2024|4|1|0|10|55.0|0.0|0.0|0.0|3|2024-04-01|2024-04-15|A"};
  const std::vector<std::string> detail = {
      "2024|4|1|10|7|100|b1|4.0|10.0|2.5|2024-04-01|2024-04-15|A",
      "2024|4|1|10|7|101|b2|0.0|3.0|0.0|2024-04-01|2024-04-15|A",
      "2024|4|1|10|7|100||2.0|2.0|0.0|2024-04-16|2024-04-30|B"};
  for (int run = 1; run <= 2; ++run) {
    CloseData::Create()->SetDayAccount(Dsn(), 2024, 3, 2024, 4);
    EXPECT_EQ(Balance(), balance) << "run " << run;
    EXPECT_EQ(Detail(), detail) << "run " << run;
  }
}

TEST_F(DailyCostingTest, SetDayAccountWithoutCurrentMonthChangesNothing) {
  SeedMonthlyClose();
  Exec("DELETE FROM cbBalance WHERE FPeriod=3");
  const auto balance = Balance();
  const auto detail = Detail();
  CloseData::Create()->SetDayAccount(Dsn(), 2024, 3, 2024, 4);
  EXPECT_EQ(Balance(), balance);
  EXPECT_EQ(Detail(), detail);
}

// Without a CBPeriodDate row the cycle and window stay NULL; the window
// columns refuse NULL, so the call fails and everything rolls back.
TEST_F(DailyCostingTest, SetDayAccountWithoutPeriodDatesFailsAndRollsBack) {
  SeedMonthlyClose();
  Exec("DELETE FROM CBPeriodDate WHERE FPeriod=4");
  const auto balance = Balance();
  EXPECT_EQ(Raised([&] {
              CloseData::Create()->SetDayAccount(Dsn(), 2024, 3, 2024, 4);
            }).number(),
            err::kDbIntegrity);
  EXPECT_EQ(Balance(), balance);
}

TEST_F(DailyCostingTest, SetDayAccountFailingLateUndoesEarlierStatements) {
  SeedMonthlyClose();
  Exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON DayCost_CostObjDetail "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  const auto balance = Balance();
  EXPECT_THROW(CloseData::Create()->SetDayAccount(Dsn(), 2024, 3, 2024, 4),
               Error);
  EXPECT_EQ(Balance(), balance);
}

// Rebuilds types 3 and 4 inside the window only; the end date carries a time
// of day, which is dropped.
TEST_F(DailyCostingTest, SetEndBalRebuildsRowsLyingWhollyInsideTheWindow) {
  Exec(R"(
INSERT INTO DayCost_ObjCheck(FDeptID,FCostObjID,FQty,FPerBeginDate,FPerEndDate,
  FYearPeriodCycle) VALUES (1,10,5,'2024-03-01','2024-03-10','C1'),
  (1,11,0,'2024-03-01','2024-03-10','C1'), (1,12,-2,'2024-03-01','2024-03-10','C1'),
  (1,13,4,'2024-02-25','2024-03-10','C0'), (1,14,4,'2024-03-05','2024-03-11','C2');
INSERT INTO DayCost_Calinfo(FDeptID,FCostItemID,FCostObjID,FOnlineAmount,
  FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (1,7,10,30,'2024-03-01','2024-03-10','C1'), (1,0,10,5,'2024-03-01','2024-03-10','C1'),
  (1,8,10,0,'2024-03-01','2024-03-10','C1'), (1,7,13,9,'2024-02-25','2024-03-10','C0');
INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FOnlnQty,
  FEndBal,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (2024,3,1,0,10,0,8,0,3,'2024-03-01','2024-03-10','C1'),
  (2024,3,1,7,10,0,0,6,2,'2024-03-01','2024-03-10','C1'),
  (2024,3,1,7,10,2,0,0,1,'2024-03-01','2024-03-10','C1'),
  (2024,2,1,0,10,0,4,0,3,'2024-02-20','2024-03-10','C0');)");
  CloseData::Create()->DayCost_SetEndBal(Dsn(), 2024, 3, "ignored",
                                         Day(2024, 3, 1), Day(2024, 3, 10, 18));
  EXPECT_EQ(Balance(),
            (std::vector<std::string>{
                "2024|3|1|7|10|2.0|0.0|0.0|0.0|1|2024-03-01|2024-03-10|C1",
                "2024|2|1|0|10|0.0|0.0|4.0|0.0|3|2024-02-20|2024-03-10|C0",
                "2024|3|1|0|10|0.0|0.0|5.0|0.0|3|2024-03-01|2024-03-10|C1",
                "2024|3|1|7|10|0.0|0.0|0.0|30.0|4|2024-03-01|2024-03-10|C1"}));
}

// Carries the current window into the next one; the cycle code holds a
// quote, which arrives in the rows unchanged.
TEST_F(DailyCostingTest, SetBegBalCarriesCurrentWindowIntoNext) {
  Exec(R"(
INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FBegBal,
  FOnlnQty,FEndBal,FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (2024,3,1,0,10,0,0,5,0,3,'2024-03-01','2024-03-10','C1'),
  (2024,3,1,7,10,0,0,0,30,4,'2024-03-01','2024-03-10','C1'),
  (2024,3,1,0,11,0,0,6,0,3,'2024-02-25','2024-03-10','C0'),
  (2024,3,1,0,10,99,0,0,0,1,'2024-03-11','2024-03-20','C2'),
  (2024,3,1,7,10,0,98,0,0,2,'2024-03-11','2024-03-20','C2'),
  (2024,3,1,0,10,97,0,0,0,1,'2024-03-11','2024-03-31','M');
INSERT INTO DayCost_CalinfoDetail(FDeptID,FCostObjID,FCostItemID,FMaterielID,
  FBatchNo,FOnlineQty,FOnlineAmount,FPerBeginDate,FPerEndDate) VALUES
  (1,10,7,100,'b1',4,10,'2024-03-01','2024-03-10'),
  (1,10,7,101,'b2',0,3,'2024-03-01','2024-03-10'),
  (1,10,7,102,'b3',0,0,'2024-03-01','2024-03-10');
INSERT INTO DayCost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,
  FMaterielID,FQty,FSum,FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES
  (2024,3,1,10,7,100,1,1,'2024-03-11','2024-03-20','C2');)");
  auto period = FieldValueSet::Create();
  period->SetValue("CurYearPeriodCycle", Variant::Text("C1"));
  period->SetValue("CurBeginDate", Variant::Date(Day(2024, 3, 1)));
  period->SetValue("CurEndDate", Variant::Date(Day(2024, 3, 10)));
  period->SetValue("NextYearPeriodCycle", Variant::Text("C'2"));
  period->SetValue("NextBeginDate", Variant::Date(Day(2024, 3, 11)));
  period->SetValue("NextEndDate", Variant::Date(Day(2024, 3, 20, 23, 30)));
  CloseData::Create()->DayCost_SetBegBal(Dsn(), 2024, 4, period);
  EXPECT_EQ(Balance(),
            (std::vector<std::string>{
                "2024|3|1|0|10|5.0|0.0|0.0|0.0|1|2024-03-11|2024-03-20|C'2",
                "2024|3|1|0|10|97.0|0.0|0.0|0.0|1|2024-03-11|2024-03-31|M",
                "2024|3|1|7|10|0.0|30.0|0.0|0.0|2|2024-03-11|2024-03-20|C'2",
                "2024|3|1|0|11|0.0|0.0|6.0|0.0|3|2024-02-25|2024-03-10|C0",
                "2024|3|1|0|10|0.0|0.0|5.0|0.0|3|2024-03-01|2024-03-10|C1",
                "2024|3|1|7|10|0.0|0.0|0.0|30.0|4|2024-03-01|2024-03-10|C1"}));
  EXPECT_EQ(Detail(),
            (std::vector<std::string>{
                "2024|4|1|10|7|100|b1|4.0|10.0|2.5|2024-03-11|2024-03-20|C'2",
                "2024|4|1|10|7|101|b2|0.0|3.0|0.0|2024-03-11|2024-03-20|C'2"}));
}

}  // namespace
}  // namespace marl
