// The demonstration company (see demo_data.h).
//
// Generation walks the history period by period. For each period it draws
// the period's production per (department, product) pair: completed and
// in-process quantities and the period amount of every cost item; the
// in-process amount at the end follows from the in-process share. From
// these it writes what the ERP's cost calculation would have written (the
// sources), and, for the periods before the current one, what the earlier
// closes would have left: ending and beginning balance rows, beginning
// detail, daily-costing seeds and carries, history rows. The cost balance
// rows of every period carry the settle price (amount completed divided by
// the completed quantity) computed exactly as the cost balance rebuild
// computes it, so rebuilding the current period reproduces its rows.
//
// Randomness comes from a splitmix64 generator on the seed; no library
// distribution is used, so the numbers do not depend on the standard
// library.
//
// The rows go to a sink: straight into an SQLite file (init --db, demo), or
// through the data layer into any database (init --dsn). Both get the same
// plain-SQL texts and values in the same order; nothing is left for the
// database to choose but the identity columns, which it fills in the order
// the rows arrive on every database.
#include "demo_data.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "common.h"
#include "data/ado.h"
#include "data/provider.h"

namespace marl::cli {

namespace {

constexpr std::array<DemoScale, 4> kScales = {{
    {"tiny", 2, 4, 3, 3, 4},
    {"small", 5, 30, 8, 12, 10},
    {"medium", 20, 200, 10, 36, 40},
    {"large", 20, 200, 10, 72, 40},
}};

const char* const kDeptNames[] = {
    "一车间",   "二车间",     "机加工车间", "装配车间", "铸造车间",
    "锻造车间", "热处理车间", "焊接车间",   "冲压车间", "喷涂车间",
    "包装车间", "注塑车间",   "电镀车间",   "总装车间", "模具车间",
    "检验车间", "动力车间",   "机修车间",   "供电车间", "三车间"};
const char* const kItemNames[] = {
    "直接材料", "直接人工",   "制造费用", "燃料及动力", "折旧费",
    "水电费",   "外协加工费", "辅助材料", "包装物",     "低值易耗品"};
const char* const kProductStems[] = {
    "齿轮", "轴承座", "电机壳", "阀门", "泵体", "法兰", "减速箱", "支架",
    "弹簧", "螺杆",   "链轮",   "滤芯", "端盖", "连杆", "叶轮"};
const char* const kMaterialNames[] = {"圆钢",   "钢板",     "铜棒", "铝锭",
                                      "灰铸铁", "塑料粒子", "橡胶", "油漆",
                                      "焊丝",   "轴承钢"};
const char* const kMaterialSpecs[] = {"Φ20",    "δ5mm", "Φ35", "A00",
                                      "HT250",  "PA66", "NBR", "灰色",
                                      "ER50-6", "GCr15"};

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed * 0x2545F4914F6CDD1DULL + 7) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  int Int(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  double Money(double lo, double hi) { return Round2(lo + (hi - lo) * Unit()); }
  static double Round2(double v) { return std::round(v * 100.0) / 100.0; }

 private:
  uint64_t state_;
};

double Round2(double v) { return Rng::Round2(v); }

// One INSERT text of the sink, reused for every row of one table.
class Inserter {
 public:
  Inserter(DemoSink& sink, const std::string& sql)
      : sink_(sink), id_(sink.Prepare(sql)) {}

  template <class... A>
  void Row(const A&... values) {
    row_.clear();
    (row_.push_back(Value(values)), ...);
    sink_.Insert(id_, row_);
  }

 private:
  static DemoValue Value(int v) { return int64_t{v}; }
  static DemoValue Value(int64_t v) { return v; }
  static DemoValue Value(double v) { return v; }
  static DemoValue Value(const std::string& v) { return v; }
  static DemoValue Value(const char* v) { return std::string(v); }
  static DemoValue Value(const DemoDay& v) { return v; }

  DemoSink& sink_;
  size_t id_;
  std::vector<DemoValue> row_;
};

void Exec(sqlite3* db, const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string text = msg ? msg : sqlite3_errmsg(db);
    sqlite3_free(msg);
    throw std::runtime_error(text + " in " + sql);
  }
}

std::string Code(const char* prefix, int number, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%0*d", prefix, width, number);
  return buf;
}

int DaysIn(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string DateText(int year, int month, int day) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  return buf;
}

struct Period {
  int year;
  int period;
};

// A daily-costing cycle: the first or second half of a month.
struct Cycle {
  std::string code;
  DemoDay begin;
  DemoDay end;
};

Cycle CycleOf(const Period& p, int half) {
  char code[16];
  std::snprintf(code, sizeof code, "%04d%02d-%d", p.year, p.period, half);
  int last = DaysIn(p.year, p.period);
  return {code,
          {DateText(p.year, p.period, half == 1 ? 1 : 16)},
          {DateText(p.year, p.period, half == 1 ? 15 : last)}};
}

struct Product {
  std::string code;
  std::string name;
  int type;
  std::string batch;  // batch number of a type 3 product
};

struct Pair {
  int dept;
  int product;
};

// The state a pair carries from one period into the next.
struct PairState {
  double wip_qty = 0;               // in-process quantity at the end
  std::vector<double> end_balance;  // per cost item
};

// One in-process detail row (item, material, batch, quantity, amount).
struct Detail {
  int item, material;
  std::string batch;
  double qty, amount;
};

// One period's figures of one pair.
struct PairPeriod {
  double input_qty = 0;
  double completed = 0;
  double wip = 0;
  double cycle1_wip = 0;
  std::vector<double> begin, account, end, cycle1_end;
};

