// What the monthly close steps do to the data: carry-forward, copies,
// taking a close back, history moves, check reset and the pre-close checks.
#include <functional>
#include <string>
#include <vector>

#include "marlcheckout/registry.h"
#include "marlcheckout/server.h"
#include "test_monthly_fixture.h"

namespace marl::monthly_test {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kBalanceOf =
    "SELECT FTypeID,FDepID,FCostID,FProductID,FQty,FBegBal,FOnlnQty,FEndBal "
    "FROM cbBalance WHERE FYear=%Y AND FPeriod=%P ORDER BY 1,2,3,4";

std::string Balance(int year, int period) {
  std::string q = kBalanceOf;
  q.replace(q.find("%Y"), 2, std::to_string(year));
  q.replace(q.find("%P"), 2, std::to_string(period));
  return q;
}

TEST_F(MonthlyTest, EndBalRecordsEndingRowsAndDropsStaleOnes) {
  Exec(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,"
      "FBegBal,FOnlnQty,FEndBal,FTypeID) VALUES"
      " (2005,3,1,0,10,7,0,0,0,1), (2005,3,1,5,10,0,50,0,0,2),"
      " (2005,3,1,0,10,0,0,9,0,3), (2005,3,1,5,10,0,0,0,90,4),"
      " (2005,4,1,0,10,0,0,9,0,3);");
  auto close = CloseData::Create();
  // No counted quantities and no in-process amounts: the old type 3 and 4
  // rows go, the beginning rows stay.
  close->SetEndBal(Dsn(), 2005, 3);
  EXPECT_EQ(Rows(Balance(2005, 3)),
            (Strings{"1|1|0|10|7.0|0.0|0.0|0.0", "2|1|5|10|0.0|50.0|0.0|0.0"}));

  Exec(
      "INSERT INTO cbCostObjCheck(FYear,FPeriod,FDeptID,FCostObjID,FQty) "
      "VALUES (2005,3,1,10,4), (2005,3,1,11,0), (2005,2,1,12,6);"
      "INSERT INTO cbCalinfo(FYear,FPeriod,FDeptID,FCostItemID,FCostObjID,"
      "FOnlineAmount) VALUES (2005,3,1,5,10,30), (2005,3,1,0,10,8),"
      " (2005,3,1,6,10,0), (2005,3,2,6,11,-2);");
  for (int run = 0; run < 2; ++run) close->SetEndBal(Dsn(), 2005, 3);
  EXPECT_EQ(Rows(Balance(2005, 3)),
            (Strings{"1|1|0|10|7.0|0.0|0.0|0.0", "2|1|5|10|0.0|50.0|0.0|0.0",
                     "3|1|0|10|0.0|0.0|4.0|0.0", "4|1|5|10|0.0|0.0|0.0|30.0",
                     "4|2|6|11|0.0|0.0|0.0|-2.0"}));
  EXPECT_EQ(Rows(Balance(2005, 4)), (Strings{"3|1|0|10|0.0|0.0|9.0|0.0"}));
}

TEST_F(MonthlyTest, BegBalOpensTheNextPeriodAcrossAYearEnd) {
  Exec(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,"
      "FBegBal,FOnlnQty,FEndBal,FTypeID) VALUES"
      " (2005,12,1,0,10,0,0,4,0,3), (2005,12,1,5,10,0,0,0,30,4),"
      " (2006,1,9,0,99,1,0,0,0,1), (2006,1,9,5,99,0,2,0,0,2),"
      " (2006,1,9,0,99,0,0,3,0,3);"
      "INSERT INTO cbCalinfoDetail(FYear,FPeriod,FDeptID,FCostObjID,"
      "FCostItemID,FMaterielID,FBatchNo,FOnlineQty,FOnlineAmount) VALUES"
      " (2005,12,1,10,5,700,'B1',4,10), (2005,12,1,10,5,701,'',0,6),"
      " (2005,12,1,10,5,702,'',0,0), (2005,11,1,10,5,703,'',1,1);"
      "INSERT INTO cbCostObjDetail(FYear,FPeriod,FDepID,FCostObjID,"
      "FCostItemID,FMaterielID,FQty,FSum) VALUES (2006,1,9,99,5,800,1,1);");
  auto close = CloseData::Create();
  for (int run = 0; run < 2; ++run) close->SetBegBal(Dsn(), 2005, 12, 2006, 1);
  // Types 1 and 2 replaced; the next period's own type 3 row untouched.
  EXPECT_EQ(Rows(Balance(2006, 1)),
            (Strings{"1|1|0|10|4.0|0.0|0.0|0.0", "2|1|5|10|0.0|30.0|0.0|0.0",
                     "3|9|0|99|0.0|0.0|3.0|0.0"}));
  EXPECT_EQ(Rows("SELECT FYear,FPeriod,FDepID,FCostObjID,FCostItemID,"
                 "FMaterielID,FBatchNo,FQty,FSum,FPrice FROM cbCostObjDetail "
                 "ORDER BY FMaterielID"),
            (Strings{"2006|1|1|10|5|700|B1|4.0|10.0|2.5",
                     "2006|1|1|10|5|701||0.0|6.0|0.0"}));
}

TEST_F(MonthlyTest, SetCurrentPeriodTakesACloseBackAcrossAYearEnd) {
  Exec(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FTypeID)"
      " VALUES (2005,10,1,0,1,3), (2005,11,1,0,1,1), (2005,11,1,5,1,2),"
      " (2005,11,1,0,1,3), (2005,11,1,5,1,4), (2005,12,1,0,1,1),"
      " (2006,1,1,5,1,2), (2004,12,1,0,1,3);"
      "INSERT INTO cbCostObjDetail(FYear,FPeriod,FMaterielID) VALUES"
      " (2005,11,1), (2005,12,2), (2006,1,3), (2006,2,4);");
  const std::string everything =
      "SELECT FYear||'/'||FPeriod||':'||FTypeID FROM cbBalance ORDER BY "
      "FYear,FPeriod,FTypeID";
  const Strings all = Rows(everything);

