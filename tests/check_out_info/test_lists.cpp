// The cost balance lists of CheckOutInfo against a fresh ERP database per
// test: zero-filled cost items and the total item, the full view, list
// types, accumulated prices and year-to-date sums. Their texts (languages,
// quotes, refused filters) are in the golden traces.
#include <sstream>

#include "marlcheckout/check_out_info.h"
#include "marlcheckout/containers.h"
#include "support/erp_fixture.h"

namespace marl {
namespace {

class ListsTest : public test::ErpDbTest {
 protected:
  ListsTest() { version_ = "lists"; }

  void SetUp() override {
    ErpDbTest::SetUp();
    // Current period 2005/3; cost items I1..I3; departments D1, D2;
    // products P1 (type 2), P2 (type 3, batch), P3 (type 1, not listed by
    // the lists that join materials and products above type 1), P4 (type 2).
    Exec(
        "UPDATE t_SystemProfile SET FValue='2005' WHERE FCategory='CB' AND "
        "FKey='CurrentYear';"
        "UPDATE t_SystemProfile SET FValue='3' WHERE FCategory='CB' AND "
        "FKey='CurrentPeriod';"
        "INSERT INTO CB_BmItem(FID,FName) VALUES('I1','Labour'),"
        "('I2','Material'),('I3','Overhead');"
        "INSERT INTO CB_BmExpDept(FID,FName) VALUES('D1','Dept 1'),"
        "('D2','Dept 2');"
        "INSERT INTO CB_BmProduct(FID,FName,FType,FPrecision,FPPrecision) "
        "VALUES('P1','Prod 1',2,2,4),('P2','Prod 2',3,3,5),"
        "('P3','Prod 3',1,2,2),('P4','Prod 4',2,2,2);");
  }

  // One balance row; the other amounts stay 0.
  void Bal(int year, int period, const std::string& dept,
           const std::string& product, const std::string& cost, double account,
           double beg = 0, double end = 0, double qty = 0) {
    std::ostringstream s;
    s << "INSERT INTO CB_CostBalance(FYear,FPeriod,FExpDeptID,FExpDeptName,"
         "FProductID,FProductName,FCostID,FAccount,FBegBal,FEndBal,"
         "FCompleQty,FQty) VALUES("
      << year << "," << period << ",'" << dept << "','N" << dept << "','"
      << product << "','N" << product << "','" << cost << "'," << account << ","
      << beg << "," << end << "," << qty << ",7)";
    Exec(s.str());
  }

  // Each record as the values of `columns` joined by "|".
  static std::vector<std::string> Rows(
      const std::shared_ptr<ItemList>& list,
      const std::vector<std::string>& columns) {
    std::vector<std::string> rows;
    for (int32_t i = 1; i <= list->UBound(); ++i) {
      auto record = list->Record(i);
      std::string row;
      for (size_t c = 0; c < columns.size(); ++c) {
        if (c > 0) row += "|";
        row += record->Value(columns[c]).ToText();
      }
      rows.push_back(row);
    }
    return rows;
  }
};

const std::vector<std::string> kKeyAmount = {"FExpDeptID", "FProductID",
                                             "FCostID", "FAccount"};

TEST_F(ListsTest, GetListFillsEveryCostItemAndTheTotalAndViewsFullHistory) {
  Bal(2005, 3, "D1", "P1", "I1", 10, 1, 2, 3);
  Bal(2005, 3, "D1", "P1", "*", 10, 1, 2, 3);
  Bal(2005, 2, "D1", "P4", "I2", 4);  // only an earlier period
  Bal(2005, 3, "D2", "P1", "I3", 6);
  Bal(2005, 4, "D1", "P2", "I1", 9);  // after the current period
  auto info = CheckOutInfo::Create();

  auto full = info->GetList(Dsn(), 2005, 3, "D1");
  EXPECT_EQ(Rows(full, kKeyAmount),
            (std::vector<std::string>{"D1|P1|*|10", "D1|P1|I1|10", "D1|P1|I2|0",
                                      "D1|P1|I3|0", "D1|P4|*|0", "D1|P4|I1|0",
                                      "D1|P4|I2|0", "D1|P4|I3|0"}));
  auto first = full->Record(1);
  EXPECT_EQ(first->Value("FYear").ToText(), "2005");
  EXPECT_EQ(first->Value("FPeriod").ToText(), "3");
  EXPECT_EQ(first->Value("FBegBal").ToText(), "1");
  EXPECT_EQ(first->Value("FEndBal").ToText(), "2");
  EXPECT_EQ(first->Value("FCompleQty").ToText(), "3");
  EXPECT_EQ(first->Value("FQty").ToText(), "7");
  EXPECT_EQ(first->Value("FExpDeptName").ToText(), "Dept 1");
  EXPECT_EQ(first->Value("FProductName").ToText(), "Prod 1");
  EXPECT_EQ(first->Value("FCostName").ToText(), "Total");
  EXPECT_EQ(first->Value("FRem").ToText(), "");
  EXPECT_EQ(first->Value("FPPrecision").ToText(), "4");
  // A missing cost item is zero in all nine balance columns.
  auto missing = full->Record(3);
  for (const char* column :
       {"FQty", "FBegBal", "FAccount", "FPrice", "FCalPrice", "FEndBal",
        "FCompleQty", "FOnlineQty", "FOnlineJorQty"}) {
    EXPECT_EQ(missing->Value(column).ToText(), "0") << column;
  }
  EXPECT_EQ(missing->Value("FCostName").ToText(), "Material");

  auto period_only = info->GetList(Dsn(), 2005, 3, "D1", "", false);
  EXPECT_EQ(Rows(period_only, kKeyAmount),
            (std::vector<std::string>{"D1|P1|*|10", "D1|P1|I1|10", "D1|P1|I2|0",
                                      "D1|P1|I3|0"}));

  // Every department without one; the filter narrows the inner result.
  auto all = info->GetList(Dsn(), 2005, 3);
  EXPECT_EQ(all->Count(), 12u);
  EXPECT_EQ(Rows(all, kKeyAmount).back(), "D2|P1|I3|6");
  auto filtered = info->GetList(Dsn(), 2005, 3, "", "FAccount>5");
  EXPECT_EQ(
      Rows(filtered, kKeyAmount),
      (std::vector<std::string>{"D1|P1|*|10", "D1|P1|I1|10", "D2|P1|I3|6"}));

  // A period without rows gives an empty list.
  EXPECT_EQ(info->GetList(Dsn(), 2005, 5, "D1")->Count(), 0u);
}

TEST_F(ListsTest, GetBalListSumsTheYearAndFollowsTheListType) {
  Bal(2004, 12, "D1", "P1", "I1", 100, 0, 0);  // earlier year: not summed
  Bal(2005, 1, "D1", "P1", "I1", 10, 2, 3);
  Bal(2005, 3, "D1", "P1", "I1", 5, 1, 4);
  Bal(2005, 3, "D1", "P1", "*", 5, 1, 4);
  Bal(2005, 4, "D1", "P1", "I1", 50);  // after the listed period
  Bal(2005, 3, "D1", "P4", "*", 0);    // total amount 0
  Bal(2005, 3, "D1", "P3", "*", 2);    // type 1: listed here
  Bal(2005, 3, "D2", "P1", "*", 8);
  auto info = CheckOutInfo::Create();
  const std::vector<std::string> columns = {
      "FExpDeptID", "FProductID",     "FCostID",
      "FAccount",   "FGatherAccount", "FGatherEndAccount"};

  auto list = info->GetBalList(Dsn(), 2005, 3, "D1");
  auto rows = Rows(list, columns);
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[0], "D1|P1|*|5|5|2");
  // 10+5 over periods 1 and 3; (10+2-3)+(5+1-4) = 11.
  EXPECT_EQ(rows[1], "D1|P1|I1|5|15|11");
  EXPECT_EQ(rows[2], "D1|P1|I2|0|0|0");
  EXPECT_EQ(list->Record(1)->Value("FPPrecision").ToText(), "4");
  EXPECT_FALSE(list->Record(1)->Exists("FRem"));

