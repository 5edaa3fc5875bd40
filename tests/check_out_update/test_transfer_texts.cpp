// The exact statement texts each public method of CheckOutUpdate sends, in
// order, as the data layer's trace records them.
#include <gtest/gtest.h>

#include <string>

#include "marlcheckout/check_out_update.h"
#include "test_transfer_fixture.h"

namespace marl::transfer_test {
namespace {

class TransferTextTest : public TransferDbTest {
 protected:
  void SetUp() override {
    TransferDbTest::SetUp();
    Exec(
        "UPDATE t_SystemProfile SET FValue='10' WHERE FKey='CurrentPeriod';"
        "INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES "
        "('D1', 'Dept 1', 0), ('D2', 'Dept 2', 0);"
        "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
        "FProductID, FEndBal) VALUES (2005, 10, 'C1', 'D1', 'P1', 5)");
  }
};

TEST_F(TransferTextTest, Delete) {
  auto filter = FieldValueSet::Create();
  filter->SetValue("FYear", Variant::I4(2005));
  filter->SetValue("FExpDeptID", Variant::Text("D1"));
  StartTrace();
  CheckOutUpdate::Create()->Delete(Dsn(), filter);
  EXPECT_EQ(TraceTexts(),
            "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
            "DELETE FROM CB_CostBalance WHERE  FYear=? AND FExpDeptID=? \n");
}

TEST_F(TransferTextTest, TransPeriod) {
  Variant tvec, batch;
  int32_t y = 0, p = 0, ny = 0, np = 0;
  StartTrace();
  CheckOutUpdate::Create()->TransPeriod(Dsn(), tvec, batch, y, p, ny, np);
  EXPECT_EQ(
      TraceTexts(),
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SELECT b.FCostObjID AS FID,b.FComQty,c.FComedQty FROM CB_BmProduct "
      "a,CB_BmCostObj_Product b,(SELECT FProductID,SUM(FQty) AS FComedQty  "
      "FROM CB_CompleteProductInfo  WHERE FYear + 0.0001 * FPeriod <=2005.001 "
      "GROUP BY FProductID)c WHERE a.FType = 3 AND a.FID = c.FProductID AND "
      "a.FID = b.FCostObjID ORDER BY FID\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SELECT * FROM CB_BmExpDept WHERE FType=0 ORDER BY FID\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SELECT * FROM CB_CostBalance WHERE FYear=? AND FPeriod=? AND "
      "FExpDeptID IN (?,?) ORDER BY FExpDeptID,FProductID,FCostID\n");
}

TEST_F(TransferTextTest, SetSystemProfile) {
  auto update = CheckOutUpdate::Create();
  auto filter = FieldValueSet::Create();
  filter->SetValue("FYear", Variant::I4(1999));
  update->Delete(Dsn(), filter);
  StartTrace();
  update->SetSystemProfile("CurrentYear", "2006");
  EXPECT_EQ(TraceTexts(),
            "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
            "UPDATE t_SystemProfile SET FValue = '2006' WHERE FCategory = 'CB' "
            "AND FKey = 'CurrentYear'\n");
}

TEST_F(TransferTextTest, UpdateCostBalance) {
  StartTrace();
  CheckOutUpdate::Create()->UpdateCostBalance(Dsn());
  EXPECT_EQ(
      TraceTexts(),
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SELECT b.FCostObjID AS FID,b.FComQty,c.FComedQty FROM CB_BmProduct "
      "a,CB_BmCostObj_Product b,(SELECT FProductID,SUM(FQty) AS FComedQty  "
      "FROM CB_CompleteProductInfo  WHERE FYear + 0.0001 * FPeriod <=2005.001 "
      "GROUP BY FProductID)c WHERE a.FType = 3 AND a.FID = c.FProductID AND "
      "a.FID = b.FCostObjID ORDER BY FID\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "Select FValue From t_SystemProfile Where FCategory = ? And FKey = ?\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SELECT * FROM CB_BmExpDept WHERE FType=0 ORDER BY FID\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SELECT * FROM CB_CostBalance WHERE FYear=? AND FPeriod=? AND "
      "FExpDeptID=? ORDER BY FProductID,FCostID\n"
      "SET TRANSACTION ISOLATION LEVEL READ COMMITTED\n"
      "SELECT * FROM CB_CostBalance WHERE FYear=? AND FPeriod=? AND "
      "FExpDeptID=? ORDER BY FProductID,FCostID\n"
      "DELETE FROM CB_CostBalance WHERE FYear=2005 AND FPeriod=10\n"
      "DELETE FROM CB_CostBalance WHERE FYear=2005 AND FPeriod=11\n"
      "SELECT FYear,FPeriod,FCostID,FExpDeptID,FProductID FROM CB_CostBalance "
      "WHERE  FYear=? AND FPeriod=? AND FCostID=? AND FExpDeptID=? AND "
      "FProductID=? \n"
      "INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FCostName,FExpDeptID,"
      "FExpDeptName,FProductID,FProductName,FExpenseID,FBegBal,FQty,FAccount,"
      "FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,FOnlineJorQty,FBatch)"
      "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)\n"
      "SELECT FYear,FPeriod,FCostID,FExpDeptID,FProductID FROM CB_CostBalance "
      "WHERE  FYear=? AND FPeriod=? AND FCostID=? AND FExpDeptID=? AND "
      "FProductID=? \n"
      "INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FCostName,FExpDeptID,"
      "FExpDeptName,FProductID,FProductName,FExpenseID,FBegBal,FQty,FAccount,"
      "FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,FOnlineJorQty,FBatch)"
      "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)\n");
}

}  // namespace
}  // namespace marl::transfer_test