  // Without the flag (and with it False): only the profile moves.
  RegisterComponent();
  auto by_name = Registry::Instance().Create(CloseData::kProgId);
  by_name->Invoke("SetCurrentPeriod",
                  {Variant::Text(Dsn()), Variant::I2(2005), Variant::I2(11)});
  bool unclosed = false;
  CloseData::Create()->SetCurrentPeriod(Dsn(), 2005, 11, unclosed);
  EXPECT_EQ(Rows(everything), all);
  EXPECT_EQ(Rows("SELECT FKey||'='||FValue FROM t_SystemProfile WHERE "
                 "FCategory='CB' ORDER BY FKey"),
            (Strings{"CurrentPeriod=11", "CurrentYear=2005"}));

  unclosed = true;
  CloseData::Create()->SetCurrentPeriod(Dsn(), 2005, 11, unclosed);
  EXPECT_EQ(Rows(everything),
            (Strings{"2004/12:3", "2005/10:3", "2005/11:1", "2005/11:2"}));
  EXPECT_EQ(Rows("SELECT FMaterielID FROM cbCostObjDetail"), (Strings{"1"}));
}

// A table copied into the next period: its value columns and two rows of
// values for them.
struct CopyCase {
  const char* table;
  const char* columns;
  const char* row_a;
  const char* row_b;
};

