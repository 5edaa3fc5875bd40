// CommandBuilder: what it sends, what it checks and how it reports.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check_out_update/command_builder.h"
#include "check_out_update/transfer_ops.h"
#include "data/provider.h"
#include "test_transfer_fixture.h"

namespace marl::transfer_test {
namespace {

using check_out_update::CommandBuilder;
using check_out_update::FieldOptions;

class BuilderTest : public TransferDbTest {
 public:
  void SetUp() override {
    TransferDbTest::SetUp();
    Exec(
        "INSERT INTO CB_BmExpDept (FID, FName, FType) VALUES "
        "('D0', 'Sales', 1), ('D9', 'Works', 2);"
        "INSERT INTO CB_BmItem (FID, FName) VALUES ('M', 'Material');"
        "INSERT INTO CB_BmStandard (FID, FName) VALUES ('S1', 'x'), "
        "('O''Neil', 'y');");
  }

  // A builder over CB_BmExpDept: FID (text 10, required key), FName (text,
  // unique, default ""), FType (integer); `name` and `type` adjust the last
  // two.
  std::unique_ptr<CommandBuilder> Dept(
      std::function<void(FieldOptions&)> name = nullptr,
      std::function<void(FieldOptions&)> type = nullptr,
      int32_t type_code = 3) {
    auto b = std::make_unique<CommandBuilder>();
    b->InitClassDataEnv(Dsn());
    b->Create("CB_BmExpDept");
    FieldOptions id;
    id.size = 10;
    id.required = true;
    id.pkey = true;
    id.err_item = 10022;
    b->DescribField("FID", 202, id);
    FieldOptions n;
    n.size = 250;
    n.default_value = Variant::Text("");
    n.index = true;
    n.err_item = 10015;
    if (name) name(n);
    b->DescribField("FName", 202, n);
    FieldOptions t;
    t.default_value = Variant::I2(0);
    t.err_item = 10035;
    if (type) type(t);
    b->DescribField("FType", type_code, t);
    return b;
  }

  static std::shared_ptr<FieldValueSet> Set(
      std::vector<std::pair<std::string, Variant>> entries) {
    auto set = FieldValueSet::Create();
    for (auto& [k, v] : entries) set->SetValue(k, v);
    return set;
  }

  std::unique_ptr<CommandBuilder> Balance() {
    return check_out_update::GetCostBalanceBuilder(Dsn(), nullptr);
  }

