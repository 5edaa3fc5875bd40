// Statement texts of the monthly close steps. The texts are the database's
// contract with the rest of the ERP and are kept byte for byte, including
// their blanks and line breaks.
//
// SetStdCostData: the clearing batch clears all six tables it copies, not
// only the first four, so that running the copy twice for the same next
// period gives the same rows as running it once. The two extra deletions
// follow the other four in the same form.
#include "close_data/monthly_sql.h"

#include <string_view>

#include "common/globals.h"

namespace marl::close_data {
namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string Num(int32_t v) { return std::to_string(v); }

struct CopyShape {
  std::string_view clear;  // ends with "WHERE FYear="
  std::string_view head;   // "Insert INTO t(...)"
  std::string_view tail;   // copied columns and " FROM t"
};

CopyShape SingleShape(CopyTable table) {
  switch (table) {
    case CopyTable::kRationStandard:
      return {"Delete FROM CBRationStandardInfo WHERE FYear=",
              "Insert INTO CBRationStandardInfo(FYear,FPeriod,FDeptID,"
              "FCostObjID,FStandardID,FCostItemID,FQty)",
              ",FDeptID,FCostObjID,FStandardID,FCostItemID,FQty  FROM "
              "CBRationStandardInfo"};
    case CopyTable::kCostType:
      return {"Delete FROM cbCostTypeInfo WHERE FYear=",
              "Insert INTO cbCostTypeInfo(FYear,FPeriod,FCostTypeID,"
              "FCostObjID,FCostItemID,FPrice)",
              ",FCostTypeID,FCostObjID,FCostItemID,FPrice  FROM "
              "cbCostTypeInfo"};
    case CopyTable::kSortStandard:
      return {"Delete FROM CBSortStandardInfo WHERE FYear=",
              "Insert INTO CBSortStandardInfo(FYear,FPeriod,FDeptID,"
              "FCostObjID,FStandardID,FCostItemID,FProductID,FQty)",
              ",FDeptID,FCostObjID,FStandardID,FCostItemID,FProductID,FQty  "
              "FROM CBSortStandardInfo"};
    case CopyTable::kDeputy:
      break;
  }
  return {"Delete FROM CBDeputyInfo WHERE FYear=",
          "Insert INTO CBDeputyInfo(FYear,FPeriod,FCostItemID,FProductID,"
          "FAmount)",
          ",FCostItemID,FProductID,FAmount  FROM CBDeputyInfo"};
}

constexpr CopyShape kStdCost[] = {
    {"Delete FROM CBStdSalaryRate WHERE FYear=",
     "Insert INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID,FSalaryRate,"
     "FCostItemID)",
     ",FCostObjID,FSalaryRate,FCostItemID FROM CBStdSalaryRate"},
    {"Delete FROM CBStdStdManhour WHERE FYear=",
     "Insert INTO CBStdStdManhour(FYear,FPeriod,FCostObjID,FStdManHour)",
     ",FCostObjID,FStdManHour FROM CBStdStdManhour"},
    {"Delete FROM CBStdFloatMakeRate WHERE FYear=",
     "Insert INTO CBStdFloatMakeRate(FYear,FPeriod,FCostObjID,"
     "FFloatMakeRate,FCostItemID)",
     ",FCostObjID,FFloatMakeRate,FCostItemID FROM CBStdFloatMakeRate"},
    {"Delete FROM CBStdStdPrice WHERE FYear=",
     "Insert INTO CBStdStdPrice(FYear,FPeriod,FItemID,FStdPrice)",
     ",FItemID,FStdPrice FROM CBStdStdPrice"},
    {"Delete FROM CBStdfixedMakebudget WHERE FYear=",
     "Insert INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID,FDeptID,"
     "FFixedMakeBudget,FCostItemID)",
     ",FCostObjID,FDeptID,FFixedMakeBudget,FCostItemID FROM "
     "CBStdfixedMakebudget"},
    {"Delete FROM CBStdBudgetOutput WHERE FYear=",
     "Insert INTO CBStdBudgetOutput(FYear,FPeriod,FCostObjID,FDeptID,"
     "FOutProduct)",
     ",FCostObjID,FDeptID,FOutProduct FROM CBStdBudgetOutput"},
};

// The copy of one table: head, select of the next period and the copied
// columns, restricted to the closing period.
std::string CopyPart(const CopyShape& shape, int16_t year, int16_t period,
                     int16_t next_year, int16_t next_period) {
  std::string s;
  s.append(shape.head).append(kCrLf);
  s.append(" SELECT ").append(Num(next_year)).append(",");
  s.append(Num(next_period)).append(shape.tail).append(kCrLf);
  s.append(" WHERE FYear=").append(Num(year)).append(kCrLf);
  s.append(" AND FPeriod=").append(Num(period));
  return s;
}

std::string ClearPart(const CopyShape& shape, int16_t next_year,
                      int16_t next_period) {
  std::string s(shape.clear);
  s.append(Num(next_year)).append(" AND FPeriod=").append(Num(next_period));
  return s;
}

struct RevertShape {
  std::string_view working;
  std::string_view insert_columns;  // after [FID], ends with ") "
  std::string_view select_columns;  // after [FID], ends with " "
};

RevertShape RevertOf(RevertTable table) {
  switch (table) {
    case RevertTable::kStd:
      return {"CBCarriedCostRevertStdInfo",
              " FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,"
              " FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,"
              "FLayer,FDispLayer,FIsLeaf,FBranch) ",
              " FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,"
              " FCostItemID,FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,"
              "FLayer,FDispLayer,FIsLeaf,FBranch "};
    case RevertTable::kRealEndStk:
      return {"CBCarriedCostRevertRealEndStk",
              " FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,"
              " FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,"
              "FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch) ",
              " FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,"
              " FCostItemID,FMaterielID,FMatBatchNo,FEndStkAmtRate,"
              "FEndStkQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch "};
    case RevertTable::kRealEndBal:
      break;
  }
  return {"CBCarriedCostRevertRealEndBal",
          " FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID,"
          " FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,"
          "FMaterielID,FMatBatchNo,"
          " FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch) ",
          " FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID,"
          " FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,"
          "FMaterielID,FMatBatchNo,"
          " FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,FBranch "};
}

// " WHERE FYear=y AND FPeriod =p" of the distribution moves, without the
// leading blank.
std::string DistributeWhere(int32_t year, int32_t period) {
  return "FYear=" + Num(year) + " AND FPeriod =" + Num(period);
}

}  // namespace