const CopyCase kCopyTables[] = {
    {"CBRationStandardInfo", "FDeptID,FCostObjID,FStandardID,FCostItemID,FQty",
     "1,2,3,4,5.5", "6,7,8,9,10.5"},
    {"cbCostTypeInfo", "FCostTypeID,FCostObjID,FCostItemID,FPrice", "1,2,3,4.5",
     "5,6,7,8.5"},
    {"CBSortStandardInfo",
     "FDeptID,FCostObjID,FStandardID,FCostItemID,FProductID,FQty",
     "1,2,3,4,5,6.5", "7,8,9,10,11,12.5"},
    {"CBDeputyInfo", "FCostItemID,FProductID,FAmount", "1,2,3.5", "4,5,6.5"},
    {"CBStdSalaryRate", "FCostObjID,FSalaryRate,FCostItemID", "1,2.5,3",
     "4,5.5,6"},
    {"CBStdStdManhour", "FCostObjID,FStdManHour", "1,2.5", "3,4.5"},
    {"CBStdFloatMakeRate", "FCostObjID,FFloatMakeRate,FCostItemID", "1,2.5,3",
     "4,5.5,6"},
    {"CBStdStdPrice", "FItemID,FStdPrice", "1,2.5", "3,4.5"},
    {"CBStdfixedMakebudget", "FCostObjID,FDeptID,FFixedMakeBudget,FCostItemID",
     "1,2,3.5,4", "5,6,7.5,8"},
    {"CBStdBudgetOutput", "FCostObjID,FDeptID,FOutProduct", "1,2,3.5",
     "4,5,6.5"},
};

TEST_F(MonthlyTest, CopiesReplaceTheNextPeriodAndRepeatIdempotently) {
  for (const CopyCase& c : kCopyTables) {
    const std::string insert = std::string("INSERT INTO ") + c.table +
                               "(FYear,FPeriod," + c.columns + ") VALUES ";
    // Closing period 2005/12: rows a and b; next period 2006/1: a stale b;
    // another period: a.
    Exec(insert + "(2005,12," + c.row_a + "),(2005,12," + c.row_b +
         "),(2006,1," + c.row_b + "),(2005,11," + c.row_a + ")");
  }
  auto close = CloseData::Create();
  for (int run = 0; run < 2; ++run) {
    close->SetStandardData(Dsn(), 2005, 12, 2006, 1);
    close->SetCostTypeData(Dsn(), 2005, 12, 2006, 1);
    close->SetCostSortData(Dsn(), 2005, 12, 2006, 1);
    close->SetCostDeputyData(Dsn(), 2005, 12, 2006, 1);
    close->SetStdCostData(Dsn(), 2005, 12, 2006, 1);
  }
  for (const CopyCase& c : kCopyTables) {
    SCOPED_TRACE(c.table);
    const std::string select = std::string("SELECT ") + c.columns + " FROM " +
                               c.table + " WHERE FYear=%d AND FPeriod=%d" +
                               " ORDER BY 1";
    auto of = [&](int y, int p) {
      std::string q = select;
      q.replace(q.find("%d"), 2, std::to_string(y));
      q.replace(q.find("%d"), 2, std::to_string(p));
      return Rows(q);
    };
    EXPECT_EQ(of(2006, 1), of(2005, 12));
    EXPECT_EQ(of(2006, 1).size(), 2u);
    EXPECT_EQ(of(2005, 11).size(), 1u);
  }
}

TEST_F(MonthlyTest, CopyFromAnEmptyPeriodClearsTheNextPeriod) {
  Exec(
      "INSERT INTO CBDeputyInfo(FYear,FPeriod,FCostItemID) VALUES (2005,4,1);"
      "INSERT INTO CBStdBudgetOutput(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,4,1);");
  auto close = CloseData::Create();
  close->SetCostDeputyData(Dsn(), 2005, 3, 2005, 4);
  close->SetStdCostData(Dsn(), 2005, 3, 2005, 4);
  EXPECT_TRUE(Rows("SELECT * FROM CBDeputyInfo").empty());
  EXPECT_TRUE(Rows("SELECT * FROM CBStdBudgetOutput").empty());
}

// A table moved between its working and history twins.
struct MoveCase {
  const char* table;
  const char* id;       // identity column, or "" when none
  const char* columns;  // every other column
  std::function<void(CloseData&, const std::string&, bool)> move;
};

