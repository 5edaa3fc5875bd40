#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/cparse.h"
#include "data/provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"
#include "platform/member_builders.h"
#include "support/raised.h"

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
  std::vector<std::string> absent;          // lookups that must fail with 5
  std::map<std::string, std::string> tags;  // "@KEY<tab>VALUE" lines
  int32_t error = 0;                        // expected error, 0 = none
  std::string error_words;                  // in its description
};

// The cases of a table of tests/golden/data (its header tells the format).
std::vector<GrammarCase> Cases(const std::string& file) {
  std::vector<GrammarCase> cases;
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/data/" + file);
  bool input_next = false;
  for (std::string line; std::getline(in, line);) {
    const std::string body = line.empty() ? "" : line.substr(1);
    const size_t tab = body.find('\t');
    const std::string key = Unescape(body.substr(0, tab));
    const std::string value =
        tab == std::string::npos ? "" : Unescape(body.substr(tab + 1));
    if (line.rfind("=== ", 0) == 0) {
      cases.emplace_back().name = line.substr(4);
      input_next = true;
    } else if (cases.empty()) {
      continue;  // the header
    } else if (input_next) {
      cases.back().input = Unescape(line);
      input_next = false;
    } else if (line.empty()) {
      continue;
    } else if (line[0] == '+') {
      cases.back().pairs.emplace_back(key, value);
    } else if (line[0] == '-') {
      cases.back().absent.push_back(key);
    } else if (line[0] == '@') {
      cases.back().tags[key] = value;
    } else if (line.rfind("! ", 0) == 0) {
      cases.back().error = std::stoi(line.substr(2));
      cases.back().error_words = value;
    }
  }
  EXPECT_GE(cases.size(), 15u) << file;
  return cases;
}

// 50,000 pairs "k<i> = v<i> ;" and a tail of blanks: a parse reads the text
// once (long strings used to be copied for every pair).
GrammarCase ManyPairs() {
  GrammarCase c;
  c.name = "ManyPairs";
  c.absent = {"k50000"};
  for (int i = 0; i < 50000; ++i) {
    c.input += "k" + std::to_string(i) + " = v" + std::to_string(i) + " ;";
  }
  c.input += std::string(100000, ' ');
  c.pairs = {{"k0", "v0"}, {"k25000", "v25000"}, {"k49999", "v49999"}};
  return c;
}

TEST(CParse, ReadsPairsAsTheGrammarTableSays) {
  std::vector<GrammarCase> cases = Cases("cparse.txt");
  cases.push_back(ManyPairs());
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.name);
    CParse parse;
    EXPECT_EQ(test::Raised([&] { parse.ParseString(c.input); }).number(),
              c.error);
    EXPECT_EQ(parse.PropsString(), c.input);
    for (const auto& [key, value] : c.pairs) {
      EXPECT_EQ(parse.GetProperty(key), value) << "key [" << key << "]";
    }
    for (const auto& key : c.absent) {
      EXPECT_EQ(test::Raised([&] { parse.GetProperty(key); }).number(),
                err::kInvalidArgument)
          << "key [" << key << "]";
    }
    if (c.tags.count("UserID")) {
      const std::string& want = c.tags.at("UserID");
      int32_t id = 0;
      const Error e = test::Raised([&] { id = parse.UserID(); });
      EXPECT_EQ(want[0] == '!' ? "! " + std::to_string(e.number())
                               : std::to_string(id),
                want);
    }
    if (c.tags.count("IsIndustry")) {
      EXPECT_EQ(parse.IsIndustry(), c.tags.at("IsIndustry") == "1");
    }
  }
}

// A connection string's pairs and the provider it reaches (with the string
// that provider receives: an OLE DB string for SQL Server becomes the
// FreeTDS driver's, never one without a server).
TEST(ConnectionParams, ParsedAndRoutedAsTheTableSays) {
  for (const GrammarCase& c : Cases("connection_strings.txt")) {
    SCOPED_TRACE(c.name);
    const ConnectionParams p = ConnectionParams::Parse(c.input);
    EXPECT_EQ(p.text, c.input);
    EXPECT_EQ(p.values, (std::map<std::string, std::string>(c.pairs.begin(),
                                                            c.pairs.end())));
    ProviderChoice choice;
    const Error e = test::Raised([&] { choice = ChooseProvider(c.input); });
    EXPECT_EQ(e.number(), c.error);
    EXPECT_NE(e.description().find(c.error_words), std::string::npos);
    if (c.error != 0) continue;
    EXPECT_EQ(choice.provider, c.tags.at("provider"));
    EXPECT_EQ(choice.connection_string,
              c.tags.count("string") ? c.tags.at("string") : c.input);
  }
  EXPECT_EQ(ConnectionParams::Parse("X=1").Get("y", "none"), "none");
}

TEST(CParse, NeverParsedAndReparsed) {
  CParse parse;
  EXPECT_EQ(parse.PropsString(), "");
  EXPECT_THROW(parse.ConStr(), Error);

  parse.ParseString("A=1");
  parse.ParseString("B=2");
  EXPECT_EQ(parse.PropsString(), "B=2");
  EXPECT_EQ(parse.GetProperty("B"), "2");
  // The pairs of the earlier string are dropped.
  EXPECT_EQ(test::Raised([&] { parse.GetProperty("A"); }).number(),
            err::kInvalidArgument);
}

// A stand-in for the resource-text loader that counts its Unload calls.
class FakeLoader : public Dispatchable {
 public:
  explicit FakeLoader(bool fail) : fail(fail) {}
  const bool fail;
  int unloads = 0;

  const DispatchTable& Table() const override {
    static const DispatchTable table{
        "FakeLoader",
        {members::Method("Unload", 1, {}, members::kAny,
                         [](Dispatchable& self, std::vector<Variant>&) {
                           auto& loader = members::Self<FakeLoader>(self);
                           ++loader.unloads;
                           if (loader.fail) {
                             throw Error::Of(err::kFail, "FakeLoader");
                           }
                           return Variant();
                         })}};
    return table;
  }
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