std::vector<std::string> EndBalTexts(int16_t year, int16_t period) {
  const std::string y = Num(year);
  const std::string p = Num(period);
  std::vector<std::string> t;
  t.push_back("Delete cbBalance WHERE FOnlnQty<>0 AND FYear=" + y +
              " AND FPeriod=" + p);
  t.push_back(
      "INSERT INTO "
      "cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,FTypeID)"
      "\r\n SELECT " +
      y + "," + p + ",FDeptID,0,FCostObjID,FQty,3 FROM cbCostObjCheck" +
      "\r\n WHERE FYear=" + y + " AND FPeriod=" + p + "\r\n AND FQty>0 ");
  t.push_back("Delete cbBalance WHERE FEndBal<>0 AND FYear=" + y +
              " AND FPeriod=" + p);
  t.push_back(
      "INSERT INTO "
      "cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,FTypeID)"
      "\r\n SELECT " +
      y + "," + p +
      ",FDeptID,FCostItemID,FCostObjID,FOnlineAmount,4 FROM cbCalinfo" +
      "\r\n WHERE FYear=" + y + " AND FPeriod=" + p +
      "\r\n AND FCostItemID<>0 AND FOnlineAmount<>0");
  return t;
}

std::vector<std::string> BegBalTexts(int16_t year, int16_t period,
                                     int16_t next_year, int16_t next_period) {
  const std::string y = Num(year);
  const std::string p = Num(period);
  const std::string ny = Num(next_year);
  const std::string np = Num(next_period);
  std::vector<std::string> t;
  t.push_back(" DELETE FROM cbBalance    WHERE FYear=" + ny +
              "\r\n AND FPeriod=" + np + "\r\n AND FTypeID=1 ");
  t.push_back(
      "Insert Into "
      "cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID)"
      "\r\nSELECT " +
      ny + "," + np + ",FDepID,FCostID,FProductID,FOnlnQty,1" +
      "\r\n FROM cbBalance \r\n WHERE FYear=" + y + "\r\n AND FPeriod=" + p +
      "\r\n AND FTypeID=3 ");
  t.push_back(" DELETE FROM cbBalance    WHERE FYear=" + ny +
              "\r\n AND FPeriod=" + np + "\r\n AND FTypeID=2 ");
  t.push_back(
      "Insert Into "
      "cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,FTypeID)"
      "\r\nSELECT " +
      ny + "," + np + ",FDepID,FCostID,FProductID,FEndBal,2" +
      "\r\n FROM cbBalance \r\n WHERE FYear=" + y + "\r\n AND FPeriod=" + p +
      "\r\n AND FTypeID=4 ");
  t.push_back(" DELETE FROM cbCostObjDetail    WHERE FYear=" + ny +
              "\r\n AND FPeriod=" + np + "\r\n");
  t.push_back(
      " INSERT INTO "
      "cbCostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,"
      "FMaterielID,FBatchNo,FQty,FSum)"
      "\r\n SELECT " +
      ny + "," + np +
      ",FDeptID , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  "
      "FOnlineQty,FOnlineAmount " +
      "\r\n FROM cbCalinfoDetail \r\n WHERE FYear=" + y + "\r\n AND FPeriod=" +
      p + "\r\n AND not(FOnlineQty=0 AND FOnlineAmount=0) ");
  t.push_back(
      "Update cbCostObjDetail SET FPrice=FSum/FQty WHERE FQty<>0 AND "
      "FYear=" +
      ny + "\r\n AND FPeriod=" + np + "\r\n");
  return t;
}

