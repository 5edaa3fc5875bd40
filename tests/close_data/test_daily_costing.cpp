// A daily-costing step failing late undoes its earlier statements (the other
// daily-costing cases: test_behaviour.cpp).
#include <string>
#include <vector>

#include "marlcheckout/close_data.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "support/erp_fixture.h"

namespace marl {
namespace {

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

}  // namespace
}  // namespace marl