// A working table whose identity column the database fills, with its
// history twin. Rows of a closed period are written to the working table
// and then moved into history as a close moves them, so that the
// identities are the ones the database handed out, on every database.
struct Archived {
  const char* table;
  const char* id;       // the identity column
  const char* columns;  // the columns written
  const char* values;   // their values: "?" markers and constants
};

constexpr Archived kRevertStd = {
    "CBCarriedCostRevertStdInfo", "FID",
    "FSchemeID,FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FCostItemID,"
    "FMaterielID,FMatBatchNo,FAmountRate,FQtyRate,FLayer,FDispLayer,FIsLeaf,"
    "FBranch",
    "1,?,?,?,?,?,?,?,?,?,?,?,?,?,?"};
constexpr Archived kRevertStk = {
    "CBCarriedCostRevertRealEndStk", "FID",
    "FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FCostItemID,"
    "FMaterielID,FMatBatchNo,FEndStkAmtRate,FEndStkQtyRate,FLayer,"
    "FDispLayer,FIsLeaf,FBranch",
    "?,?,?,?,?,?,?,?,?,?,?,?,?,?"};
constexpr Archived kRevertBal = {
    "CBCarriedCostRevertRealEndBal", "FID",
    "FYear,FPeriod,FCostObjID,FProductID,FProdBatchNo,FSubCostItemID,"
    "FSubCostObjID,FSubProductID,FSubProdBatchNo,FCostItemID,FMaterielID,"
    "FMatBatchNo,FEndBalAmtRate,FEndBalQtyRate,FLayer,FDispLayer,FIsLeaf,"
    "FBranch",
    "?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?"};
constexpr Archived kMateriel = {
    "cbMaterielInfo", "FItemID",
    "FYear,FPeriod,FCostObjID,FInterID,FEntryID,FStdID,FCostItemID,"
    "FStandarddata,FPrice,FQty,FAmount",
    "?,?,?,?,?,4,1,?,?,?,?"};
constexpr const Archived* kArchived[] = {&kRevertStd, &kRevertStk, &kRevertBal,
                                         &kMateriel};

std::string Insert(const Archived& a) {
  return std::string("INSERT INTO ") + a.table + "(" + a.columns + ") VALUES(" +
         a.values + ")";
}

class Generator {
 public:
  Generator(DemoSink& sink, const DemoScale& scale, uint64_t seed)
      : sink_(sink), s_(scale), rng_(seed) {}

  void Run();

 private:
  Period PeriodAt(int t) const {
    int months =
        kDemoCurrentYear * 12 + (kDemoCurrentPeriod - 1) - (s_.periods - 1 - t);
    return {months / 12, months % 12 + 1};
  }
  bool ItemUsed(const Pair& pr, int k) const {
    if (k < 3) return true;
    return ((pr.product * 31 + pr.dept * 17 + k * 7) % 10) < 7;
  }
  int Material(int p, int which) const {
    return which == 0 ? p % s_.materials : (p * 3 + 1) % s_.materials;
  }

  // Moves a period's rows of a working table into its history twin.
  void Archive(const Archived& a, int year, int period);

  void BaseTables();
  void Calendar();
  void History();
  void Batches();
  void Profile();

  DemoSink& sink_;
  DemoScale s_;
  Rng rng_;
  std::vector<std::string> depts_;
  std::vector<std::string> items_;
  std::vector<Product> products_;
  std::vector<Pair> pairs_;
  std::vector<double> completed_total_;  // per product, up to now
};

void Generator::BaseTables() {
  Inserter dept(sink_,
                "INSERT INTO CB_BmExpDept(FID,FName,FType) VALUES(?,?,0)");
  for (int d = 0; d < s_.departments; ++d) {
    depts_.push_back(Code("D", d + 1, 2));
    dept.Row(depts_.back(), kDeptNames[d % 20]);
  }
  Inserter item(sink_, "INSERT INTO CB_BmItem(FID,FName) VALUES(?,?)");
  for (int k = 0; k < s_.cost_items; ++k) {
    items_.push_back(Code("", k + 1, 2));
    item.Row(items_.back(), kItemNames[k % 10]);
  }
  Inserter product(sink_,
                   "INSERT INTO CB_BmProduct(FID,FName,FType,FPrecision,"
                   "FPPrecision) VALUES(?,?,?,?,?)");
  for (int p = 0; p < s_.products; ++p) {
    Product pr;
    pr.code = Code("P", p + 1, 4);
    char model[16];
    std::snprintf(model, sizeof model, " %c-%d", 'A' + p % 5, 100 + p);
    pr.name = std::string(kProductStems[p % 15]) + model;
    pr.type = p % 10 == 9 ? 1 : (p % 5 == 2 ? 3 : 2);
    if (pr.type == 3) pr.batch = "B" + Code("", p + 1, 4);
    product.Row(pr.code, pr.name, pr.type, 2, pr.type == 3 ? 4 : 2);
    products_.push_back(pr);
  }
  Inserter material(sink_,
                    "INSERT INTO CB_BmMateriel(FID,FName,FRem,FPrecision,"
                    "FPPrecision) VALUES(?,?,?,?,?)");
  for (int m = 0; m < s_.materials; ++m) {
    material.Row(Code("M", m + 1, 3), kMaterialNames[m % 10],
                 kMaterialSpecs[m % 10], 3, 4);
  }
  Inserter standard(sink_, "INSERT INTO CB_BmStandard(FID,FName) VALUES(?,?)");
  standard.Row("S01", "工时");
  standard.Row("S02", "机时");
  standard.Row("S03", "产量");
  standard.Row("S04", "材料定额");

  for (int d = 0; d < s_.departments; ++d) {
    for (int p = 0; p < s_.products; ++p) {
      int a = p % s_.departments;
      int b = (p * 7 + 3) % s_.departments;
      if (b == a) b = (a + 1) % s_.departments;
      if (d == a || d == b) pairs_.push_back({d, p});
    }
  }
  completed_total_.assign(products_.size(), 0.0);
}

