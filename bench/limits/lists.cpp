// The cost balance lists against the best hand-written SQLite query that
// returns the same rows in the same order.
//
// A tool run is one CheckOutInfo call (it opens its own connections); a
// best run opens the database, runs the hand-written query, reads every row
// into memory and closes the database. Before any timing, the rows of both
// are compared on each company: same count, same order, same column names
// (letter case aside) and the same values (text byte for byte, numbers
// within 1e-4, NULL for NULL); any difference ends the benchmark.
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "limits.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace bench {
namespace {

using ListFn = std::function<std::shared_ptr<marl::ItemList>(
    marl::CheckOutInfo&, const Company&)>;
using SqlFn = std::function<std::string(const Company&)>;

struct ListCase {
  const char* name;
  ListFn tool;
  SqlFn best;
};

std::string Show(const Value& v) {
  switch (v.type) {
    case SQLITE_INTEGER:
      return std::to_string(v.i);
    case SQLITE_FLOAT:
      return std::to_string(v.r);
    case SQLITE_NULL:
      return "NULL";
    default:
      return "'" + v.text + "'";
  }
}

// Whether the tool's value `t` is the value `b` SQLite returned.
bool SameValue(const marl::Variant& t, const Value& b) {
  if (b.type == SQLITE_NULL) return t.IsEmptyOrNull();
  if (t.IsEmptyOrNull()) return false;
  if (b.type == SQLITE_TEXT) {
    return t.Type() == marl::VarType::Text && t.AsText() == b.text;
  }
  if (!t.IsNumeric()) return false;
  const double want = b.type == SQLITE_INTEGER ? static_cast<double>(b.i) : b.r;
  return std::fabs(t.ToDouble() - want) <= 1e-4;
}

void ProveSame(const char* name, const Company& c, const marl::ItemList& list,
               const std::vector<std::string>& names,
               const std::vector<Row>& rows) {
  const std::string where =
      std::string(name) + " on the " + c.scale + " company";
  if (list.Count() != rows.size()) {
    throw Failure(where + ": the tool returns " + std::to_string(list.Count()) +
                  " rows, the best query " + std::to_string(rows.size()));
  }
  if (rows.empty()) throw Failure(where + ": no rows to compare");
  for (size_t r = 0; r < rows.size(); ++r) {
    auto record = list.Record(static_cast<int32_t>(r + 1));
    if (record->Count() != names.size()) {
      throw Failure(where + ": the tool's rows have " +
                    std::to_string(record->Count()) + " columns, the best " +
                    std::to_string(names.size()));
    }
    for (size_t k = 0; k < names.size(); ++k) {
      marl::Variant v;
      if (!record->Lookup(names[k], &v)) {
        throw Failure(where + ": the tool has no column " + names[k]);
      }
      if (!SameValue(v, rows[r][k])) {
        throw Failure(where + ": row " + std::to_string(r + 1) + " column " +
                      names[k] + ": tool " +
                      (v.IsEmptyOrNull() ? "NULL" : v.ToText()) + ", best " +
                      Show(rows[r][k]));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The best queries. Each reads only the rows its answer needs: the pairing
// of products and cost items is built from the distinct departments and
// products of the period asked (or of the history up to it) rather than
// from every balance row, sums come from one grouped pass over the rows up
// to the period, and names from the distinct names instead of every row.

std::string Int(int v) { return std::to_string(v); }

// Rows up to and including (year, period), in index-friendly form.
std::string UpTo(const Company& c, const char* alias = "") {
  const std::string a = alias;
  return "(" + a + "FYear<" + Int(c.year) + " OR (" + a +
         "FYear=" + Int(c.year) + " AND " + a + "FPeriod<=" + Int(c.period) +
         "))";
}

const char* kItems = "(SELECT FID FROM CB_BmItem UNION SELECT '*')";
const char* kItemNames =
    "(SELECT FID,FName FROM CB_BmItem UNION SELECT '*','Total')";
const char* kMaterials =
    "(SELECT FID,FRem,FPrecision,FPPrecision FROM CB_BmMateriel"
    " UNION SELECT FID,'',FPrecision,FPPrecision FROM CB_BmProduct"
    " WHERE FType>1)";

std::string Dept(const Company& c) { return "'" + c.dept + "'"; }

// The nine balance columns of t2, 0 where it has no row.
const char* kBalances =
    "IFNULL(t2.FQty,0) AS FQty,IFNULL(t2.FBegBal,0) AS FBegBal,"
    "IFNULL(t2.FAccount,0) AS FAccount,IFNULL(t2.FPrice,0) AS FPrice,"
    "IFNULL(t2.FCalPrice,0) AS FCalPrice,IFNULL(t2.FEndBal,0) AS FEndBal,"
    "IFNULL(t2.FCompleQty,0) AS FCompleQty,"
    "IFNULL(t2.FOnlineQty,0) AS FOnlineQty,"
    "IFNULL(t2.FOnlineJorQty,0) AS FOnlineJorQty";

const char* kJoinT2 =
    " LEFT JOIN CB_CostBalance t2 ON t2.FYear=k.FYear AND "
    "t2.FPeriod=k.FPeriod AND t2.FExpDeptID=k.FExpDeptID AND "
    "t2.FProductID=k.FProductID AND t2.FCostID=k.FCostID";

std::string BestBalances(const Company& c, bool full) {
  const std::string y = Int(c.year);
  const std::string p = Int(c.period);
  std::string pairs;
  if (full) {
    // The department's products of all history, when the period has rows.
    pairs = "SELECT " + y + " AS FYear," + p +
            " AS FPeriod,v.FExpDeptID,v.FProductID,i.FID AS FCostID FROM "
            "(SELECT DISTINCT FExpDeptID,FProductID FROM CB_CostBalance "
            "WHERE FExpDeptID=" +
            Dept(c) + " AND " + UpTo(c) + ") v," + kItems +
            " i WHERE EXISTS (SELECT 1 FROM CB_CostBalance WHERE "
            "FYear=" +
            y + " AND FPeriod=" + p + " AND FExpDeptID=" + Dept(c) + ")";
  } else {
    pairs =
        "SELECT v.*,i.FID AS FCostID FROM (SELECT DISTINCT FYear,"
        "FPeriod,FExpDeptID,FProductID FROM CB_CostBalance WHERE FYear=" +
        y + " AND FPeriod=" + p + " AND FExpDeptID=" + Dept(c) + ") v," +
        kItems + " i";
  }
  return "SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName,"
         "d.FName AS FCostName,e.FRem,e.FPrecision,e.FPPrecision FROM "
         "(SELECT k.*," +
         std::string(kBalances) + " FROM (" + pairs + ") k" + kJoinT2 +
         ") a,CB_BmExpDept b,CB_BmProduct c," + kItemNames + " d," +
         kMaterials +
         " e WHERE a.FExpDeptID=b.FID AND a.FProductID=c.FID AND "
         "a.FCostID=d.FID AND a.FProductID=e.FID"
         " ORDER BY a.FExpDeptID,a.FProductID,a.FCostID";
}

std::string BestBalancesDept(const Company& c) {
  const std::string y = Int(c.year);
  const std::string p = Int(c.period);
  return "SELECT a.*,b.FName AS FExpDeptName,c.FName AS FProductName,"
         "d.FName AS FCostName,c.FPrecision,c.FPPrecision,"
         "IFNULL(g.FGatherAccount,0) AS FGatherAccount,"
         "IFNULL(g.FGatherEndAccount,0) AS FGatherEndAccount FROM "
         "(SELECT k.*," +
         std::string(kBalances) +
         " FROM (SELECT v.*,i.FID AS FCostID FROM (SELECT DISTINCT FYear,"
         "FPeriod,FExpDeptID,FProductID FROM CB_CostBalance WHERE FYear=" +
         y + " AND FPeriod=" + p + " AND FExpDeptID=" + Dept(c) + ") v," +
         kItems + " i) k" + kJoinT2 +
         ") a JOIN CB_BmExpDept b ON "
         "a.FExpDeptID=b.FID JOIN CB_BmProduct c ON a.FProductID=c.FID JOIN " +
         kItemNames +
         " d ON a.FCostID=d.FID LEFT JOIN (SELECT FProductID,"
         "FCostID,SUM(IFNULL(FAccount,0)) AS FGatherAccount,"
         "SUM(IFNULL(FAccount,0)+IFNULL(FBegBal,0)-IFNULL(FEndBal,0)) AS "
         "FGatherEndAccount FROM CB_CostBalance WHERE FYear=" +
         y + " AND FPeriod<=" + p + " AND FExpDeptID=" + Dept(c) +
         " GROUP BY FProductID,FCostID) g ON g.FProductID=a.FProductID AND "
         "g.FCostID=a.FCostID ORDER BY a.FExpDeptID,a.FProductID,a.FCostID";
}

// The accumulated figures of every department, product and cost item up to
// the current period, `products` narrowing the products: one grouped pass
// over those rows gives both the sums and the pairs (every department and
// product it holds, with every cost item). The names come from one balance
// row of the group (the demonstration data names a group alike in every
// period; the proof of same rows would catch a company that does not), and
// a group without any row in any period is left out, as the join with every
// balance row leaves it out.
std::string Accumulated(const Company& c, const std::string& products,
                        const std::string& columns,
                        const std::string& more_columns) {
  auto name = [](const char* column) {
    return std::string("(SELECT ") + column +
           " FROM CB_CostBalance n WHERE n.FExpDeptID=a.FExpDeptID AND "
           "n.FProductID=a.FProductID AND n.FCostID=a.FCostID LIMIT 1) AS " +
           column;
  };
  return "WITH s AS MATERIALIZED (SELECT FExpDeptID,FProductID,FCostID,"
         "SUM(IFNULL(FAccount,0)+IFNULL(FBegBal,0)-IFNULL(FEndBal,0)) AS amt,"
         "SUM(IFNULL(FCompleQty,0)) AS qty FROM CB_CostBalance WHERE " +
         UpTo(c) + products +
         " GROUP BY FExpDeptID,FProductID,FCostID) "
         "SELECT a.*," +
         name("FExpDeptName") + "," + name("FProductName") + more_columns +
         " FROM (SELECT v.FExpDeptID,v.FProductID,i.FID AS FCostID," + columns +
         ",s.FCostID IS NOT NULL AS held FROM (SELECT DISTINCT "
         "FExpDeptID,FProductID FROM s) v," +
         kItems +
         " i LEFT JOIN s ON s.FExpDeptID=v.FExpDeptID AND "
         "s.FProductID=v.FProductID AND s.FCostID=i.FID) a";
}

// Keeps the groups that have a balance row in some period.
const char* kHeld =
    "(a.held OR EXISTS (SELECT 1 FROM CB_CostBalance n WHERE "
    "n.FExpDeptID=a.FExpDeptID AND n.FProductID=a.FProductID AND "
    "n.FCostID=a.FCostID))";

const char* kPrice =
    "CASE WHEN IFNULL(s.qty,0)=0 THEN 0 ELSE s.amt/s.qty END AS FPrice";

std::string BestCosts(const Company& c) {
  return "SELECT FExpDeptID,FProductID,FCostID,FPrice,FExpDeptName,"
         "FProductName,FCostName,FRem,FPrecision,FPPrecision FROM (" +
         Accumulated(c, "", kPrice,
                     ",d.FName AS FCostName,e.FRem,e.FPrecision,"
                     "e.FPPrecision") +
         "," + kMaterials + " e," + kItemNames +
         " d WHERE a.FProductID=e.FID AND a.FCostID=d.FID AND " + kHeld +
         ") ORDER BY FExpDeptID,FProductID,FCostID";
}

std::string BestBatches(const Company& c) {
  return "SELECT FExpDeptID,FProductID,FCostID,FAccount,FCompleQty,FPrice,"
         "FExpDeptName,FProductName,FPrecision,FPPrecision FROM (" +
         Accumulated(c,
                     " AND FProductID IN (SELECT FID FROM CB_BmProduct "
                     "WHERE FType=3)",
                     "IFNULL(s.amt,0) AS FAccount,IFNULL(s.qty,0) AS "
                     "FCompleQty," +
                         std::string(kPrice),
                     ",e.FPrecision,e.FPPrecision") +
         "," + kMaterials + " e WHERE a.FProductID=e.FID AND " + kHeld +
         ") ORDER BY FProductID,FExpDeptID,FCostID";
}

std::vector<ListCase> Cases() {
  return {
      {"list balances --dept (full)",
       [](marl::CheckOutInfo& info, const Company& c) {
         return info.GetList(DsnOf(c.path), c.year, c.period, c.dept, "", true);
       },
       [](const Company& c) { return BestBalances(c, true); }},
      {"list balances --dept --no-full",
       [](marl::CheckOutInfo& info, const Company& c) {
         return info.GetList(DsnOf(c.path), c.year, c.period, c.dept, "",
                             false);
       },
       [](const Company& c) { return BestBalances(c, false); }},
      {"list balances-dept --dept",
       [](marl::CheckOutInfo& info, const Company& c) {
         return info.GetBalList(DsnOf(c.path), c.year, c.period, c.dept, "", 1);
       },
       BestBalancesDept},
      {"list costs",
       [](marl::CheckOutInfo& info, const Company& c) {
         return info.GetCostList(DsnOf(c.path), "");
       },
       BestCosts},
      {"list batches",
       [](marl::CheckOutInfo& info, const Company& c) {
         return info.GetBatchList(DsnOf(c.path), c.year, c.period, "");
       },
       BestBatches},
  };
}

double TimeBest(const Company& c, const std::string& sql, size_t* rows) {
  const double start = NowMs();
  Sqlite db(c.path);
  *rows = db.Rows(sql).size();
  return NowMs() - start;
}

double TimeTool(const ListCase& lc, const Company& c, size_t* rows) {
  const double start = NowMs();
  auto info = marl::CheckOutInfo::Create();
  *rows = lc.tool(*info, c)->Count();
  return NowMs() - start;
}

}  // namespace

void RunLists(const Settings& settings, const Company& medium,
              const Company& large, std::vector<Item>* items) {
  const std::vector<ListCase> cases = Cases();
  std::vector<size_t> chosen;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (settings.Chosen(cases[i].name)) {
      chosen.push_back(i);
    }
  }
  const Company* companies[] = {&medium, &large};
  for (size_t i : chosen) {
    for (const Company* c : companies) {
      auto info = marl::CheckOutInfo::Create();
      std::shared_ptr<marl::ItemList> list;
      try {
        list = cases[i].tool(*info, *c);
      } catch (const marl::Error& e) {
        throw Failure(std::string(cases[i].name) + ": " + e.what());
      }
      Sqlite db(c->path);
      std::vector<std::string> names;
      std::vector<Row> rows = db.Rows(cases[i].best(*c), &names);
      ProveSame(cases[i].name, *c, *list, names, rows);
    }
  }
  if (chosen.empty()) return;
  std::fprintf(stderr, "lists: same rows proven; timing %d runs ...\n",
               settings.runs);
  std::vector<Item> out(chosen.size());
  for (size_t k = 0; k < chosen.size(); ++k) {
    out[k].name = cases[chosen[k]].name;
    out[k].target = 2.0;
    out[k].growth_limited = true;
  }
  for (int run = 0; run < settings.runs; ++run) {
    for (size_t k = 0; k < chosen.size(); ++k) {
      const ListCase& lc = cases[chosen[k]];
      for (const Company* c : companies) {
        Measure& m = c == &medium ? out[k].medium : out[k].large;
        const std::string sql = lc.best(*c);
        size_t tool_rows = 0;
        size_t best_rows = 0;
        // Alternate which goes first.
        if (run % 2 == 0) {
          m.tool_ms.push_back(TimeTool(lc, *c, &tool_rows));
          m.best_ms.push_back(TimeBest(*c, sql, &best_rows));
        } else {
          m.best_ms.push_back(TimeBest(*c, sql, &best_rows));
          m.tool_ms.push_back(TimeTool(lc, *c, &tool_rows));
        }
        if (tool_rows != best_rows)
          throw Failure(lc.name + std::string(": row counts differ"));
      }
    }
  }
  for (Item& it : out) items->push_back(std::move(it));
}

std::string BestBalancesDeptQuery(const Company& c) {
  return BestBalancesDept(c);
}

}  // namespace bench