TEST_F(MonthlyTest, ArchivingThenRestoringKeepsRowsButTheIdentity) {
  const MoveCase cases[] = {
      {"CBCarriedCostRevertStdInfo", "FID",
       "FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,"
       "FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,"
       "FDispLayer,FIsLeaf,FBranch",
       [](CloseData& c, const std::string& dsn, bool end) {
         c.SetCostRevertStd(dsn, 2005, 3, end);
       }},
      {"CBCarriedCostRevertRealEndStk", "FID",
       "FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FCostItemID,"
       "FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,"
       "FDispLayer,FIsLeaf,FBranch",
       [](CloseData& c, const std::string& dsn, bool end) {
         c.SetCostRevertRealEndStk(dsn, 2005, 3, end);
       }},
      {"CBCarriedCostRevertRealEndBal", "FID",
       "FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID,"
       "FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,"
       "FMatBatchNo,FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,"
       "FBranch",
       [](CloseData& c, const std::string& dsn, bool end) {
         c.SetCostRevertRealEndBal(dsn, 2005, 3, end);
       }},
      {"cbMaterielInfo", "FItemID",
       "FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,"
       "FStandarddata,FPrice,FQty,FAmount",
       [](CloseData& c, const std::string& dsn, bool end) {
         EXPECT_FALSE(c.EndMatDistributeData(dsn, 2005, 3, end));
       }},
      {"cbExpenseDistributeInfo", "",
       "FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,"
       "FStandardID",
       [](CloseData& c, const std::string& dsn, bool end) {
         EXPECT_FALSE(c.EndExpDistributeData(dsn, 2005, 3, end));
       }},
  };
  auto close = CloseData::Create();
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string working = c.table;
    const std::string history = working + "_History";
    // Three rows of 2005/3 and one of 2005/4, every column with its own
    // value (FYear and FPeriod are set afterwards).
    std::string values;
    int n = 0;
    for (const char* p = c.columns; *p; ++p) n += (*p == ',');
    for (int row = 0; row < 4; ++row) {
      values += row ? ",(" : "(";
      for (int col = 0; col <= n; ++col) {
        values += (col ? "," : "") + std::to_string(100 * row + col + 1);
      }
      values += ")";
    }
    Exec("INSERT INTO " + working + "(" + c.columns + ") VALUES " + values +
         "; UPDATE " + working + " SET FYear=2005, FPeriod=3;" + " UPDATE " +
         working + " SET FPeriod=4 WHERE FCostObjID>300;");
    const std::string ordered = std::string(" ORDER BY ") + c.columns;
    const std::string id_and = *c.id ? std::string(c.id) + "," : "";
    const Strings before =
        Rows("SELECT " + id_and + c.columns + " FROM " + working + ordered);
    const Strings values_before =
        Rows(std::string("SELECT ") + c.columns + " FROM " + working + ordered);

    c.move(*close, Dsn(), true);
    // Only 2005/3 moved, identity and all.
    EXPECT_EQ(Rows("SELECT FPeriod FROM " + working), (Strings{"4"}));
    Strings archived = before;
    archived.pop_back();  // the 2005/4 row sorts last
    EXPECT_EQ(
        Rows("SELECT " + id_and + c.columns + " FROM " + history + ordered),
        archived);

    c.move(*close, Dsn(), false);
    EXPECT_TRUE(Rows("SELECT * FROM " + history).empty());
    EXPECT_EQ(
        Rows(std::string("SELECT ") + c.columns + " FROM " + working + ordered),
        values_before);
    if (*c.id) {
      // The restored rows got new identities from the working table.
      EXPECT_NE(
          Rows("SELECT " + id_and + c.columns + " FROM " + working + ordered),
          before);
    }
  }
}

