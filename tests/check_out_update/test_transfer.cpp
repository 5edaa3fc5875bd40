// CheckOutUpdate: a cost balance rebuild that fails late (the period
// transfer, the profile writes and the rebuild itself: test_behaviour.cpp).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "marlcheckout/check_out_update.h"
#include "marlcheckout/registry.h"
#include "siblings/cost_bal_info.h"
#include "siblings/siblings.h"
#include "test_transfer_fixture.h"

namespace marl::transfer_test {
namespace {

class TransferTest : public TransferDbTest {
 protected:
  void SetUp() override {
    TransferDbTest::SetUp();
    Exec(
        "UPDATE t_SystemProfile SET FValue='10' WHERE FKey='CurrentPeriod';"
        "INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES "
        "('D1', 'Dept 1', 0), ('D2', 'Dept 2', 0), ('D3', 'Dept 3', 1);"
        "INSERT INTO CB_BmProduct (FID, FName, FType) VALUES "
        "('P1', 'Batch 1', 3), ('P2', 'Batch 2', 3), ('P3', 'Plain', 1);"
        "INSERT INTO CB_BmCostObj_Product VALUES ('P1', 100), ('P2', 50), "
        "('P3', 10);"
        "INSERT INTO CB_CompleteProductInfo (FYear, FPeriod, FProductID, "
        "FQty) VALUES (2004, 12, 'P1', 5), (2005, 10, 'P1', 3), "
        "(2005, 11, 'P1', 100), (2005, 11, 'P2', 7), (2005, 1, 'P3', 9);");
    SeedPeriod(2005, 10);
    Exec(
        "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
        "FProductID, FEndBal) VALUES (2005, 11, 'C9', 'D1', 'P9', 1)");
  }

  // Four rows of one period: a row with a balance and completed output, a
  // total row, a row without balance (D1) and a row with a balance (D2).
  void SeedPeriod(int year, int period) {
    const std::string p =
        std::to_string(year) + ", " + std::to_string(period) + ", ";
    Exec(
        "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
        "FProductID, FBegBal, FQty, FAccount, FEndBal, FCompleQty) VALUES (" +
        p + "'C1', 'D1', 'P1', 10, 2, 30, 20, 4), (" + p +
        "'*', 'D1', 'P1', 10, 2, 30, 20, 0), (" + p +
        "'C2', 'D1', 'P1', 0, 1, 0, 0, 0), (" + p +
        "'C1', 'D2', 'P2', 0, 0, 0, 7.5, 0)");
  }

  std::vector<std::string> Table() const {
    return Rows(
        "SELECT FYear, FPeriod, FCostID, FExpDeptID, FExpDeptName, "
        "FProductID, FBegBal, FQty, FAccount, FCalPrice, FPrice, FEndBal, "
        "FCompleQty FROM CB_CostBalance ORDER BY FYear, FPeriod, FExpDeptID, "
        "FCostID");
  }
};

// An integrator's cost balance component that reports one row twice.
class TwiceCostBalInfo : public Component {
 public:
  TwiceCostBalInfo() : Component(TxAttribute::Supported) {}
  const DispatchTable& Table() const override {
    static const DispatchTable table = [] {
      DispatchTable t;
      t.class_name = "TwiceCostBalInfo";
      MemberInfo m;
      m.name = "GetList";
      m.dispid = 1;
      for (int i = 0; i < 4; ++i) m.params.push_back(ParamInfo{});
      m.handler = [](Dispatchable&, std::vector<Variant>&) {
        auto list = ItemList::Create();
        for (int i = 0; i < 2; ++i) {
          auto row = FieldValueSet::Create();
          row->SetValue("FCostID", Variant::Text("C1"));
          row->SetValue("FProductID", Variant::Text("P1"));
          row->SetValue("FEndBal", Variant::R8(1));
          list->Add(Variant::Object(row));
        }
        return Variant::Object(list);
      };
      t.members.push_back(m);
      return t;
    }();
    return table;
  }
};

TEST_F(TransferTest, DuplicateRowFailsAndRollsBackTheWholeCall) {
  const std::vector<std::string> before = Table();
  ClassInfo fake = siblings::CostBalInfo::Class();
  fake.factory = [] { return std::make_shared<TwiceCostBalInfo>(); };
  Registry::Instance().Register(fake);
  EXPECT_EQ(Report(Raised(
                [&] { CheckOutUpdate::Create()->UpdateCostBalance(Dsn()); })),
            (std::vector<std::string>{"10007", "MarlCheckOut.CheckOutUpdate",
                                      "", ""}));
  Registry::Instance().Register(siblings::CostBalInfo::Class());
  EXPECT_EQ(Table(), before);
}

}  // namespace
}  // namespace marl::transfer_test
