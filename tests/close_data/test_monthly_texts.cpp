// The exact texts one method of each family sends, as the trace records
// them. Execute calls are joined with "\n~~\n" in the expected literals.
#include <functional>
#include <string>
#include <vector>

#include "close_data/monthly_sql.h"
#include "test_monthly_fixture.h"

namespace marl::monthly_test {
namespace {

struct TextCase {
  const char* name;
  std::function<void(const std::string& dsn)> call;
  const char* expected;
};

std::string Joined(const std::vector<std::string>& texts) {
  std::string s;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) s += "\n~~\n";
    s += texts[i];
  }
  return s;
}

const std::vector<TextCase>& Cases() {
  static const std::vector<TextCase> cases = {
      {"SetBegBal across a year end",
       [](const std::string& dsn) {
         CloseData::Create()->SetBegBal(dsn, 2005, 12, 2006, 1);
       },
       " DELETE FROM cbBalance    WHERE FYear=2006\r\n AND FPeriod=1\r\n"
       " AND FTypeID=1 "
       "\n~~\n"
       "Insert Into cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,"
       "FTypeID)\r\nSELECT 2006,1,FDepID,FCostID,FProductID,FOnlnQty,1\r\n"
       " FROM cbBalance \r\n WHERE FYear=2005\r\n AND FPeriod=12\r\n"
       " AND FTypeID=3 "
       "\n~~\n"
       " DELETE FROM cbBalance    WHERE FYear=2006\r\n AND FPeriod=1\r\n"
       " AND FTypeID=2 "
       "\n~~\n"
       "Insert Into cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,"
       "FTypeID)\r\nSELECT 2006,1,FDepID,FCostID,FProductID,FEndBal,2\r\n"
       " FROM cbBalance \r\n WHERE FYear=2005\r\n AND FPeriod=12\r\n"
       " AND FTypeID=4 "
       "\n~~\n"
       " DELETE FROM cbCostObjDetail    WHERE FYear=2006\r\n AND FPeriod=1\r\n"
       "\n~~\n"
       " INSERT INTO cbCostObjDetail(FYear,FPeriod,FDepID,FCostObjID,"
       "FCostItemID,FMaterielID,FBatchNo,FQty,FSum)\r\n SELECT 2006,1,FDeptID"
       " , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  FOnlineQty,"
       "FOnlineAmount \r\n FROM cbCalinfoDetail \r\n WHERE FYear=2005\r\n"
       " AND FPeriod=12\r\n AND not(FOnlineQty=0 AND FOnlineAmount=0) "
       "\n~~\n"
       "Update cbCostObjDetail SET FPrice=FSum/FQty WHERE FQty<>0 AND "
       "FYear=2006\r\n AND FPeriod=1\r\n"},
      {"SetCurrentPeriod taking a close back",
       [](const std::string& dsn) {
         bool unclosed = true;
         CloseData::Create()->SetCurrentPeriod(dsn, 2005, 10, unclosed);
       },
       "UPDATE t_SystemProfile SET FValue = '2005' WHERE FCategory = 'CB' AND "
       "FKey = 'CurrentYear'"
       "\n~~\n"
       "UPDATE t_SystemProfile SET FValue = '10' WHERE FCategory = 'CB' AND "
       "FKey = 'CurrentPeriod'DELETE FROM cbBalance WHERE "
       "FYear+0.0001*FPeriod > 2005.001\r\n DELETE FROM cbBalance WHERE "
       "FYear= 2005 and FPeriod= 10 and FTypeID in (3,4) \r\nDELETE FROM "
       "cbCostObjDetail WHERE FYear+0.0001*FPeriod > 2005.001\r\n"},
      {"SetStdCostData",
       [](const std::string& dsn) {
         CloseData::Create()->SetStdCostData(dsn, 2005, 3, 2005, 4);
       },
       "Delete FROM CBStdSalaryRate WHERE FYear=2005 AND FPeriod=4\r\n"
       "Delete FROM CBStdStdManhour WHERE FYear=2005 AND FPeriod=4\r\n"
       "Delete FROM CBStdFloatMakeRate WHERE FYear=2005 AND FPeriod=4\r\n"
       "Delete FROM CBStdStdPrice WHERE FYear=2005 AND FPeriod=4\r\n"
       "Delete FROM CBStdfixedMakebudget WHERE FYear=2005 AND FPeriod=4\r\n"
       "Delete FROM CBStdBudgetOutput WHERE FYear=2005 AND FPeriod=4\r\n"
       "\n~~\n"
       "Insert INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID,FSalaryRate,"
       "FCostItemID)\r\n SELECT 2005,4,FCostObjID,FSalaryRate,FCostItemID "
       "FROM CBStdSalaryRate\r\n WHERE FYear=2005\r\n AND FPeriod=3\r\n"
       "Insert INTO CBStdStdManhour(FYear,FPeriod,FCostObjID,FStdManHour)\r\n"
       " SELECT 2005,4,FCostObjID,FStdManHour FROM CBStdStdManhour\r\n"
       " WHERE FYear=2005\r\n AND FPeriod=3\r\n"
       "Insert INTO CBStdFloatMakeRate(FYear,FPeriod,FCostObjID,"
       "FFloatMakeRate,FCostItemID)\r\n SELECT 2005,4,FCostObjID,"
       "FFloatMakeRate,FCostItemID FROM CBStdFloatMakeRate\r\n"
       " WHERE FYear=2005\r\n AND FPeriod=3\r\n"
       "Insert INTO CBStdStdPrice(FYear,FPeriod,FItemID,FStdPrice)\r\n"
       " SELECT 2005,4,FItemID,FStdPrice FROM CBStdStdPrice\r\n"
       " WHERE FYear=2005\r\n AND FPeriod=3\r\n"
       "Insert INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID,FDeptID,"
       "FFixedMakeBudget,FCostItemID)\r\n SELECT 2005,4,FCostObjID,FDeptID,"
       "FFixedMakeBudget,FCostItemID FROM CBStdfixedMakebudget\r\n"
       " WHERE FYear=2005\r\n AND FPeriod=3\r\n"
       "Insert INTO CBStdBudgetOutput(FYear,FPeriod,FCostObjID,FDeptID,"
       "FOutProduct)\r\n SELECT 2005,4,FCostObjID,FDeptID,FOutProduct FROM "
       "CBStdBudgetOutput\r\n WHERE FYear=2005\r\n AND FPeriod=3\r\n"},
      {"SetCostDeputyData",
       [](const std::string& dsn) {
         CloseData::Create()->SetCostDeputyData(dsn, 2005, 3, 2005, 4);
       },
       "Delete FROM CBDeputyInfo WHERE FYear=2005 AND FPeriod=4"
       "\n~~\n"
       "Insert INTO CBDeputyInfo(FYear,FPeriod,FCostItemID,FProductID,"
       "FAmount)\r\n SELECT 2005,4,FCostItemID,FProductID,FAmount  FROM "
       "CBDeputyInfo\r\n WHERE FYear=2005\r\n AND FPeriod=3"},
      {"SetCostRevertRealEndBal archiving",
       [](const std::string& dsn) {
         CloseData::Create()->SetCostRevertRealEndBal(dsn, 2005, 3, true);
       },
       "INSERT INTO CBCarriedCostRevertRealEndBal_History (FID, FYear,"
       "FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID, "
       "FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,"
       "FMatBatchNo, FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,"
       "FBranch) \r\n SELECT FID, FYear,FPeriod,FCostObjID,FProductID,"
       "FProdBatchNo,FSubCostItemID, FSubCostObjID,FSubProductID,"
       "FSubProdBatchNo,FCostItemID,FMaterielID,FMatBatchNo, FEndBalAmtRate,"
       "FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch \r\n"
       " FROM  CBCarriedCostRevertRealEndBal\r\n"
       " WHERE FYear=2005 and FPeriod=3\r\n"
       " Delete From CBCarriedCostRevertRealEndBal WHERE FYear=2005 and "
       "FPeriod=3"},
      {"SetCostRevertStd restoring",
       [](const std::string& dsn) {
         CloseData::Create()->SetCostRevertStd(dsn, 2005, 3, false);
       },
       "INSERT INTO CBCarriedCostRevertStdInfo ( FSchemeID,FYear,FPeriod,"
       "FCostObjID,FProductID,FProdBatchNo, FCostItemID,FMaterielID,"
       "FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch) "
       "\r\n SELECT  FSchemeID,FYear,FPeriod,FCostObjID,FProductID,"
       "FProdBatchNo, FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,"
       "FQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch \r\n"
       " FROM  CBCarriedCostRevertStdInfo_History\r\n"
       " WHERE FYear=2005 and FPeriod=3\r\n"
       " Delete From CBCarriedCostRevertStdInfo_History WHERE FYear=2005 and "
       "FPeriod=3"},
      {"EndHistoryData archiving",
       [](const std::string& dsn) {
         CloseData::Create()->EndHistoryData(dsn, 2005, 3, true);
       },
       "INSERT INTO cbMaterielInfo_History(FItemID,FYear,FPeriod,FCostObjID,"
       "FInterID,FEntryID,FStdID,FCostItemID,\r\n"
       "FStandarddata,FPrice,FQty,FAmount)\r\n"
       "SELECT FItemID,FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,"
       "FCostItemID,FStandarddata,FPrice,FQty,FAmount\r\n"
       "FROM cbMaterielInfo\r\n"
       "WHERE FYear=2005 AND FPeriod =3\r\n"
       "\r\n"
       "DELETE FROM cbMaterielInfo WHERE FYear=2005 AND FPeriod =3\r\n"
       "\r\n"
       "\n~~\n"
       "INSERT INTO cbExpenseDistributeInfo_History(FYear,FPeriod,FInterID,"
       "FCostObjID,FAmount,FCostItemID,FStandarddata,FStandardID)\r\n"
       "SELECT FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,"
       "FStandarddata,FStandardID\r\n"
       "FROM cbExpenseDistributeInfo\r\n"
       "WHERE FYear=2005 AND FPeriod =3\r\n"
       "\r\n"
       "DELETE FROM cbExpenseDistributeInfo WHERE FYear=2005 AND FPeriod =3\r\n"
       "\r\n"},
      {"UnCheckOnlineBalance",
       [](const std::string& dsn) {
         CloseData::Create()->UnCheckOnlineBalance(dsn, 2005, 3);
       },
       " Update CBOnInitBalance SET FChecked=0, FCheckMan=0,FCheckDate=null "
       "WHERE FChecked=1 AND FYear=2005 AND FPeriod=3\r\n"
       " Update CBCostObjAdjustDetail Set FChecked = 0 WHERE FChecked=1 AND "
       "FYear=2005 AND FPeriod=3\r\n"},
      {"CheckHaveRevert",
       [](const std::string& dsn) {
         CheckOutInfo::Create()->CheckHaveRevert(dsn, 2005, 3);
       },
       "SELECT top 1 FID FROM CBCarriedCostRevertRealEndBal WHERE FYear=2005 "
       "AND FPeriod=3\r\nUNION all \r\nSELECT top 1 FID FROM "
       "CBCarriedCostRevertRealEndStk WHERE FYear=2005 AND FPeriod=3\r\n"},
      {"CheckHasVoucher",
       [](const std::string& dsn) {
         CheckOutInfo::Create()->CheckHasVoucher(dsn, 2005, 3);
       },
       " SELECT count(*) FROM CBOnInitBalance WHERE FVchInterID<>0 AND "
       "FYear=2005 AND FPeriod=3\r\n"},
  };
  return cases;
}

TEST_F(MonthlyTest, EachFamilySendsItsExactTexts) {
  for (const TextCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> texts = Traced([&] { c.call(Dsn()); });
    EXPECT_EQ(Joined(texts), c.expected);
  }
}

}  // namespace
}  // namespace marl::monthly_test