TEST_F(MonthlyTest, EndHistoryDataMovesBothDistributionsAndAnswersFalse) {
  Exec(
      "INSERT INTO cbMaterielInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,1),(2005,4,2);"
      "INSERT INTO cbExpenseDistributeInfo(FYear,FPeriod,FCostObjID) VALUES "
      "(2005,3,3);");
  auto close = CloseData::Create();
  EXPECT_FALSE(close->EndHistoryData(Dsn(), 2005, 3, true));
  EXPECT_EQ(Rows("SELECT FCostObjID FROM cbMaterielInfo_History UNION ALL "
                 "SELECT FCostObjID FROM cbExpenseDistributeInfo_History"),
            (Strings{"1", "3"}));
  EXPECT_FALSE(close->EndHistoryData(Dsn(), 2005, 3, false));
  EXPECT_EQ(Rows("SELECT FCostObjID FROM cbMaterielInfo UNION ALL SELECT "
                 "FCostObjID FROM cbExpenseDistributeInfo ORDER BY 1"),
            (Strings{"1", "2", "3"}));
}

TEST_F(MonthlyTest, UnCheckClearsOnlyThePeriodsCheckedMarks) {
  Exec(
      "INSERT INTO CBOnInitBalance(FYear,FPeriod,FCostObjID,FChecked,"
      "FCheckMan,FCheckDate) VALUES (2005,3,1,1,7,'2005-03-31'),"
      " (2005,3,2,0,7,'2005-03-30'), (2005,4,3,1,7,'2005-04-30');"
      "INSERT INTO CBCostObjAdjustDetail(FYear,FPeriod,FCostObjID,FChecked) "
      "VALUES (2005,3,1,1), (2005,4,2,1);");
  CloseData::Create()->UnCheckOnlineBalance(Dsn(), 2005, 3);
  EXPECT_EQ(Rows("SELECT FCostObjID,FChecked,FCheckMan,FCheckDate FROM "
                 "CBOnInitBalance ORDER BY 1"),
            (Strings{"1|0|0|NULL", "2|0|7|2005-03-30", "3|1|7|2005-04-30"}));
  EXPECT_EQ(Rows("SELECT FCostObjID,FChecked FROM CBCostObjAdjustDetail "
                 "ORDER BY 1"),
            (Strings{"1|0", "2|1"}));
}

TEST_F(MonthlyTest, PreCloseChecksAnswerFromThePeriodsRows) {
  auto info = CheckOutInfo::Create();
  auto voucher = [&] { return info->CheckHasVoucher(Dsn(), 2005, 3); };
  auto checked = [&] { return info->HasCheckedOnlineBalance(Dsn(), 2005, 3); };
  auto revert = [&] { return info->CheckHaveRevert(Dsn(), 2005, 3); };

  EXPECT_FALSE(voucher());
  EXPECT_FALSE(checked());
  EXPECT_FALSE(revert());

  Exec(
      "INSERT INTO CBOnInitBalance(FYear,FPeriod,FVchInterID,FChecked) VALUES"
      " (2005,3,0,0), (2005,4,9,1);"
      "INSERT INTO CBCarriedCostRevertRealEndBal(FYear,FPeriod) VALUES "
      "(2005,4);");
  EXPECT_FALSE(voucher());
  EXPECT_FALSE(checked());
  EXPECT_FALSE(revert());

  Exec(
      "INSERT INTO CBOnInitBalance(FYear,FPeriod,FVchInterID) VALUES "
      "(2005,3,12)");
  EXPECT_TRUE(voucher());
  EXPECT_FALSE(checked());
  Exec("INSERT INTO CBOnInitBalance(FYear,FPeriod,FChecked) VALUES (2005,3,1)");
  EXPECT_TRUE(checked());

  Exec(
      "INSERT INTO CBCarriedCostRevertRealEndStk(FYear,FPeriod) VALUES "
      "(2005,3),(2005,3)");
  EXPECT_TRUE(revert());
  Exec(
      "DELETE FROM CBCarriedCostRevertRealEndStk;"
      "INSERT INTO CBCarriedCostRevertRealEndBal(FYear,FPeriod) VALUES "
      "(2005,3)");
  EXPECT_TRUE(revert());
}

}  // namespace
}  // namespace marl::monthly_test
