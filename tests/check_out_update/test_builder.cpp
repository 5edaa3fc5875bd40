// CommandBuilder: what it sends, what it checks and how it reports.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check_out_update/command_builder.h"
#include "check_out_update/transfer_ops.h"
#include "data/provider.h"
#include "support/golden.h"
#include "support/table.h"
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

// A key column described again under the same name in another letter case
// (not as a key) takes part in the row check too, with the key's value.
TEST_F(BuilderTest, RowCheckNamesEveryColumnOfAKeyName) {
  auto b = Dept();
  b->DescribField("fid", 202, FieldOptions());
  b->SetFields(Set({{"FID", Variant::Text("D2")}}));
  StartTrace();
  b->CheckFields(true, false);
  const std::string trace = TraceTexts();
  EXPECT_NE(trace.find(" FROM CB_BmExpDept WHERE  FID=? AND fid=? \n"),
            std::string::npos)
      << trace;
}

// The cases of tests/golden/check_out_update/builder.json, in order on one
// database: each a builder over CB_BmExpDept (Dept()) with the options of
// FName and FType changed as "name_opts" and "type_opts" say (and FType's
// type code), one operation on "values" (written as in support/table.h),
// and the error report, or just the error number (0: none), it ends with.
TEST_F(BuilderTest, CasesOfTheTable) {
  std::ifstream in(std::string(MARL_GOLDEN_DIR) +
                   "/check_out_update/builder.json");
  const auto cases = test::golden::Json::parse(in);
  ASSERT_GE(cases.size(), 25u);
  auto set = [](const test::golden::Json& values) {
    auto s = FieldValueSet::Create();
    for (const auto& [k, v] : values.items()) s->SetValue(k, test::ValueOf(v));
    return s;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at("name").get<std::string>());
    auto options = [&](const char* key) -> std::function<void(FieldOptions&)> {
      const auto o = c.value(key, test::golden::Json::object());
      return [o](FieldOptions& f) {
        f.layout = o.value("layout", f.layout);
        f.source_id = o.value("source", f.source_id);
        f.index = o.value("index", f.index);
        f.required = o.value("required", f.required);
        if (o.contains("default"))
          f.default_value = test::ValueOf(o["default"]);
      };
    };
    auto b = Dept(options("name_opts"), options("type_opts"),
                  c.value("type_code", 3));
    if (c.contains("values")) b->SetFields(set(c["values"]));
    const std::string op = c.value("op", "insert");
    auto filter = set(c.value("filter", test::golden::Json::object()));
    const Error e = Raised([&] {
      if (op == "insert") {
        EXPECT_TRUE(b->ExecInsert());
      } else if (op == "check") {
        b->CheckFields(false, false);
      } else if (op == "update") {
        b->ExecUpdate(filter);
      } else {
        b->ExecUpdateInsert(filter);
      }
    });
    if (c.contains("report")) {
      EXPECT_EQ(Report(e), c["report"].get<std::vector<std::string>>());
    } else {
      EXPECT_EQ(e.number(), c.at("number").get<int32_t>());
    }
    const auto expected_rows = c.value("rows", test::golden::Json::object());
    for (const auto& [query, rows] : expected_rows.items()) {
      EXPECT_EQ(Rows(query), rows.get<std::vector<std::string>>());
    }
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

// ExecInsertRow(row) against SetFields(row's clone) + ExecInsert(), each on
// the same database state: the same result, error report, statements (texts
// and parameters) and rows, with the row and Fields left as they were. The
// cost balance builder ("balance") reads the row in place; the department
// builder (a unique column) goes through a clone.
TEST_F(BuilderTest, InsertRowIsInsertOfAClone) {
  const auto cases = test::golden::Json::parse(R"([
    {"balance": true, "values": {"FYear": "Text:2005", "FPeriod": "R8:10",
      "FCostID": "Text:C9", "FExpDeptID": "Text:D1", "FProductID": "Text:P1",
      "FCostName": "Null", "FBegBal": "I4:3"}},
    {"balance": true, "values": {"FYear": "I4:2005", "FPeriod": "I4:10",
      "FCostID": "Text:C1", "FExpDeptID": "Text:D1", "FProductID": "Text:P1"}},
    {"balance": true, "values": {"FYear": "I4:2005", "FPeriod": "I4:10",
      "FExpDeptID": "Text:D1", "FProductID": "Text:P1"}},
    {"balance": true, "values": {"FYear": "I4:2005", "FPeriod": "I4:10",
      "FCostID": "Text:C9", "FExpDeptID": "Text:D1", "FProductID": "Text:P2",
      "FEndBal": "Text:x"}},
    {"balance": true, "values": {"Other": "I4:1"}},
    {"balance": false, "values": {"FID": "Text:D1", "FName": "Text:Sales"}},
    {"balance": false, "values": {"FID": "Text:D2", "FType": "Text:4"}}
  ])");
  auto dump = [](const FieldValueSet& set) {
    std::string out;
    for (const std::string& k : set.Keys()) {
      const Variant v = set.Value(k);
      out += k + std::to_string(static_cast<int>(v.Type())) +
             (v.IsEmptyOrNull() ? "" : v.ToText()) + ";";
    }
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dump());
    std::vector<std::string> outcome[2];
    for (int in_place = 0; in_place < 2; ++in_place) {
      Exec(
          "DELETE FROM CB_CostBalance; DELETE FROM CB_BmExpDept;"
          "INSERT INTO CB_BmExpDept VALUES ('D0', 'Sales', 1)");
      SeedBalances();
      auto b = c["balance"].get<bool>() ? Balance() : Dept();
      auto row = FieldValueSet::Create();
      for (const auto& [k, v] : c["values"].items()) {
        row->SetValue(k, test::ValueOf(v));
      }
      const std::string row_before = dump(*row);
      const auto fields = b->Fields();
      bool sent = false;
      StartTrace();
      outcome[in_place] = Report(Raised([&] {
        if (!in_place) b->SetFields(row->Clone());
        sent = in_place ? b->ExecInsertRow(*row) : b->ExecInsert();
      }));
      data::SetTraceFile("");
      outcome[in_place].push_back(sent ? "sent" : "not sent");
      for (const auto& line : TraceLines()) {
        outcome[in_place].push_back(line.dump());
      }
      for (const char* table : {"CB_CostBalance", "CB_BmExpDept"}) {
        for (const std::string& r :
             Rows(std::string("SELECT * FROM ") + table + " ORDER BY 1,2,3")) {
          outcome[in_place].push_back(r);
        }
      }
      if (in_place) {
        EXPECT_EQ(dump(*row), row_before);
        EXPECT_EQ(b->Fields(), fields);
      }
    }
    EXPECT_EQ(outcome[1], outcome[0]);
  }
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