std::vector<std::string> CurrentPeriodTexts(int16_t next_year,
                                            int16_t next_period,
                                            bool unclosed) {
  const std::string ny = Num(next_year);
  const std::string np = Num(next_period);
  std::vector<std::string> t;
  t.push_back("UPDATE t_SystemProfile SET FValue = '" + ny +
              "' WHERE FCategory = 'CB' AND FKey = 'CurrentYear'");
  std::string second = "UPDATE t_SystemProfile SET FValue = '" + np +
                       "' WHERE FCategory = 'CB' AND FKey = 'CurrentPeriod'";
  if (unclosed) {
    const std::string key = common::PeriodKeyText(next_year, next_period);
    second += "DELETE FROM cbBalance WHERE FYear+0.0001*FPeriod > " + key +
              "\r\n DELETE FROM cbBalance WHERE FYear= " + ny +
              " and FPeriod= " + np + " and FTypeID in (3,4) " +
              "\r\nDELETE FROM cbCostObjDetail WHERE FYear+0.0001*FPeriod > " +
              key + "\r\n";
  }
  t.push_back(std::move(second));
  return t;
}

std::vector<std::string> SingleCopyTexts(CopyTable table, int16_t year,
                                         int16_t period, int16_t next_year,
                                         int16_t next_period) {
  const CopyShape shape = SingleShape(table);
  return {ClearPart(shape, next_year, next_period),
          CopyPart(shape, year, period, next_year, next_period)};
}