  struct Case {
    int32_t list_type;
    const char* filter;
    std::vector<std::string> products;  // FProductID of the '*' rows
  };
  const std::vector<Case> cases = {
      {0, "", {"P1", "P3"}},
      {0, "FProductID<>'P3'", {"P1"}},
      {1, "FProductID='P4'", {"P4"}},
      {1, "", {"P1", "P3", "P4"}},
      {2, "FProductID='P4'", {"P1", "P3", "P4"}},
  };
  for (const Case& c : cases) {
    auto l = info->GetBalList(Dsn(), 2005, 3, "D1", c.filter, c.list_type);
    std::vector<std::string> totals;
    for (const std::string& row : Rows(l, {"FProductID", "FCostID"})) {
      if (row.back() == '*') totals.push_back(row.substr(0, 2));
    }
    EXPECT_EQ(totals, c.products) << c.list_type << " " << c.filter;
  }

  // An empty department selects the rows of the empty code, not all.
  EXPECT_EQ(info->GetBalList(Dsn(), 2005, 3, "")->Count(), 0u);
  Exec("INSERT INTO CB_BmExpDept(FID,FName) VALUES('','No dept')");
  Bal(2005, 3, "", "P1", "*", 1);
  auto blank = info->GetBalList(Dsn(), 2005, 3, "");
  ASSERT_EQ(blank->Count(), 4u);
  EXPECT_EQ(blank->Record(1)->Value("FExpDeptName").ToText(), "No dept");
}

TEST_F(ListsTest, AccumulatedListsGiveZeroPriceWithoutCompletedQuantity) {
  Bal(2005, 1, "D1", "P1", "I1", 10, 2, 4, 2);   // (10+2-4)/2 = 4
  Bal(2005, 3, "D1", "P1", "I1", 6, 0, 0, 2);    // (8+6)/(2+2) = 3.5
  Bal(2005, 3, "D1", "P1", "*", 6, 0, 0, 0);     // no quantity: 0
  Bal(2005, 4, "D1", "P1", "I1", 100, 0, 0, 1);  // after the key
  Bal(2005, 2, "D1", "P2", "I1", 12, 0, 0, 3);
  Bal(2005, 2, "D1", "P2", "*", 12, 0, 0, 0);
  auto info = CheckOutInfo::Create();

  auto cost = info->GetCostList(Dsn());
  EXPECT_EQ(Rows(cost, {"FExpDeptID", "FProductID", "FCostID", "FPrice",
                        "FCostName", "FProductName"}),
            (std::vector<std::string>{
                "D1|P1|*|0|Total|NP1", "D1|P1|I1|3.5|Labour|NP1",
                "D1|P2|*|0|Total|NP2", "D1|P2|I1|4|Labour|NP2"}));

  auto batch = info->GetBatchList(Dsn(), 2005, 2);
  EXPECT_EQ(Rows(batch, {"FProductID", "FCostID", "FAccount", "FCompleQty",
                         "FPrice", "FPrecision"}),
            (std::vector<std::string>{"P2|*|12|0|0|3", "P2|I1|12|3|4|3"}));
  EXPECT_EQ(info->GetBatchList(Dsn(), 2005, 2, "FCostID='I1'")->Count(), 1u);
  EXPECT_EQ(info->GetBatchList(Dsn(), 2004, 12)->Count(), 0u);
}

}  // namespace
}  // namespace marl
