// What the monthly close steps do to the data, where a case is generated per
// table: the copies into the next period and the moves to and from history
// (the other steps: test_behaviour.cpp).
#include <functional>
#include <string>
#include <vector>

#include "test_monthly_fixture.h"

namespace marl::monthly_test {
namespace {

using Strings = std::vector<std::string>;

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

}  // namespace
}  // namespace marl::monthly_test
