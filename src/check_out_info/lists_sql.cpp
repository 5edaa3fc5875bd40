// The SELECT texts of the cost balance lists (see lists_sql.h). The
// fragments are the exact texts the database receives; they are joined
// without separators.
#include "check_out_info/lists_sql.h"

#include <string>

#include "common/globals.h"

namespace marl::check_out_info {
namespace {

std::string Num(int32_t v) { return std::to_string(v); }

// Block Z: the nine balance columns with 0 for a missing row.
constexpr const char* kBlockZ =
    "CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,"
    "CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,"
    "CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount,"
    "CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice,"
    "CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice,"
    "CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal,"
    "CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS "
    "FCompleQty,"
    "CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS "
    "FOnlineQty,"
    "CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS "
    "FOnlineJorQty";

// Block Z': the same nine columns as GetBalList spaces them.
constexpr const char* kBlockZPrime =
    " CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty, "
    "CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal, "
    "CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS FAccount, "
    "CASE WHEN t2.FPrice IS NULL THEN 0 ELSE t2.FPrice END AS FPrice, "
    "CASE WHEN t2.FCalPrice IS NULL THEN 0 ELSE t2.FCalPrice END AS FCalPrice, "
    "CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal, "
    "CASE WHEN t2.FCompleQty IS NULL THEN 0 ELSE t2.FCompleQty END AS "
    "FCompleQty, "
    "CASE WHEN t2.FOnlineQty IS NULL THEN 0 ELSE t2.FOnlineQty END AS "
    "FOnlineQty, "
    "CASE WHEN t2.FOnlineJorQty IS NULL THEN 0 ELSE t2.FOnlineJorQty END AS "
    "FOnlineJorQty ";

// The join of the paired set t1 with the balance rows t2.
constexpr const char* kJoinOn =
    " ON t1.FYear=t2.FYear AND t1.FPeriod=t2.FPeriod AND "
    "t1.FExpDeptID=t2.FExpDeptID";
constexpr const char* kJoinOn2 =
    " AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID";

// Materials and products above type 1 with their precisions.
constexpr const char* kMaterialsHead =
    "(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel"
    " UNION "
    "SELECT FID,'' AS FRem,FPrecision,FPPrecision FROM CB_BmProduct WHERE "
    "FType>1)";

// The cost items with the total item named `name`, the operand in
// parentheses.
std::string ItemsWithTotal(const std::string& name) {
  return "(SELECT FID,FName FROM CB_BmItem UNION (SELECT '*' AS FID,'" +
         common::QuoteDoubled(name) + "' AS FName))";
}

}  // namespace

std::string GetListSql(int32_t year, int32_t period, const std::string& dept,
                       const std::string& filter, bool view_full,
                       const std::string& current_key, const TotalNames& t) {
  std::string s;
  s.reserve(4096);
  s += "SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName,";
  s += "d.FName AS FCostName,e.FRem,e.FPrecision,e.FPPrecision FROM ";
  s += "(SELECT * FROM ";
  s += "(SELECT t1.*,";
  s += kBlockZ;
  s += " FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,";
  s += view_full ? "v.FProductID,y.FID AS FCostID"
                 : "x.FProductID,y.FID AS FCostID";
  s += " FROM CB_CostBalance x,";
  s += "(SELECT FID,FName FROM CB_BmItem";
  s += " UNION (SELECT '*' AS FID,'" + common::QuoteDoubled(t.t1) +
       "' AS FName)) y";
  if (view_full) {
    s += ",(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance";
    s += " WHERE FYear + 0.0001 * FPeriod <=" + current_key + ") v";
    s += " WHERE v.FExpDeptID = x.FExpDeptID";
  }
  s += ") t1";
  s += " LEFT JOIN CB_CostBalance t2";
  s += kJoinOn;
  s += kJoinOn2;
  s += ")h1";
  s += " WHERE FYear = " + Num(year) + " AND FPeriod=" + Num(period);
  if (!dept.empty())
    s += " AND FExpDeptID = '" + common::QuoteDoubled(dept) + "'";
  if (!filter.empty()) s += " AND " + filter;
  s += ") a,CB_BmExpDept b,CB_BmProduct c,";
  s += ItemsWithTotal(t.t2) + " d,";
  s += kMaterialsHead;
  s += " e ";
  s += " WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID";
  s += " AND a.FCostID=d.FID AND a.FProductID=e.FID";
  s += " ORDER BY a.FExpDeptID,a.FProductID,a.FCostID";
  return s;
}

std::string GetCostListSql(const std::string& filter,
                           const std::string& current_key,
                           const TotalNames& t) {
  std::string s;
  s.reserve(4096);
  s += "SELECT DISTINCT a.*,b.FExpDeptName,b.FProductName,";
  s += "d.FName AS FCostName,c.FRem,c.FPrecision,c.FPPrecision";
  s += " FROM (SELECT FExpDeptID,FProductID,FCostID,";
  s += "CASE WHEN SUM(FCompleQty)=0 THEN 0";
  s += " ELSE SUM(FAccount+FBegBal-FEndBal)/SUM(FCompleQty) END AS FPrice";
  s += " FROM (SELECT t1.*,";
  s += kBlockZ;
  s += " FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,v.FProductID,"
       "y.FID AS FCostID";
  s += " FROM CB_CostBalance x,";
  s += "(SELECT FID,FName FROM CB_BmItem";
  s += " UNION (SELECT '*' AS FID,'" + common::QuoteDoubled(t.t1) +
       "' AS FName)) y";
  s += ",(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance";
  s += " WHERE FYear + 0.0001 * FPeriod <=" + current_key + ") v";
  s += " WHERE v.FExpDeptID = x.FExpDeptID) t1";
  s += " LEFT JOIN CB_CostBalance t2";
  s += kJoinOn;
  s += kJoinOn2;
  s += ")h1";
  s += " WHERE FYear+0.0001*FPeriod<=" + current_key;
  if (!filter.empty()) s += " AND " + filter;
  s += " GROUP BY FExpDeptID,FProductID,FCostID)a,";
  s += "CB_CostBalance b,";
  s += kMaterialsHead;
  s += "c,";
  s += "(SELECT FID,FName FROM CB_BmItem UNION SELECT '*' AS FID,'" +
       common::QuoteDoubled(t.t2) + "' AS FName) d";
  s += " WHERE a.FExpDeptID = b.FExpDeptID AND a.FProductID = b.FProductID";
  s += " AND a.FProductID=c.FID";
  s += " AND a.FCostID = b.FCostID AND a.FCostID=d.FID";
  s += " ORDER BY a.FExpDeptID,a.FProductID,a.FCostID";
  return s;
}

std::string GetBalListSql(int32_t year, int32_t period, const std::string& dept,
                          const std::string& filter, int32_t list_type,
                          const TotalNames& t) {
  const std::string y = Num(year);
  const std::string p = Num(period);
  const std::string d = common::QuoteDoubled(dept);
  std::string s;
  s.reserve(6144);
  s += "SELECT * FROM (";
  s += "SELECT L1.*,L2.FGatherAccount,L2.FGatherEndAccount FROM ";
  s += "(SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName, ";
  s += "d.FName AS FCostName, c.FPrecision, c.FPPrecision FROM ";
  s += "(SELECT * FROM (SELECT t1.*, ";
  s += kBlockZPrime;
  s += " FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,x.FProductID,"
       "y.FID AS FCostID ";
  s += " FROM CB_CostBalance x," + ItemsWithTotal(t.t1) + " y) t1 ";
  s += " LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND "
       "t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID ";
  s += " AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1 ";
  s += " WHERE FYear =" + y + " AND FPeriod=" + p + " AND FExpDeptID = '" + d +
       "'";
  s += ") a,CB_BmExpDept b,CB_BmProduct c,";
  s += ItemsWithTotal(t.t2) + " d ";
  s += " WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID AND a.FCostID=d.FID) "
       "L1";
  s += " LEFT JOIN ";
  s += "(SELECT * FROM (SELECT DISTINCT b.* FROM ";
  s += "(SELECT FExpDeptID,FProductID,FCostID,SUM(FAccount) AS "
       "FGatherAccount,";
  s += "SUM(FAccount+FBegBal-FEndBal) AS FGatherEndAccount";
  s += " FROM (SELECT t1.*,";
  s += "CASE WHEN t2.FBegBal IS NULL THEN 0 ELSE t2.FBegBal END AS FBegBal,";
  s += "CASE WHEN t2.FAccount IS NULL THEN 0 ELSE t2.FAccount END AS "
       "FAccount,";
  s += "CASE WHEN t2.FEndBal IS NULL THEN 0 ELSE t2.FEndBal END AS FEndBal";
  s += " FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,x.FProductID,"
       "y.FID AS FCostID";
  s += " FROM CB_CostBalance x," + ItemsWithTotal(t.t1) + " y) t1 ";
  s += " LEFT JOIN CB_CostBalance t2 ON t1.FYear=t2.FYear AND "
       "t1.FPeriod=t2.FPeriod AND t1.FExpDeptID=t2.FExpDeptID";
  s += " AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1";
  s += " WHERE FYear=" + y + " AND FPeriod<=" + p + " AND FExpDeptID = '" + d +
       "'";
  s += " GROUP BY FExpDeptID,FProductID,FCostID)b) x";
  s += ") L2";
  s += " ON L1.FExpDeptID=L2.FExpDeptID AND L1.FProductID=L2.FProductID AND "
       "L1.FCostID=L2.FCostID";
  s += ")XX";
  if (list_type == 0) {
    s += " WHERE FProductID NOT IN (SELECT FProductID FROM CB_CostBalance";
    s += " WHERE FYear=" + y + " AND FPeriod=" + p + " AND FExpDeptID='" + d +
         "' AND FCostID='*' AND FAccount=0)";
    if (!filter.empty()) s += " AND " + filter;
  } else if (list_type == 1) {
    if (!filter.empty()) s += " WHERE " + filter;
  }
  s += " ORDER BY FExpDeptID,FProductID,FCostID";
  return s;
}

std::string GetBatchListSql(const std::string& filter, const std::string& key,
                            const TotalNames& t) {
  std::string s;
  s.reserve(4096);
  s += "SELECT DISTINCT a.*,b.FExpDeptName,b.FProductName,e.FPrecision,"
       "e.FPPrecision FROM ";
  s += "(SELECT FExpDeptID,FProductID,FCostID,SUM(FAccount+FBegBal-FEndBal) "
       "AS FAccount,";
  s += "SUM(FCompleQty) AS FCompleQty,";
  s += "CASE WHEN SUM(FCompleQty)=0 THEN 0";
  s += " ELSE SUM(FAccount+FBegBal-FEndBal)/SUM(FCompleQty) END AS FPrice";
  s += " FROM (SELECT t1.*,";
  s += kBlockZ;
  s += " FROM (SELECT DISTINCT x.FYear,x.FPeriod,x.FExpDeptID,v.FProductID,"
       "y.FID AS FCostID";
  s += " FROM CB_CostBalance x,";
  s += ItemsWithTotal(t.t1) + " y,";
  s += "(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance";
  s += " WHERE FYear+0.0001*FPeriod<=" + key + ")v";
  s += " WHERE v.FExpDeptID = x.FExpDeptID AND ";
  s += " v.FProductID IN (SELECT FID FROM CB_BmProduct WHERE FType=3)) t1";
  s += " LEFT JOIN CB_CostBalance t2";
  s += kJoinOn;
  s += " AND t1.FProductID=t2.FProductID AND t1.FCostID=t2.FCostID)h1";
  s += " WHERE FYear+0.0001*FPeriod<=" + key;
  if (!filter.empty()) s += " AND " + filter;
  s += " GROUP BY FExpDeptID,FProductID,FCostID)a,CB_CostBalance b,";
  s += kMaterialsHead;
  s += " e ";
  s += " WHERE a.FExpDeptID = b.FExpDeptID And a.FProductID = b.FProductID";
  s += "  AND a.FProductID=e.FID AND a.FCostID = b.FCostID";
  s += " ORDER BY a.FProductID,a.FExpDeptID,a.FCostID";
  return s;
}

}  // namespace marl::check_out_info
