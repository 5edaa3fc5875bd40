#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/cparse.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace marl::data {
namespace {

// A field of the grammar table with \t, \n and \\ read back.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return out;
}

struct GrammarCase {
  std::string name, input;
  std::vector<std::pair<std::string, std::string>> pairs;  // must be held
  std::vector<std::string> absent;  // lookups that must fail with 5
  int32_t error = 0;                // expected ParseString error, 0 = none
};

// The cases of data/cparse.txt (its header tells the format).
std::vector<GrammarCase> GrammarCases() {
  std::vector<GrammarCase> cases;
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/data/cparse.txt");
  bool input_next = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=== ", 0) == 0) {
      cases.push_back({line.substr(4), "", {}, {}, 0});
      input_next = true;
    } else if (cases.empty()) {
      continue;  // the header
    } else if (input_next) {
      cases.back().input = Unescape(line);
      input_next = false;
    } else if (line.rfind("+", 0) == 0) {
      const size_t tab = line.find('\t');
      cases.back().pairs.emplace_back(Unescape(line.substr(1, tab - 1)),
                                      Unescape(line.substr(tab + 1)));
    } else if (line.rfind("-", 0) == 0) {
      cases.back().absent.push_back(Unescape(line.substr(1)));
    } else if (line.rfind("! ", 0) == 0) {
      cases.back().error = std::stoi(line.substr(2));
    }
  }
  EXPECT_GE(cases.size(), 15u);
  return cases;
}

// 50,000 pairs "k<i> = v<i> ;" and a tail of blanks: a parse reads the text
// once (long strings used to be copied for every pair).
GrammarCase ManyPairs() {
  GrammarCase c{"ManyPairs", "", {}, {"k50000"}, 0};
  for (int i = 0; i < 50000; ++i) {
    c.input += "k" + std::to_string(i) + " = v" + std::to_string(i) + " ;";
  }
  c.input += std::string(100000, ' ');
  c.pairs = {{"k0", "v0"}, {"k25000", "v25000"}, {"k49999", "v49999"}};
  return c;
}

TEST(CParse, ReadsPairsAsTheGrammarTableSays) {
  std::vector<GrammarCase> cases = GrammarCases();
  cases.push_back(ManyPairs());
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.name);
    CParse parse;
    if (c.error == 0) {
      EXPECT_TRUE(parse.ParseString(c.input));
    } else {
      try {
        parse.ParseString(c.input);
        ADD_FAILURE() << "expected error " << c.error;
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
}

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