  void SeedBalances() {
    Exec(
        "INSERT INTO CB_CostBalance (FYear, FPeriod, FCostID, FExpDeptID, "
        "FProductID, FEndBal) VALUES (2005, 10, 'C1', 'D1', 'P1', 5), "
        "(2005, 10, 'C2', 'D1', 'P1', 5), (2005, 11, 'C1', 'D1', 'P1', 5)");
  }
};

TEST_F(BuilderTest, InsertWithoutDescribedColumnSendsNothing) {
  auto b = Dept();
  b->SetFields(Set({{"Other", Variant::I4(1)}}));
  const int64_t before = data::StatementsRun();
  EXPECT_FALSE(b->ExecInsert());
  EXPECT_EQ(data::StatementsRun(), before);
}

TEST_F(BuilderTest, InsertChecksThenInsertsTheColumnsHeld) {
  auto b = Dept();
  b->SetFields(Set({{"FID", Variant::Text("D1")}, {"FType", Variant::Null()}}));
  StartTrace();
  EXPECT_TRUE(b->ExecInsert());
  EXPECT_EQ(TraceTexts(),
            "SELECT FName FROM CB_BmExpDept WHERE FName=?\n"
            "SELECT FID FROM CB_BmExpDept WHERE  FID=? \n"
            "INSERT INTO CB_BmExpDept (FID,FType)VALUES (?,?)\n");
  EXPECT_EQ(Scalar("SELECT FID||'|'||FName||'|'||FType FROM CB_BmExpDept "
                   "WHERE FID='D1'"),
            "D1||0");
}

TEST_F(BuilderTest, DefaultsForNullAndMissingValues) {
  // A null optional value takes the default; a missing required column
  // with a default takes it; a missing required column without one fails.
  auto not_unique = [](FieldOptions& n) { n.index = false; };
  auto with_default = Dept(not_unique, [](FieldOptions& t) {
    t.required = true;
    t.default_value = Variant::I4(7);
  });
  with_default->SetFields(Set({{"FID", Variant::Text("D1")}}));
  with_default->ExecInsert();
  with_default->SetFields(
      Set({{"FID", Variant::Text("D2")}, {"FName", Variant::Empty()}}));
  with_default->ExecInsert();
  EXPECT_EQ(Rows("SELECT FID, FName, FType FROM CB_BmExpDept WHERE FID IN "
                 "('D1','D2') ORDER BY FID"),
            (std::vector<std::string>{"D1||7", "D2||7"}));

  auto without = Dept(not_unique, [](FieldOptions& t) {
    t.required = true;
    t.default_value = Variant::Missing();
  });
  without->SetFields(Set({{"FID", Variant::Text("D3")}}));
  EXPECT_EQ(Report(Raised([&] { without->ExecInsert(); })),
            (std::vector<std::string>{"10000", "必须输入的数据不能为空",
                                      "10035", "会计期间"}));
}

TEST_F(BuilderTest, ErrorReports) {
  struct Case {
    const char* name;
    std::function<void(BuilderTest&)> run;
    std::vector<std::string> report;
  };
  const std::vector<Case> cases = {
      {"required",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FName", Variant::Text("n")}}));
         b->ExecInsert();
       },
       {"10000", "必须输入的数据不能为空", "10022", "费用部门"}},
      {"conversion",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set(
             {{"FID", Variant::Text("D1")}, {"FType", Variant::Text("abc")}}));
         b->ExecInsert();
       },
       {"10004", "数据类型不符，无法转换", "10035", "会计期间 = 'abc'"}},
      {"length",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FID", Variant::Text("ELEVENCHARS")}}));
         b->ExecInsert();
       },
       {"10005", "数据长度超过允许的长度", "10022",
        "费用部门 = 'ELEVENCHARS'"}},
      {"unique",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FID", Variant::Text("D1")},
                           {"FName", Variant::Text("Sales")}}));
         b->ExecInsert();
       },
       {"10006", "该数据已经存在，不能重复", "10015", "成本项目 ='Sales'"}},
      {"row exists",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FID", Variant::Text("D0")}}));
         b->ExecInsert();
       },
       {"10007", "该记录已经存在", "", ""}},
      {"row missing",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FID", Variant::Text("ZZ")}}));
         b->CheckFields(false, false);
       },
       {"10008", "要修改的记录不存在", "", ""}},
      {"layout",
       [](BuilderTest& t) {
         auto b = t.Dept([](FieldOptions& n) { n.layout = "A,B,C"; });
         b->SetFields(Set(
             {{"FID", Variant::Text("D1")}, {"FName", Variant::Text("D")}}));
         b->ExecInsert();
       },
       {"10009", "数据不在允许的取值范围内", "10015", "成本项目 ='D'"}},
      {"source",
       [](BuilderTest& t) {
         auto b =
             t.Dept([](FieldOptions& n) { n.source_id = "CB_BmItem.FID"; });
         b->SetFields(Set(
             {{"FID", Variant::Text("D1")}, {"FName", Variant::Text("X")}}));
         b->ExecInsert();
       },
       {"10010", "引用的编码或记录不存在", "10015", "成本项目 ='X'"}},
      {"update row missing",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FName", Variant::Text("n")}}));
         auto filter = Set({{"FID", Variant::Text("ZZ")}});
         b->ExecUpdate(filter);
       },
       {"10010", "引用的编码或记录不存在", "", ""}},
      {"update lacks key",
       [](BuilderTest& t) {
         auto b = t.Dept();
         b->SetFields(Set({{"FName", Variant::Text("n")}}));
         auto filter = Set({{"FName", Variant::Text("Sales")}});
         b->ExecUpdate(filter);
       },
       {"1", "条件关键字不全", "", ""}},
      {"update-insert lacks key",
       [](BuilderTest& t) {
         auto b = t.Dept();
         auto filter = Set({{"FType", Variant::I4(1)}});
         b->ExecUpdateInsert(filter);
       },
       {"2", "条件关键字不全", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Report(Raised([&] { c.run(*this); })), c.report);
  }
  // The source of the existing reference passes.
  auto b = Dept([](FieldOptions& n) { n.source_id = "CB_BmItem.FID"; });
  b->SetFields(
      Set({{"FID", Variant::Text("D1")}, {"FName", Variant::Text("M")}}));
  EXPECT_TRUE(b->ExecInsert());
}

TEST_F(BuilderTest, LayoutListsAndRanges) {
  struct Case {
    const char* layout;
    bool on_type;  // FType (integer) instead of FName (text)
    Variant value;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"A,B,C", false, Variant::Text("b"), true},
      {"A,B,C", false, Variant::Text("D"), false},
      {"1-5", true, Variant::I4(3), true},
      {"1-5", true, Variant::Text("5"), true},
      {"1-5", true, Variant::I4(7), false},
      {"0,2-4", true, Variant::I4(1), false},
      {"0,2-4", true, Variant::I4(0), true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + " " + c.value.ToText());
    auto set_layout = [&](FieldOptions& o) { o.layout = c.layout; };
    auto b = c.on_type ? Dept(nullptr, set_layout) : Dept(set_layout);
    b->SetFields(Set({{"FID", Variant::Text("N" + std::to_string(++n))},
                      {c.on_type ? "FType" : "FName", c.value}}));
    EXPECT_EQ(Raised([&] { b->ExecInsert(); }).number(),
              c.accepted ? 0 : 10009);
  }
}

