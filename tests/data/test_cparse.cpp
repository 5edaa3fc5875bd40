#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/cparse.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace marl::data {
namespace {

struct GrammarCase {
  const char* name;
  std::string input;
  std::vector<std::pair<std::string, std::string>> pairs;  // must be held
  std::vector<std::string> absent;  // lookups that must fail with 5
  int32_t error = 0;                // expected ParseString error, 0 = none
};

class GrammarTest : public ::testing::TestWithParam<GrammarCase> {};

// 50,000 pairs "k<i> = v<i> ;" and a tail of blanks: a parse reads the text
// once (long strings used to be copied for every pair).
std::string ManyPairs() {
  std::string s;
  for (int i = 0; i < 50000; ++i) {
    s += "k" + std::to_string(i) + " = v" + std::to_string(i) + " ;";
  }
  return s + std::string(100000, ' ');
}

TEST_P(GrammarTest, ReadsPairs) {
  const GrammarCase& c = GetParam();
  CParse parse;
  if (c.error == 0) {
    EXPECT_TRUE(parse.ParseString(c.input));
  } else {
    try {
      parse.ParseString(c.input);
      FAIL() << "expected error " << c.error;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
  EXPECT_EQ(parse.PropsString(), c.input);
  for (const auto& [key, value] : c.pairs) {
    EXPECT_EQ(parse.GetProperty(key), value) << "key [" << key << "]";
  }
  for (const auto& key : c.absent) {
    try {
      parse.GetProperty(key);
      ADD_FAILURE() << "key [" << key << "] should be absent";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidArgument) << "key [" << key << "]";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    CParse, GrammarTest,
    ::testing::Values(
        GrammarCase{"Empty", "", {}, {"ConnectString", ""}},
        GrammarCase{
            "Plain",
            "ConnectString=Provider=SQLite;DBMS Name=SQLite",
            {{"ConnectString", "Provider=SQLite"}, {"DBMS Name", "SQLite"}},
            {"Data Source"}},
        GrammarCase{"BlanksEverywhere",
                    "  Key  =   some value  ;  Other =  { braced }  ;",
                    {{"Key", "some value"}, {"Other", "braced"}},
                    {"  Key  "}},
        GrammarCase{"TabsAndBreaksKept",
                    "A=\tx\t;B=\ny",
                    {{"A", "\tx\t"}, {"B", "\ny"}},
                    {}},
        GrammarCase{
            "BracedHoldsSemicolonAndEquals",
            "ConnectString={Provider=SQLite;Data Source=a.db};X=1",
            {{"ConnectString", "Provider=SQLite;Data Source=a.db"}, {"X", "1"}},
            {"Data Source"}},
        GrammarCase{"TextAfterBraceDropped",
                    "A={v} lost text;B=2",
                    {{"A", "v"}, {"B", "2"}},
                    {"lost text"}},
        GrammarCase{
            "UnclosedBraceRunsToEnd", "A={abc;B=2", {{"A", "abc;B=2"}}, {"B"}},
        GrammarCase{"EmptyBracesAndEmptyValue",
                    "A={};B=;C=3",
                    {{"A", ""}, {"B", ""}, {"C", "3"}},
                    {}},
        GrammarCase{"EqualsInsideUnbracedValue",
                    "A=x=y=z;B=2",
                    {{"A", "x=y=z"}, {"B", "2"}},
                    {"x"}},
        GrammarCase{"TrailingSemicolon", "A=1;", {{"A", "1"}}, {""}},
        GrammarCase{"LeadingEmptyKeyStops", "=x;A=1", {}, {"A"}},
        GrammarCase{"BlankKeyStops", "A=1;   =x;B=2", {{"A", "1"}}, {"B"}},
        GrammarCase{"EmptySegmentNotSkipped",
                    "A=1;;B=2",
                    {{"A", "1"}, {";B", "2"}},
                    {"B"}},
        GrammarCase{"SegmentWithoutEqualsJoinsNextKey",
                    "A=1;junk;B=2",
                    {{"A", "1"}, {"junk;B", "2"}},
                    {"junk", "B"}},
        GrammarCase{"LastSegmentWithoutEquals",
                    "A=1;last",
                    {{"A", "1"}, {"last", ""}},
                    {}},
        GrammarCase{
            "KeysIgnoreCase",
            "LANGUAGE=chs;dbms name=SQLite",
            {{"language", "chs"}, {"Language", "chs"}, {"DBMS NAME", "SQLite"}},
            {}},
        GrammarCase{"ManyPairs",
                    ManyPairs(),
                    {{"k0", "v0"}, {"k25000", "v25000"}, {"k49999", "v49999"}},
                    {"k50000"}},
        GrammarCase{"RepeatedKeyKeepsEarlierPairs",
                    "A=1;B=2;b=3;C=4",
                    {{"A", "1"}, {"B", "2"}},
                    {"C"},
                    err::kDuplicateKey}),
    [](const ::testing::TestParamInfo<GrammarCase>& info) {
      return std::string(info.param.name);
    });

TEST(CParse, FixedKeyAccessors) {
  CParse parse;
  parse.ParseString(
      "ConnectString={Provider=SQLite;Data Source=x.db};DBMS Name=SQLite;"
      "dbms version=3.40;UserName=admin;UserID= -7 ;Language=cht;"
      "AcctType= gY ");
  EXPECT_EQ(parse.ConStr(), "Provider=SQLite;Data Source=x.db");
  EXPECT_EQ(parse.ConDBMSName(), "SQLite");
  EXPECT_EQ(parse.ConDBMSVersion(), "3.40");
  EXPECT_EQ(parse.UserName(), "admin");
  EXPECT_EQ(parse.UserID(), -7);
  EXPECT_EQ(parse.LanguageID(), "cht");
  EXPECT_TRUE(parse.IsIndustry());
}

TEST(CParse, AccessorFailures) {
  struct Case {
    std::string input;
    int32_t user_id_error;
    bool industry;
  };
  const Case cases[] = {
      {"UserID=abc;AcctType=G Y", err::kTypeMismatch, false},
      {"UserID=99999999999;AcctType=gy", err::kOverflow, true},
      {"UserID=;AcctType=GYX", err::kTypeMismatch, false},
  };
  for (const Case& c : cases) {
    CParse parse;
    parse.ParseString(c.input);
    EXPECT_EQ(parse.IsIndustry(), c.industry) << c.input;
    try {
      parse.UserID();
      ADD_FAILURE() << c.input;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.user_id_error) << c.input;
    }
  }
}

TEST(CParse, NeverParsedAndReparsed) {
  CParse parse;
  EXPECT_EQ(parse.PropsString(), "");
  EXPECT_THROW(parse.ConStr(), Error);

  parse.ParseString("A=1");
  parse.ParseString("B=2");
  EXPECT_EQ(parse.PropsString(), "B=2");
  EXPECT_EQ(parse.GetProperty("B"), "2");
  try {
    parse.GetProperty("A");
    ADD_FAILURE() << "pairs of the earlier string must be dropped";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kInvalidArgument);
  }
}

// A stand-in for the resource-text loader that counts its Unload calls.
class FakeLoader : public Dispatchable {
 public:
  explicit FakeLoader(bool fail) : fail_(fail) {}
  int unloads = 0;

  const DispatchTable& Table() const override {
    static const DispatchTable table = [] {
      DispatchTable t;
      t.class_name = "FakeLoader";
      MemberInfo m;
      m.name = "Unload";
      m.dispid = 1;
      m.handler = [](Dispatchable& self, std::vector<Variant>&) {
        auto& loader = static_cast<FakeLoader&>(self);
        ++loader.unloads;
        if (loader.fail_) throw Error::Of(err::kFail, "FakeLoader");
        return Variant();
      };
      t.members.push_back(m);
      return t;
    }();
    return table;
  }

 private:
  bool fail_;
};

TEST(CParse, DestructionReleasesThreadLoader) {
  for (bool fail : {false, true}) {
    auto loader = std::make_shared<FakeLoader>(fail);
    ThreadResourceLoader() = loader;
    {
      CParse parse;
      parse.ParseString("A=1");
    }
    EXPECT_EQ(loader->unloads, 1);
    EXPECT_EQ(ThreadResourceLoader(), nullptr);
  }
  // With an empty slot nothing is called and the slot stays empty.
  { CParse parse; }
  EXPECT_EQ(ThreadResourceLoader(), nullptr);
}

}  // namespace
}  // namespace marl::data