// Two daily-costing cycles per month, from the first period of the history
// to well after the current one (a close of the current period and the
// closes after it find the next period's cycles).
void Generator::Calendar() {
  Inserter cal(sink_,
               "INSERT INTO CBPeriodDate(FYear,FPeriod,FYearPeriodCycle,"
               "FPeriodStartDay,FPeriodEndDay) VALUES(?,?,?,?,?)");
  for (int t = 0; t < s_.periods + 24; ++t) {
    Period p = PeriodAt(t);
    for (int half = 1; half <= 2; ++half) {
      Cycle c = CycleOf(p, half);
      cal.Row(p.year, p.period, c.code, c.begin, c.end);
    }
  }
}

void Generator::History() {
  const int k_count = s_.cost_items;
  const int cur = s_.periods - 1;
  auto ins = [&](const char* sql) {
    return std::make_unique<Inserter>(sink_, sql);
  };

  auto cost_balance = ins(
      "INSERT INTO CB_CostBalance(FYear,FPeriod,FCostID,FCostName,FExpDeptID,"
      "FExpDeptName,FProductID,FProductName,FExpenseID,FBegBal,FQty,FAccount,"
      "FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,FOnlineJorQty,FBatch) "
      "VALUES(?,?,?,?,?,?,?,?,' ',?,?,?,?,?,?,?,?,?,?)");
  auto balance_qty =
      ins("INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,"
          "FTypeID) VALUES(?,?,?,0,?,?,1)");
  auto balance_beg = ins(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,"
      "FTypeID) VALUES(?,?,?,?,?,?,2)");
  auto balance_onln = ins(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,"
      "FTypeID) VALUES(?,?,?,0,?,?,3)");
  auto balance_end = ins(
      "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,"
      "FTypeID) VALUES(?,?,?,?,?,?,4)");
  auto obj_check =
      ins("INSERT INTO cbCostObjCheck(FYear,FPeriod,FDeptID,FCostObjID,FQty) "
          "VALUES(?,?,?,?,?)");
  auto calinfo =
      ins("INSERT INTO cbCalinfo(FYear,FPeriod,FDeptID,FCostItemID,FCostObjID,"
          "FBegAmount,FAmount,FCompleAmount,FOnlineAmount) "
          "VALUES(?,?,?,?,?,?,?,?,?)");
  auto calinfo_detail =
      ins("INSERT INTO cbCalinfoDetail(FYear,FPeriod,FDeptID,FCostObjID,"
          "FCostItemID,FMaterielID,FBatchNo,FOnlineQty,FOnlineAmount) "
          "VALUES(?,?,?,?,?,?,?,?,?)");
  auto obj_detail =
      ins("INSERT INTO cbCostObjDetail(FYear,FPeriod,FDepID,FCostObjID,"
          "FCostItemID,FMaterielID,FBatchNo,FQty,FSum,FPrice) "
          "VALUES(?,?,?,?,?,?,?,?,?,?)");
  auto ration =
      ins("INSERT INTO CBRationStandardInfo(FYear,FPeriod,FDeptID,FCostObjID,"
          "FStandardID,FCostItemID,FQty) VALUES(?,?,?,?,4,1,?)");
  auto salary =
      ins("INSERT INTO CBStdSalaryRate(FYear,FPeriod,FCostObjID,FSalaryRate,"
          "FCostItemID) VALUES(?,?,?,?,2)");
  auto manhour =
      ins("INSERT INTO CBStdStdManhour(FYear,FPeriod,FCostObjID,FStdManHour) "
          "VALUES(?,?,?,?)");
  auto float_rate = ins(
      "INSERT INTO CBStdFloatMakeRate(FYear,FPeriod,FCostObjID,FFloatMakeRate,"
      "FCostItemID) VALUES(?,?,?,?,3)");
  auto std_price =
      ins("INSERT INTO CBStdStdPrice(FYear,FPeriod,FItemID,FStdPrice) "
          "VALUES(?,?,?,?)");
  auto fixed_budget =
      ins("INSERT INTO CBStdfixedMakebudget(FYear,FPeriod,FCostObjID,FDeptID,"
          "FFixedMakeBudget,FCostItemID) VALUES(?,?,?,?,?,3)");
  auto budget_output =
      ins("INSERT INTO CBStdBudgetOutput(FYear,FPeriod,FCostObjID,FDeptID,"
          "FOutProduct) VALUES(?,?,?,?,?)");
  auto cost_type =
      ins("INSERT INTO cbCostTypeInfo(FYear,FPeriod,FCostTypeID,FCostObjID,"
          "FCostItemID,FPrice) VALUES(?,?,1,?,?,?)");
  auto sort_standard =
      ins("INSERT INTO CBSortStandardInfo(FYear,FPeriod,FDeptID,FCostObjID,"
          "FStandardID,FCostItemID,FProductID,FQty) VALUES(?,?,?,?,1,3,?,?)");
  auto deputy = ins(
      "INSERT INTO CBDeputyInfo(FYear,FPeriod,FCostItemID,FProductID,FAmount) "
      "VALUES(?,?,1,?,?)");
  auto day_check = ins(
      "INSERT INTO DayCost_ObjCheck(FYear,FPeriod,FDeptID,FCostObjID,FQty,"
      "FPerBeginDate,FPerEndDate,FYearPeriodCycle) VALUES(?,?,?,?,?,?,?,?)");
  auto day_calinfo = ins(
      "INSERT INTO DayCost_Calinfo(FYear,FPeriod,FDeptID,FCostItemID,"
      "FCostObjID,FOnlineAmount,FPerBeginDate,FPerEndDate,FYearPeriodCycle) "
      "VALUES(?,?,?,?,?,?,?,?,?)");
  auto day_calinfo_detail =
      ins("INSERT INTO DayCost_CalinfoDetail(FYear,FPeriod,FDeptID,FCostObjID,"
          "FCostItemID,FMaterielID,FBatchNo,FOnlineQty,FOnlineAmount,"
          "FPerBeginDate,FPerEndDate,FYearPeriodCycle) "
          "VALUES(?,?,?,?,?,?,?,?,?,?,?,?)");
  auto day_balance =
      ins("INSERT INTO DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,"
          "FQty,FBegBal,FOnlnQty,FEndBal,FTypeID,FPerBeginDate,FPerEndDate,"
          "FYearPeriodCycle) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
  auto day_detail =
      ins("INSERT INTO DayCost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,"
          "FCostItemID,FMaterielID,FBatchNo,FQty,FSum,FPrice,FPerBeginDate,"
          "FPerEndDate,FYearPeriodCycle) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
  const char* kExpense =
      "(FYear,FPeriod,FInterID,FCostObjID,FAmount,FCostItemID,FStandarddata,"
      "FStandardID) VALUES(?,?,?,?,?,?,?,1)";
  Inserter revert_std(sink_, Insert(kRevertStd));
  Inserter revert_stk(sink_, Insert(kRevertStk));
  Inserter revert_bal(sink_, Insert(kRevertBal));
  Inserter materiel(sink_, Insert(kMateriel));
  Inserter expense(
      sink_, std::string("INSERT INTO cbExpenseDistributeInfo") + kExpense);
  Inserter expense_h(
      sink_,
      std::string("INSERT INTO cbExpenseDistributeInfo_History") + kExpense);
  auto init_balance =
      ins("INSERT INTO CBOnInitBalance(FYear,FPeriod,FDeptID,FCostObjID,"
          "FCostItemID,FQty,FAmount,FVchInterID,FChecked,FCheckMan,FCheckDate) "
          "VALUES(?,?,?,?,?,?,?,?,?,?,?)");
  auto init_balance_open =
      ins("INSERT INTO CBOnInitBalance(FYear,FPeriod,FDeptID,FCostObjID,"
          "FCostItemID,FQty,FAmount,FVchInterID,FChecked,FCheckMan) "
          "VALUES(?,?,?,?,?,?,?,?,?,?)");
  auto adjust =
      ins("INSERT INTO CBCostObjAdjustDetail(FYear,FPeriod,FDeptID,FCostObjID,"
          "FCostItemID,FAmount,FChecked) VALUES(?,?,?,?,?,?,?)");
  auto complete = ins(
      "INSERT INTO CB_CompleteProductInfo(FYear,FPeriod,FExpDeptID,FProductID,"
      "FQty) VALUES(?,?,?,?,?)");

  // Opening state of the history: some work in process everywhere.
  std::vector<PairState> state(pairs_.size());
  for (PairState& st : state) {
    st.wip_qty = rng_.Int(0, 3) == 0 ? 0 : rng_.Int(5, 40);
    st.end_balance.assign(k_count, 0.0);
    if (st.wip_qty > 0) {
      for (int k = 0; k < k_count; ++k) st.end_balance[k] = rng_.Money(50, 900);
    }
  }
  int init_entry = 0;
  // Each pair's in-process detail of the period before (carried into the
  // next period's beginning detail by the close).
  std::vector<std::vector<Detail>> carried(pairs_.size());

  for (int t = 0; t < s_.periods; ++t) {
    const Period per = PeriodAt(t);
    const bool closed = t < cur;
    const int y = per.year, pp = per.period;
    const int year_index = y - PeriodAt(0).year;
    const Cycle c1 = CycleOf(per, 1), c2 = CycleOf(per, 2);

    for (size_t i = 0; i < pairs_.size(); ++i) {
      const Pair& pr = pairs_[i];
      const Product& prod = products_[pr.product];
      const int dep = pr.dept + 1, obj = pr.product + 1;
      PairState& st = state[i];

      PairPeriod f;
      f.completed = rng_.Int(0, 9) == 0 ? 0 : rng_.Int(20, 200);
      f.wip = rng_.Int(0, 4) == 0 ? 0 : rng_.Int(5, 60);
      f.cycle1_wip = rng_.Int(0, 4) == 0 ? 0 : rng_.Int(5, 40);
      f.input_qty = std::max(0.0, f.completed + f.wip - st.wip_qty);
      f.begin.assign(k_count, 0.0);
      f.account.assign(k_count, 0.0);
      f.end.assign(k_count, 0.0);
      f.cycle1_end.assign(k_count, 0.0);
      const double share =
          f.wip + f.completed > 0 ? f.wip / (f.wip + f.completed) : 0.0;
      for (int k = 0; k < k_count; ++k) {
        if (!ItemUsed(pr, k)) continue;
        f.begin[k] = st.end_balance[k];
        double weight = k == 0 ? 3.0 : (k == 1 ? 1.5 : 1.0);
        f.account[k] =
            f.completed + f.wip > 0 ? rng_.Money(200, 4000) * weight : 0.0;
        f.account[k] = Round2(f.account[k]);
        f.end[k] = f.wip > 0 ? Round2((f.begin[k] + f.account[k]) * share) : 0;
        f.cycle1_end[k] = f.cycle1_wip > 0
                              ? Round2((f.begin[k] + f.account[k] / 2) * 0.3)
                              : 0;
      }

      // Cost balance rows: one per cost item used, then the total row.
      double sum_beg = 0, sum_acc = 0, sum_end = 0;
      auto write_cb = [&](const std::string& cost, const char* cost_name,
                          double beg, double acc, double end) {
        double price = f.completed != 0 ? (beg + acc - end) / f.completed : 0;
        cost_balance->Row(y, pp, cost, cost_name, depts_[pr.dept],
                          kDeptNames[pr.dept % 20], prod.code, prod.name, beg,
                          f.input_qty, acc, price, price, end, f.completed,
                          f.wip, 0.0, prod.batch);
      };
      for (int k = 0; k < k_count; ++k) {
        if (!ItemUsed(pr, k)) continue;
        write_cb(items_[k], kItemNames[k % 10], f.begin[k], f.account[k],
                 f.end[k]);
        sum_beg += f.begin[k];
        sum_acc += f.account[k];
        sum_end += f.end[k];
      }
      write_cb("*", "合计", sum_beg, sum_acc, sum_end);
      if (f.completed > 0) {
        complete->Row(y, pp, depts_[pr.dept], prod.code, f.completed);
        completed_total_[pr.product] += f.completed;
      }

      // Monthly balances: beginning rows (carried by the previous close),
      // and ending rows for the closed periods.
      if (st.wip_qty > 0) balance_qty->Row(y, pp, dep, obj, st.wip_qty);
      for (int k = 0; k < k_count; ++k) {
        if (f.begin[k] != 0)
          balance_beg->Row(y, pp, dep, k + 1, obj, f.begin[k]);
      }
      if (closed) {
        if (f.wip > 0) balance_onln->Row(y, pp, dep, obj, f.wip);
        for (int k = 0; k < k_count; ++k) {
          if (f.end[k] != 0) balance_end->Row(y, pp, dep, k + 1, obj, f.end[k]);
        }
      }

      // Monthly sources of the close.
      obj_check->Row(y, pp, dep, obj, f.wip);
      for (int k = 0; k < k_count; ++k) {
        if (!ItemUsed(pr, k)) continue;
        calinfo->Row(y, pp, dep, k + 1, obj, f.begin[k], f.account[k],
                     Round2(f.begin[k] + f.account[k] - f.end[k]), f.end[k]);
      }
      // In-process detail: the material item by two materials, the overhead
      // item as an amount without quantity.
      std::vector<Detail> details;
      {
        double a1 = Round2(f.end[0] * 0.6);
        char lot[16];
        std::snprintf(lot, sizeof lot, "L%02d%02d", y % 100, pp);
        details.push_back(
            {1, Material(pr.product, 0) + 1, lot, Round2(f.wip * 1.5), a1});
        details.push_back({1, Material(pr.product, 1) + 1, lot,
                           Round2(f.wip * 0.8), Round2(f.end[0] - a1)});
        details.push_back({3, 0, "", 0.0, f.end[2]});
      }
      for (const Detail& d : details) {
        calinfo_detail->Row(y, pp, dep, obj, d.item, d.material, d.batch, d.qty,
                            d.amount);
      }
      // Beginning detail of this period: the previous period's in-process
      // detail, carried by the previous close (kept from the last period).
      if (t > 0) {
        for (const Detail& d : carried[i]) {
          if (d.qty == 0 && d.amount == 0) continue;
          obj_detail->Row(y, pp, dep, obj, d.item, d.material, d.batch, d.qty,
                          d.amount, d.qty != 0 ? d.amount / d.qty : 0.0);
        }
      }

      // Standards and allocation data (the same figures all year).
      const double yf = 1.0 + 0.03 * year_index;
      ration->Row(y, pp, dep, obj, Round2((1.2 + obj % 7 * 0.35) * yf));
      fixed_budget->Row(y, pp, obj, dep, Round2((8000 + dep * 450) * yf));
      budget_output->Row(y, pp, obj, dep,
                         static_cast<double>(100 + obj % 9 * 20));
      sort_standard->Row(y, pp, dep, obj, obj, Round2(f.completed * 0.75 + 10));

      // Daily costing: the two cycles of the month.
      for (int half = 1; half <= 2; ++half) {
        const Cycle& c = half == 1 ? c1 : c2;
        const double wip = half == 1 ? f.cycle1_wip : f.wip;
        const std::vector<double>& amt = half == 1 ? f.cycle1_end : f.end;
        day_check->Row(y, pp, dep, obj, wip, c.begin, c.end, c.code);
        for (int k = 0; k < k_count; ++k) {
          if (!ItemUsed(pr, k)) continue;
          day_calinfo->Row(y, pp, dep, k + 1, obj, amt[k], c.begin, c.end,
                           c.code);
        }
        double a1 = Round2(amt[0] * 0.6);
        day_calinfo_detail->Row(y, pp, dep, obj, 1, Material(pr.product, 0) + 1,
                                "", Round2(wip * 1.5), a1, c.begin, c.end,
                                c.code);
        day_calinfo_detail->Row(y, pp, dep, obj, 1, Material(pr.product, 1) + 1,
                                "", Round2(wip * 0.8), Round2(amt[0] - a1),
                                c.begin, c.end, c.code);
      }
      auto day_row = [&](const Cycle& c, int type, int cost, double value) {
        double qty = type == 1 ? value : 0, beg = type == 2 ? value : 0;
        double onln = type == 3 ? value : 0, end = type == 4 ? value : 0;
        day_balance->Row(y, pp, dep, cost, obj, qty, beg, onln, end, type,
                         c.begin, c.end, c.code);
      };
      // Cycle 1 opens from the previous month's close.
      if (t > 0) {
        if (st.wip_qty > 0) day_row(c1, 1, 0, st.wip_qty);
        for (int k = 0; k < k_count; ++k) {
          if (f.begin[k] != 0) day_row(c1, 2, k + 1, f.begin[k]);
        }
        for (const Detail& d : carried[i]) {
          if (d.qty == 0 && d.amount == 0) continue;
          day_detail->Row(y, pp, dep, obj, d.item, d.material, d.batch, d.qty,
                          d.amount, d.qty != 0 ? d.amount / d.qty : 0.0,
                          c1.begin, c1.end, c1.code);
        }
      }
      // Cycle 1 closes and opens cycle 2; cycle 2 closes.
      if (f.cycle1_wip > 0) {
        day_row(c1, 3, 0, f.cycle1_wip);
        day_row(c2, 1, 0, f.cycle1_wip);
      }
      for (int k = 0; k < k_count; ++k) {
        if (f.cycle1_end[k] != 0) {
          day_row(c1, 4, k + 1, f.cycle1_end[k]);
          day_row(c2, 2, k + 1, f.cycle1_end[k]);
        }
      }
      if (f.wip > 0) day_row(c2, 3, 0, f.wip);
      for (int k = 0; k < k_count; ++k) {
        if (f.end[k] != 0) day_row(c2, 4, k + 1, f.end[k]);
      }
      {
        double a1 = Round2(f.cycle1_end[0] * 0.6);
        double q1 = Round2(f.cycle1_wip * 1.5), q2 = Round2(f.cycle1_wip * 0.8);
        double a2 = Round2(f.cycle1_end[0] - a1);
        if (q1 != 0 || a1 != 0) {
          day_detail->Row(y, pp, dep, obj, 1, Material(pr.product, 0) + 1, "",
                          q1, a1, q1 != 0 ? a1 / q1 : 0.0, c2.begin, c2.end,
                          c2.code);
        }
        if (q2 != 0 || a2 != 0) {
          day_detail->Row(y, pp, dep, obj, 1, Material(pr.product, 1) + 1, "",
                          q2, a2, q2 != 0 ? a2 / q2 : 0.0, c2.begin, c2.end,
                          c2.code);
        }
      }

      // Material and expense distribution: working rows in the current
      // period, history rows before it (materials archived with the
      // period, below).
      for (int w = 0; w < 2; ++w) {
        double qty = Round2(f.input_qty * (w == 0 ? 1.5 : 0.8));
        double price = Round2(4.5 + (Material(pr.product, w) % 7) * 1.25);
        materiel.Row(y, pp, obj, 1000 + t * 100 + dep, w + 1, Round2(qty * 1.1),
                     price, qty, Round2(qty * price));
      }
      (closed ? expense_h : expense)
          .Row(y, pp, 2000 + t * 100 + dep, obj, f.account[2], 3,
               Round2(f.completed * 0.75 + 10));

      // Opening balance entries and adjustments.
      if (i % 4 == 0) {
        for (int k = 0; k < 2; ++k, ++init_entry) {
          double qty = st.wip_qty, amount = f.begin[k];
          if (closed) {
            init_balance->Row(y, pp, dep, obj, k + 1, qty, amount,
                              7000 + init_entry, 1, 1 + init_entry % 3,
                              DateText(y, pp, 5));
          } else {
            int j = static_cast<int>(i / 4) * 2 + k;
            bool checked = j % 2 == 0, voucher = j % 3 == 0;
            if (checked) {
              init_balance->Row(y, pp, dep, obj, k + 1, qty, amount,
                                voucher ? 7000 + init_entry : 0, 1, 2,
                                DateText(y, pp, 5));
            } else {
              init_balance_open->Row(y, pp, dep, obj, k + 1, qty, amount,
                                     voucher ? 7000 + init_entry : 0, 0, 0);
            }
          }
        }
      }
      if (i % 5 == 1) {
        adjust->Row(y, pp, dep, obj, 3, rng_.Money(-300, 300),
                    closed || i % 2 == 1 ? 1 : 0);
      }

      // The next period starts from this one's end.
      carried[i].clear();
      for (const Detail& d : details) carried[i].push_back(d);
      st.wip_qty = f.wip;
      st.end_balance = f.end;
    }

    // Per product and per material figures of the period.
    for (int p = 0; p < s_.products; ++p) {
      const int obj = p + 1;
      const double yf = 1.0 + 0.03 * year_index;
      salary->Row(y, pp, obj, Round2((18.5 + obj % 5) * yf));
      manhour->Row(y, pp, obj, Round2((2.5 + obj % 4 * 0.75) * yf));
      float_rate->Row(y, pp, obj, Round2((6.0 + obj % 3) * yf));
      for (int k = 0; k < std::min(3, k_count); ++k) {
        cost_type->Row(y, pp, obj, k + 1,
                       Round2((30.0 + obj % 11 + k * 12) * yf));
      }
      if (p % 7 == 3) deputy->Row(y, pp, obj, Round2(150.0 + obj * 3.5));
      // Cost-revert ratios of every third product: the tree of its cost
      // items, the material item split by its two materials.
      if (p % 3 != 0) continue;
      const Product& prod = products_[p];
      struct Node {
        int item, material, layer, leaf;
        std::string disp, branch;
        double amount_rate, qty_rate;
      };
      std::vector<Node> nodes;
      const int items_here = std::min(3, k_count);
      for (int k = 0; k < items_here; ++k) {
        double rate = k == 0 ? 0.6 : (k == 1 ? 0.25 : 0.15);
        nodes.push_back({k + 1, 0, 1, k == 0 ? 0 : 1, std::to_string(k + 1),
                         Code("", k + 1, 2), rate, 1.0});
        if (k == 0) {
          for (int w = 0; w < 2; ++w) {
            nodes.push_back({1, Material(p, w) + 1, 2, 1,
                             "1." + std::to_string(w + 1),
                             "01." + Code("", w + 1, 3), w == 0 ? 0.65 : 0.35,
                             w == 0 ? 1.5 : 0.8});
          }
        }
      }
      for (const Node& n : nodes) {
        const double r =
            Round2(n.amount_rate * (0.97 + 0.06 * rng_.Unit()) * 1e4) / 1e4;
        revert_std.Row(y, pp, obj, obj, prod.batch, n.item, n.material, "", r,
                       n.qty_rate, n.layer, n.disp, n.leaf, n.branch);
        revert_stk.Row(y, pp, obj, obj, prod.batch, n.item, n.material, "", r,
                       n.qty_rate, n.layer, n.disp, n.leaf, n.branch);
        revert_bal.Row(y, pp, obj, obj, prod.batch, n.item, obj, obj,
                       prod.batch, n.item, n.material, "", r, n.qty_rate,
                       n.layer, n.disp, n.leaf, n.branch);
      }
    }
    for (int m = 0; m < s_.materials; ++m) {
      const double yf = 1.0 + 0.03 * year_index;
      std_price->Row(y, pp, m + 1, Round2((4.5 + m % 7 * 1.25) * yf));
    }
    if (closed) {
      for (const Archived* a : kArchived) Archive(*a, y, pp);
    }
  }
}

void Generator::Archive(const Archived& a, int year, int period) {
  const std::string where = " WHERE FYear=? AND FPeriod=?";
  const std::vector<DemoValue> key = {int64_t{year}, int64_t{period}};
  sink_.Run(std::string("INSERT INTO ") + a.table + "_History(" + a.id + "," +
                a.columns + ") SELECT " + a.id + "," + a.columns + " FROM " +
                a.table + where,
            key);
  sink_.Run(std::string("DELETE FROM ") + a.table + where, key);
}

// Batch quantities of the type 3 products: some batches are complete by now,
// the others still in production.
void Generator::Batches() {
  Inserter batch(sink_,
                 "INSERT INTO CB_BmCostObj_Product(FCostObjID,FComQty) "
                 "VALUES(?,?)");
  int n = 0;
  for (size_t p = 0; p < products_.size(); ++p) {
    if (products_[p].type != 3) continue;
    double done = completed_total_[p];
    double factor = n++ % 2 == 0 ? 0.9 : 1.4;
    batch.Row(products_[p].code, std::round(done * factor / 10.0) * 10.0);
  }
}

void Generator::Profile() {
  const std::string set = "UPDATE t_SystemProfile SET FValue=? WHERE ";
  sink_.Run(set + "FCategory='CB' AND FKey='CurrentYear'",
            {std::to_string(kDemoCurrentYear)});
  sink_.Run(set + "FCategory='CB' AND FKey='CurrentPeriod'",
            {std::to_string(kDemoCurrentPeriod)});
}

void Generator::Run() {
  BaseTables();
  Calendar();
  History();
  Batches();
  Profile();
  sink_.Flush();
}

// Rows straight into an SQLite database through prepared statements.
class SqliteSink final : public DemoSink {
 public:
  explicit SqliteSink(sqlite3* db) : db_(db) {}

  size_t Prepare(const std::string& insert) override {
    inserts_.push_back(Compile(insert));
    return inserts_.size() - 1;
  }
  void Insert(size_t insert, const std::vector<DemoValue>& row) override {
    Step(inserts_[insert].get(), row);
  }
  void Run(const std::string& sql,
           const std::vector<DemoValue>& values) override {
    Step(Compile(sql).get(), values);
  }
  void Flush() override {}

 private:
  using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

  Statement Compile(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &raw, nullptr);
    Statement stmt(raw, sqlite3_finalize);
    if (rc != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
    }
    return stmt;
  }

  void Step(sqlite3_stmt* stmt, const std::vector<DemoValue>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i) + 1;
      std::visit(
          [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int64_t>) {
              sqlite3_bind_int64(stmt, index, v);
            } else if constexpr (std::is_same_v<T, double>) {
              sqlite3_bind_double(stmt, index, v);
            } else {
              const std::string& text = Text(v);
              sqlite3_bind_text(stmt, index, text.data(),
                                static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
            }
          },
          values[i]);
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) {
      std::string msg = sqlite3_errmsg(db_);
      sqlite3_reset(stmt);
      throw std::runtime_error(msg + " in " + sqlite3_sql(stmt));
    }
    sqlite3_reset(stmt);
  }
  static const std::string& Text(const std::string& v) { return v; }
  static const std::string& Text(const DemoDay& v) { return v.text; }

  sqlite3* db_;
  std::vector<Statement> inserts_;
};