std::vector<std::string> StdCostTexts(int16_t year, int16_t period,
                                      int16_t next_year, int16_t next_period) {
  std::string clear;
  std::string copy;
  for (const CopyShape& shape : kStdCost) {
    clear.append(ClearPart(shape, next_year, next_period)).append(kCrLf);
    copy.append(CopyPart(shape, year, period, next_year, next_period))
        .append(kCrLf);
  }
  return {clear, copy};
}

std::string RevertWorkingTable(RevertTable table) {
  return std::string(RevertOf(table).working);
}

std::string CostRevertText(RevertTable table, int32_t year, int32_t period,
                           bool to_history) {
  const RevertShape shape = RevertOf(table);
  const std::string working(shape.working);
  const std::string history = working + "_History";
  const std::string& target = to_history ? history : working;
  const std::string& source = to_history ? working : history;
  const std::string_view id = to_history ? "FID," : "";
  std::string s;
  s.append("INSERT INTO ").append(target).append(" (").append(id);
  s.append(shape.insert_columns).append(kCrLf);
  s.append(" SELECT ").append(id).append(shape.select_columns).append(kCrLf);
  s.append(" FROM  ").append(source).append(kCrLf);
  s.append(" WHERE FYear=").append(Num(year)).append(" and FPeriod=");
  s.append(Num(period)).append(kCrLf);
  s.append(" Delete From ").append(source).append(" WHERE FYear=");
  s.append(Num(year)).append(" and FPeriod=").append(Num(period));
  return s;
}

std::string MatDistributeText(int32_t year, int32_t period, bool to_history) {
  const std::string target =
      to_history ? "cbMaterielInfo_History" : "cbMaterielInfo";
  const std::string source =
      to_history ? "cbMaterielInfo" : "cbMaterielInfo_History";
  const std::string_view id = to_history ? "FItemID," : "";
  std::string s;
  s.append("INSERT INTO ").append(target).append("(").append(id);
  s.append("FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,")
      .append(kCrLf);
  s.append("FStandarddata,FPrice,FQty,FAmount)").append(kCrLf);
  s.append("SELECT ").append(id);
  s.append(
       "FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,"
       "FStandarddata,FPrice,FQty,FAmount")
      .append(kCrLf);
  s.append("FROM ").append(source).append(kCrLf);
  s.append("WHERE ").append(DistributeWhere(year, period)).append(kCrLf);
  s.append(kCrLf);
  s.append("DELETE FROM ").append(source).append(" WHERE ");
  s.append(DistributeWhere(year, period)).append(kCrLf);
  s.append(kCrLf);
  return s;
}

std::string ExpDistributeText(int32_t year, int32_t period, bool to_history) {
  const std::string target = to_history ? "cbExpenseDistributeInfo_History"
                                        : "cbExpenseDistributeInfo";
  const std::string source = to_history ? "cbExpenseDistributeInfo"
                                        : "cbExpenseDistributeInfo_History";
  std::string s;
  s.append("INSERT INTO ").append(target);
  s.append(
       "(FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,"
       "FStandarddata,FStandardID)")
      .append(kCrLf);
  s.append(
       "SELECT FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,"
       "FStandarddata,FStandardID")
      .append(kCrLf);
  s.append("FROM ").append(source).append(kCrLf);
  s.append("WHERE ").append(DistributeWhere(year, period)).append(kCrLf);
  s.append(kCrLf);
  s.append("DELETE FROM ").append(source).append(" WHERE ");
  s.append(DistributeWhere(year, period)).append(kCrLf);
  s.append(kCrLf);
  return s;
}

std::string UnCheckText(int32_t year, int32_t period) {
  const std::string y = Num(year);
  const std::string p = Num(period);
  return " Update CBOnInitBalance SET FChecked=0, FCheckMan=0,FCheckDate=null "
         "WHERE FChecked=1 AND FYear=" +
         y + " AND FPeriod=" + p +
         "\r\n Update CBCostObjAdjustDetail Set FChecked = 0 WHERE FChecked=1 "
         "AND FYear=" +
         y + " AND FPeriod=" + p + "\r\n";
}

}  // namespace marl::close_data
