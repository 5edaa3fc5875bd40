// The shared operations and error texts against a database made from the
// schema: profile reads, the value check and its error texts, fallback
// texts per language, the resource-text loader and the property lookup.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "common/errinfo.h"
#include "common/globals.h"
#include "marlcheckout/registry.h"
#include "siblings/res_loader.h"
#include "support/frame_fixture.h"
#include "support/table.h"

namespace marl::frame_test {
namespace {

using common::CheckValue;
using common::GetErrCodeText;
using common::GetErrItemText;
using common::GetProfileValue;
using common::GetPropValue;
using common::LoadResText;

class GlobalsTest : public FrameDbTest {};

TEST_F(GlobalsTest, ProfileReadSendsCategoryThenKeyAndFallsBack) {
  auto ds = Source("en");
  EXPECT_EQ(GetProfileValue(*ds, "CurrentYear", "CB").ToText(), "2005");
  // Key and category swapped find nothing.
  EXPECT_EQ(GetProfileValue(*ds, "CB", "CurrentYear").ToText(), "");
  EXPECT_EQ(GetProfileValue(*ds, "NoSuchKey", "CB").Type(), VarType::Text);
  EXPECT_EQ(GetProfileValue(*ds, "NoSuchKey", "CB", Variant::I4(7)).AsI4(), 7);

  // Only the first of two rows for one setting counts; nothing is cached.
  Exec(
      "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES "
      "('XX', 'Twice', 'first'), ('XX', 'Twice', 'second')");
  EXPECT_EQ(GetProfileValue(*ds, "Twice", "XX").ToText(), "first");
  Exec("UPDATE t_SystemProfile SET FValue = '2031' WHERE FKey = 'CurrentYear'");
  EXPECT_EQ(GetProfileValue(*ds, "CurrentYear", "CB").ToText(), "2031");
}

TEST_F(GlobalsTest, CheckValueRaisesItsThreeErrorsWithTheirTexts) {
  auto ds = Source("en");
  const std::string item = "10040";
  for (const auto& c : test::ReadTable("common/check_value.txt", 8)) {
    SCOPED_TRACE(c[0]);
    Variant value = test::ValueOf(c[1]);
    auto check = [&] {
      CheckValue(*ds, item, value, std::stoi(c[2]), std::stoi(c[3]),
                 c[4] == "required");
    };
    const int32_t error = std::stoi(c[5]);
    if (error == 0) {
      EXPECT_NO_THROW(check());
      const Variant after = test::ValueOf(c[7]);
      EXPECT_EQ(value.Type(), after.Type());
      EXPECT_TRUE(after.IsNull() || value == after);
      continue;
    }
    Error e = Raised(check);
    EXPECT_EQ(e.number(), error);
    EXPECT_EQ(e.source(), Scalar("SELECT FDescriptive_EN FROM CB_BmErrCode "
                                 "WHERE FCode = " +
                                 c[5]));
    EXPECT_EQ(e.description(), item);
    if (c[6] != "-") {
      EXPECT_EQ(e.help_file(), c[6]);
    }
    EXPECT_EQ(e.help_context(), 0);
  }
}

TEST_F(GlobalsTest, CheckValueOfAnUnknownItemUsesTheFallbackText) {
  Variant value;
  Error e =
      Raised([&] { CheckValue(*Source("en"), "424242", value, 8, 0, true); });
  EXPECT_EQ(e.help_file(), "Unknown error item");
  EXPECT_EQ(e.description(), "424242");
  // A value type without a value type code converts nothing.
  Variant guid = Variant::Text("{0000}");
  CheckValue(*Source("en"), "10040", guid, 0, 0, true);
  EXPECT_EQ(guid.AsText(), "{0000}");
}

TEST_F(GlobalsTest, ErrorTextsPerLanguageWithFallbacks) {
  struct Case {
    const char* language;
    const char* column;  // column of the code text
    const char* unknown_code;
    const char* unknown_item;
  };
  const Case cases[] = {
      {"chs", "FDescriptive", "未知错误类型", "未知错误项目"},
      {"cht", "FDescriptive_CHT", "未知錯誤類型", "未知錯誤項目"},
      {"en", "FDescriptive_EN", "Unknown error type", "Unknown error item"},
      // Any other language reads the Simplified Chinese column and has no
      // resource file, so the fallbacks stay Simplified Chinese.
      {"fr", "FDescriptive", "未知错误类型", "未知错误项目"},
      {"EN", "FDescriptive", "未知错误类型", "未知错误项目"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    auto ds = Source(c.language);
    EXPECT_EQ(GetErrCodeText(*ds, 10005),
              Scalar(std::string("SELECT ") + c.column +
                     " FROM CB_BmErrCode WHERE FCode = 10005"));
    EXPECT_EQ(GetErrCodeText(*ds, 99999), c.unknown_code);
    EXPECT_EQ(GetErrItemText(*ds, 10040), "数量");
    EXPECT_EQ(GetErrItemText(*ds, 99999), c.unknown_item);
  }
}

TEST_F(GlobalsTest, ErrorTextsRaiseWhatTheyCannotRead) {
  auto parser = std::make_shared<data::CParse>();
  parser->ParseString(Dsn().substr(0, Dsn().rfind(";LANGUAGE=")));
  data::CDataSource ds;
  ds.SetParseObject(parser);
  // No LANGUAGE key.
  EXPECT_EQ(Raised([&] { GetErrCodeText(ds, 10000); }).number(),
            err::kInvalidArgument);
  Exec("UPDATE CB_BmErrItem SET FDescriptive = NULL WHERE FItem = 10040");
  EXPECT_EQ(Raised([&] { GetErrItemText(*Source("en"), 10040); }).number(),
            err::kInvalidUseOfNull);
}

TEST_F(GlobalsTest, LoadResTextByLanguage) {
  EXPECT_EQ(LoadResText("合 计", "chs"), "合 计");
  EXPECT_EQ(LoadResText("合 计", "en"), "Total");
  EXPECT_EQ(LoadResText("  合计  ", "cht"), "合計");  // blanks trimmed
  EXPECT_EQ(LoadResText("not a key", "en"), "not a key");
  EXPECT_EQ(LoadResText("合计", "de"), "合计");  // no such file
  // The loader of the thread keeps the base name and the last language.
  auto& loader = data::ThreadResourceLoader();
  ASSERT_TRUE(loader);
  EXPECT_EQ(loader->Get("ResFileBaseName").ToText(), "HvCost");
  EXPECT_EQ(loader->Get("LanguageID").ToText(), "de");
}

TEST_F(GlobalsTest, LoadResTextReadsTheResourceDirectoryOfTheEnvironment) {
  std::ofstream(dir_ / "HvCost.en.txt")
      << "# test\n合计\tSum\\tall\r\n合计\tsecond\nno tab line\n";
  data::ThreadResourceLoader().reset();
  setenv("MARL_RESOURCE_DIR", dir_.c_str(), 1);
  const std::string text = LoadResText("合计", "en");
  unsetenv("MARL_RESOURCE_DIR");
  data::ThreadResourceLoader().reset();
  EXPECT_EQ(text, "Sum\tall");
}

class FailingLoader : public Dispatchable {
 public:
  const DispatchTable& Table() const override {
    static const DispatchTable table{"Broken", {}};
    return table;
  }
};

TEST_F(GlobalsTest, LoadResTextWithoutALoaderKeepsTheTextAndThePendingError) {
  Registry& registry = Registry::Instance();
  data::ThreadResourceLoader().reset();
  // A loader that answers nothing: every access fails.
  ClassInfo broken;
  broken.prog_id = ids::kResLoaderProgId;
  broken.clsid = ids::kResLoaderClsid;
  broken.factory = [] { return std::make_shared<FailingLoader>(); };
  registry.Register(broken);
  common::PendingError() = common::ErrorRecord{10005, "src", "desc", "help", 7};
  EXPECT_EQ(LoadResText("合计", "en"), "合计");
  EXPECT_EQ(common::PendingError().number, 10005);
  EXPECT_EQ(common::PendingError().source, "src");
  EXPECT_EQ(common::PendingError().help_context, 7);
  common::PendingError() = common::ErrorRecord();

  data::ThreadResourceLoader().reset();
  registry.Unregister(ids::kResLoaderProgId);
  EXPECT_EQ(LoadResText("合计", "en"), "合计");
  EXPECT_EQ(common::PendingError().number, 0);
  DllRegisterServer();
  EXPECT_EQ(LoadResText("合计", "en"), "Total");
}

TEST(GetPropValueTest, MatchesKeysOnlyWhereAKeyStarts) {
  for (const auto& c : test::ReadTable("common/prop_values.txt", 3)) {
    EXPECT_EQ(GetPropValue(c[0], c[1]), c[2]) << c[0];
  }
}

TEST(PeriodKeyTextTest, YearPlusTenThousandthsWithoutTrailingZeros) {
  for (const auto& c : test::ReadTable("common/period_keys.txt", 3)) {
    EXPECT_EQ(common::PeriodKeyText(std::stoi(c[0]), std::stoi(c[1])), c[2])
        << c[0] << "/" << c[1];
  }
}

TEST_F(GlobalsTest, RecordsetRowsBecomeValueSets) {
  auto ds = Source("en");
  auto rs = data::Recordset::Create();
  rs->CursorLocation = data::ado::kUseClient;
  rs->Open(
      "SELECT FCategory, FKey, FValue FROM t_SystemProfile "
      "ORDER BY FCategory, FKey",
      ds->Connection());
  rs->MoveNext();  // the list starts from the first row whatever the position
  auto list = common::RecordsetToItemList(*rs);
  ASSERT_EQ(list->Count(), 3u);
  EXPECT_TRUE(rs->Eof());
  auto first = list->Record(1);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Keys(),
            (std::vector<std::string>{"FCategory", "FKey", "FValue"}));
  EXPECT_EQ(first->Value("fkey").ToText(), "CurrentPeriod");
  EXPECT_EQ(list->Record(3)->Value("FValue").ToText(), "12");
}

// Taking the rows gives the list RecordsetToItemList gives, closes the
// recordset, and copies rather than moves rows a clone still reads.
TEST_F(GlobalsTest, TakenRowsMakeTheSameList) {
  auto ds = Source("en");
  auto open = [&] {
    auto rs = data::Recordset::Create();
    rs->Open("SELECT FCategory, FKey, FValue FROM t_SystemProfile",
             ds->Connection());
    return rs;
  };
  auto dump = [](const ItemList& list) {
    std::vector<std::string> rows;
    for (int32_t i = 1; i <= list.UBound(); ++i) {
      std::string row;
      for (const std::string& k : list.Record(i)->Keys()) {
        row += k + "=" + list.Record(i)->Value(k).ToText() + ";";
      }
      rows.push_back(row);
    }
    return rows;
  };
  const auto expected = dump(*common::RecordsetToItemList(*open()));
  ASSERT_EQ(expected.size(), 3u);
  for (const bool with_clone : {false, true}) {
    auto rs = open();
    auto clone = with_clone ? rs->Clone() : nullptr;
    rs->MoveNext();
    EXPECT_EQ(dump(*common::TakeRecordsetToItemList(*rs)), expected);
    EXPECT_EQ(rs->State(), data::ado::kStateClosed);
    if (clone) {
      EXPECT_EQ(dump(*common::RecordsetToItemList(*clone)), expected);
    }
  }
  auto closed = open();
  closed->Close();
  EXPECT_EQ(common::TakeRecordsetToItemList(*closed)->Count(), 0u);
}

TEST(ResLoaderTest, ParsesTheResourceFormat) {
  const std::string content =
      "\xEF\xBB\xBF# comment\r\n"
      "\n"
      "a\\tb\tline\\none\\\\two\\x\r\n"
      "dup\tfirst\n"
      "dup\tsecond\n"
      "no tab here\n"
      "empty\t\n";
  auto entries = siblings::ResLoader::ParseResources(content);
  EXPECT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries["a\tb"], "line\none\\two\\x");
  EXPECT_EQ(entries["dup"], "first");
  EXPECT_EQ(entries["empty"], "");
}

}  // namespace
}  // namespace marl::frame_test