// Rows through the data layer: each INSERT text is repeated into a
// multi-row text, sent when full (and the rest on Flush), its values bound
// as parameters of their own type.
class ConnectionSink final : public DemoSink {
 public:
  explicit ConnectionSink(data::PhysicalConnection& conn) : conn_(conn) {}

  size_t Prepare(const std::string& insert) override {
    const size_t values = insert.rfind("VALUES(");
    if (values == std::string::npos) {
      throw std::invalid_argument("not an INSERT ... VALUES(...) text: " +
                                  insert);
    }
    Batch b;
    b.head = insert.substr(0, values + 6);
    b.tuple = insert.substr(values + 6);
    const auto markers = std::count(b.tuple.begin(), b.tuple.end(), '?');
    b.rows_per_text = std::clamp<size_t>(
        kMaxParameters / std::max<size_t>(markers, 1), 1, kMaxRows);
    b.full_text = Text(b, b.rows_per_text);
    batches_.push_back(std::move(b));
    return batches_.size() - 1;
  }

  void Insert(size_t insert, const std::vector<DemoValue>& row) override {
    Batch& b = batches_[insert];
    for (const DemoValue& v : row) b.params.push_back(Param(v));
    if (++b.rows == b.rows_per_text) Send(b);
  }

  void Run(const std::string& sql,
           const std::vector<DemoValue>& values) override {
    Flush();
    std::vector<data::BoundParam> params;
    for (const DemoValue& v : values) params.push_back(Param(v));
    conn_.Run(sql, params);
  }

