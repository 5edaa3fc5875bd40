// CheckOutUpdate: the period transfer and a cost balance rebuild that fails
// late (the profile writes and the rebuild itself: test_behaviour.cpp).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/ado.h"
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

  struct Periods {
    int32_t year = -1, period = -1, next_year = -1, next_period = -1;
    Variant tvec, batch;
  };
  Periods Trans() {
    Periods p;
    CheckOutUpdate::Create()->TransPeriod(Dsn(), p.tvec, p.batch, p.year,
                                          p.period, p.next_year, p.next_period);
    return p;
  }

  static std::vector<std::string> RecordsetRows(const Variant& v,
                                                std::vector<std::string> cols) {
    auto rs = std::dynamic_pointer_cast<data::Recordset>(v.AsObject());
    std::vector<std::string> rows;
    if (!rs) return rows;
    if (rs->RecordCount() != 0) rs->MoveFirst();
    for (; !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (const auto& c : cols) {
        row += (row.empty() ? "" : "|") + rs->Fields(c).Value().ToText();
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(TransferTest, TransPeriodGivesPeriodsBalancesAndBatchState) {
  Exec(
      "INSERT INTO CB_BmExpDept VALUES ('D''4', 'Quoted', 0);"
      "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
      "FProductID) VALUES (2005, 10, 'C1', 'D''4', 'P1'), "
      "(2005, 10, 'C1', 'D3', 'P1')");
  Periods p = Trans();
  EXPECT_EQ(
      std::vector<int32_t>({p.year, p.period, p.next_year, p.next_period}),
      std::vector<int32_t>({2005, 10, 2005, 11}));
  EXPECT_EQ(
      RecordsetRows(p.tvec, {"FExpDeptID", "FCostID"}),
      (std::vector<std::string>{"D'4|C1", "D1|*", "D1|C1", "D1|C2", "D2|C1"}));
  // Completion up to period 10 of 2005, earlier years included; period 11
  // and products that are not batch products left out.
  EXPECT_EQ(RecordsetRows(p.batch, {"FID", "FComQty", "FComedQty"}),
            std::vector<std::string>{"P1|100|8"});
}

TEST_F(TransferTest, NextPeriodAndMissingProfileValues) {
  struct Case {
    const char* setup;
    std::vector<int32_t> expected;
  };
  const std::vector<Case> cases = {
      {"UPDATE t_SystemProfile SET FValue='12' WHERE FKey='CurrentPeriod'",
       {2005, 12, 2006, 1}},
      {"DELETE FROM t_SystemProfile WHERE FCategory='CB'", {0, 0, 0, 1}},
      {"DELETE FROM t_SystemProfile WHERE FKey='PeriodCount';"
       "UPDATE t_SystemProfile SET FValue='12' WHERE FKey='CurrentPeriod'",
       {2005, 12, 2005, 13}},
      {"UPDATE t_SystemProfile SET FValue=' 7 abc' WHERE "
       "FKey='CurrentPeriod'",
       {2005, 7, 2005, 8}},
      // A decimal with an exponent; every digit counts, 9 included.
      {"UPDATE t_SystemProfile SET FValue='0.9E1' WHERE FKey='CurrentPeriod'",
       {2005, 9, 2005, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    Exec(
        "UPDATE t_SystemProfile SET FValue = CASE FKey WHEN 'CurrentYear' "
        "THEN '2005' WHEN 'CurrentPeriod' THEN '10' ELSE FValue END");
    Exec(c.setup);
    Periods p = Trans();
    EXPECT_EQ(
        std::vector<int32_t>({p.year, p.period, p.next_year, p.next_period}),
        c.expected);
    Exec(
        "DELETE FROM t_SystemProfile;"
        "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES "
        "('CB', 'CurrentYear', '2005'), ('CB', 'CurrentPeriod', '10'), "
        "('GL', 'PeriodCount', '12')");
  }
}

TEST_F(TransferTest, TransPeriodWithoutDepartmentsAndFailure) {
  Exec("UPDATE CB_BmExpDept SET FType = 1");
  Periods p = Trans();
  EXPECT_TRUE(RecordsetRows(p.tvec, {"FCostID"}).empty());

  Exec("DROP TABLE CB_BmCostObj_Product");
  Periods q;
  EXPECT_EQ(Raised([&] {
              CheckOutUpdate::Create()->TransPeriod(Dsn(), q.tvec, q.batch,
                                                    q.year, q.period,
                                                    q.next_year, q.next_period);
            }).number(),
            err::kDbNoTable);
  // What was stored before the failure stays.
  EXPECT_EQ(std::vector<int32_t>({q.year, q.period, q.next_year}),
            std::vector<int32_t>({2005, 10, -1}));
}

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