// A value is checked against the type its column is described with.
TEST_F(BuilderTest, ValuesConvertToTheDescribedType) {
  const struct {
    int32_t type;  // ADO data type code of FType
    const char* value;
    bool accepted;
  } cases[] = {
      {2, "70000", false}, {4, "1e39", false},         {4, "1.5", true},
      {5, "x", false},     {11, "yes", false},         {11, "true", true},
      {16, "300", false},  {135, "2005-02-30", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.value);
    auto b = Dept(nullptr, nullptr, c.type);
    b->SetFields(Set({{"FID", Variant::Text("T" + std::to_string(++n))},
                      {"FType", Variant::Text(c.value)}}));
    EXPECT_EQ(Raised([&] { b->ExecInsert(); }).number(),
              c.accepted ? 0 : 10004);
  }
}

TEST_F(BuilderTest, DeleteByKeyColumnsOnly) {
  SeedBalances();
  auto b = Balance();
  auto filter = Set({{"FEndBal", Variant::I4(5)},
                     {"FProductID", Variant::Text("P1")},
                     {"FYear", Variant::Text("2005")},
                     {"FPeriod", Variant::I4(10)},
                     {"FCostID", Variant::Text("C1")},
                     {"FExpDeptID", Variant::Text("D1")},
                     {"Junk", Variant::I4(1)}});
  const auto original = filter;
  EXPECT_TRUE(b->ExecDelete(filter));
  EXPECT_NE(filter, original);
  EXPECT_EQ(filter->Keys(),
            (std::vector<std::string>{"FYear", "FPeriod", "FCostID",
                                      "FExpDeptID", "FProductID"}));
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CB_CostBalance"), "2");
}

TEST_F(BuilderTest, DeleteWithSomeKeysUsesEveryDescribedColumnHeld) {
  SeedBalances();
  auto b = Balance();
  auto filter = Set({{"FEndBal", Variant::I4(5)},
                     {"FPeriod", Variant::I4(10)},
                     {"FYear", Variant::I4(2005)}});
  const auto original = filter;
  b->ExecDelete(filter);
  EXPECT_EQ(filter, original);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CB_CostBalance"), "1");

  // No described column: error 5 before anything is sent.
  auto junk = Set({{"Junk", Variant::I4(1)}});
  const int64_t before = data::StatementsRun();
  EXPECT_EQ(Raised([&] { b->ExecDelete(junk); }).number(), 5);
  EXPECT_EQ(data::StatementsRun(), before);
}

TEST_F(BuilderTest, UpdateMergesTheStoredRowAndChecksNewKeys) {
  auto b = Dept();
  b->SetFields(Set({{"FName", Variant::Text("Direct sales")}}));
  auto filter = Set({{"FID", Variant::Text("D0")}});
  StartTrace();
  EXPECT_TRUE(b->ExecUpdate(filter));
  const std::string texts = TraceTexts();
  EXPECT_EQ(texts.substr(0, texts.find('\n')),
            "SELECT * FROM CB_BmExpDept WHERE  FID=? ");
  EXPECT_EQ(texts.substr(texts.rfind('\n', texts.size() - 2) + 1),
            "UPDATE CB_BmExpDept SET  FID=? , FName=? , FType=?  WHERE  FID=? "
            "\n");
  EXPECT_EQ(Rows("SELECT FID, FName, FType FROM CB_BmExpDept ORDER BY FID"),
            (std::vector<std::string>{"D0|Direct sales|1", "D9|Works|2"}));

  // A key changed to one that exists is a new row that exists.
  b->SetFields(Set({{"FID", Variant::Text("D9")}}));
  EXPECT_EQ(Raised([&] { b->ExecUpdate(filter); }).number(), 10007);
}

TEST_F(BuilderTest, UpdateInsertInsertsThenUpdates) {
  auto b = Dept();
  b->SetFields(
      Set({{"FID", Variant::Text("D5")}, {"FName", Variant::Text("One")}}));
  auto filter = Set({{"FID", Variant::Text("D5")}, {"FType", Variant::I4(9)}});
  EXPECT_TRUE(b->ExecUpdateInsert(filter));
  EXPECT_EQ(filter->Keys(), std::vector<std::string>{"FID"});
  b->SetFields(Set({{"FType", Variant::I4(3)}}));
  EXPECT_TRUE(b->ExecUpdateInsert(filter));
  EXPECT_EQ(Scalar("SELECT FName||'|'||FType FROM CB_BmExpDept WHERE "
                   "FID='D5'"),
            "One|3");
}

TEST_F(BuilderTest, BmIDUsed) {
  auto b = Dept();
  StartTrace();
  EXPECT_FALSE(b->BmIDUsed("CB_BmStandardX", "FID", "S2"));
  EXPECT_FALSE(b->BmIDUsed("CB_BmStandard", "FID", "O'Neil", "FName='x'"));
  EXPECT_EQ(TraceTexts(),
            "SELECT FID FROM CB_BmStandard WHERE FID='S2'\n"
            "SELECT FID FROM CB_BmStandard WHERE FID='O''Neil' AND "
            "FName='x'\n");
  for (const char* used : {"S1", "O'Neil"}) {
    EXPECT_EQ(
        Report(Raised([&] { b->BmIDUsed("CB_BmStandard", "FID", used); })),
        (std::vector<std::string>{"12222", "该编码已经被使用，不能修改删除", "",
                                  ""}));
  }
}

}  // namespace
}  // namespace marl::transfer_test