  void Flush() override {
    for (Batch& b : batches_) {
      if (b.rows > 0) Send(b);
    }
  }

 private:
  static constexpr size_t kMaxRows = 100;
  static constexpr size_t kMaxParameters = 2000;

  struct Batch {
    std::string head;   // "INSERT INTO T(...) VALUES"
    std::string tuple;  // "(?,...)"
    size_t rows_per_text = 1;
    std::string full_text;
    size_t rows = 0;
    std::vector<data::BoundParam> params;
  };

  static std::string Text(const Batch& b, size_t rows) {
    std::string text = b.head;
    for (size_t i = 0; i < rows; ++i) {
      if (i > 0) text += ',';
      text += b.tuple;
    }
    return text;
  }

  void Send(Batch& b) {
    conn_.Run(b.rows == b.rows_per_text ? b.full_text : Text(b, b.rows),
              b.params);
    b.rows = 0;
    b.params.clear();
  }

  static data::BoundParam Param(const DemoValue& value) {
    data::BoundParam p;
    std::visit(
        [&p](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, int64_t>) {
            if (v < INT32_MIN || v > INT32_MAX) {
              throw std::out_of_range("demonstration value out of range: " +
                                      std::to_string(v));
            }
            p.ado_type = data::ado::kInteger;
            p.value = Variant::I4(static_cast<int32_t>(v));
          } else if constexpr (std::is_same_v<T, double>) {
            p.ado_type = data::ado::kDouble;
            p.value = Variant::R8(v);
          } else if constexpr (std::is_same_v<T, std::string>) {
            p.ado_type = data::ado::kVarWChar;
            p.value = Variant::Text(v);
          } else {
            double date = 0;
            if (!Variant::ParseDate(v.text, &date)) {
              throw std::invalid_argument("not a date: " + v.text);
            }
            p.ado_type = data::ado::kDBTimeStamp;
            p.value = Variant::Date(date);
          }
        },
        value);
    return p;
  }

  data::PhysicalConnection& conn_;
  std::vector<Batch> batches_;
};

DemoScale ScaleOf(const DemoOptions& options) {
  std::optional<DemoScale> scale = FindDemoScale(options.scale);
  if (!scale) {
    throw std::invalid_argument("unknown scale " + options.scale +
                                " (tiny, small, medium or large)");
  }
  return *scale;
}

}  // namespace

std::optional<DemoScale> FindDemoScale(std::string_view name) {
  for (const DemoScale& s : kScales) {
    if (name == s.name) return s;
  }
  return std::nullopt;
}

void WriteDemoCompany(DemoSink& sink, const DemoOptions& options) {
  Generator(sink, ScaleOf(options), options.seed).Run();
}

void FillDemoCompany(sqlite3* db, const DemoOptions& options) {
  const DemoScale scale = ScaleOf(options);
  Exec(db, "PRAGMA synchronous=OFF");
  Exec(db, "PRAGMA cache_size=-262144");  // 256 MiB: the indexes stay in memory
  Exec(db, "BEGIN IMMEDIATE");
  try {
    SqliteSink sink(db);
    Generator(sink, scale, options.seed).Run();
    Exec(db, "PRAGMA application_id=" + std::to_string(kDemoApplicationId));
    Exec(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void FillDemoCompany(data::PhysicalConnection& conn,
                     const DemoOptions& options) {
  ConnectionSink sink(conn);
  WriteDemoCompany(sink, options);
}

namespace {

void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove(path + suffix, ec);
  }
}

}  // namespace

void CreateDemoDatabase(const std::string& path, const DemoOptions& options) {
  const std::string schema_path = SchemaFile();
  std::ifstream in(schema_path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the schema " + schema_path);
  std::ostringstream script;
  script << in.rdbuf();

  const std::string tmp = path + ".demo-" + std::to_string(::getpid());
  RemoveDatabaseFiles(tmp);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  try {
    if (rc != SQLITE_OK) {
      throw std::runtime_error(
          "cannot create " + path + ": " +
          (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    }
    Exec(db.get(), script.str());
    FillDemoCompany(db.get(), options);
  } catch (...) {
    db.reset();
    RemoveDatabaseFiles(tmp);
    throw;
  }
  db.reset();
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    RemoveDatabaseFiles(tmp);
    throw std::runtime_error("cannot move the new database to " + path + ": " +
                             ec.message());
  }
}

bool IsDemoDatabase(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[72] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  if (std::string(reinterpret_cast<char*>(header), 15) != "SQLite format 3") {
    return false;
  }
  // Application id: big-endian 32-bit integer at offset 68.
  uint32_t id = (uint32_t{header[68]} << 24) | (uint32_t{header[69]} << 16) |
                (uint32_t{header[70]} << 8) | uint32_t{header[71]};
  return static_cast<int32_t>(id) == kDemoApplicationId;
}

}  // namespace marl::cli
