// Translate() for the embedded database: command text in, node tree out,
// from the tables tsql/translate.txt (what each text becomes) and
// tsql/refusals.txt (what each dialect refuses, and why).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/table.h"
#include "tsql/dump.h"

namespace marl::data::tsql {
namespace {

TEST(TranslateTest, TranslatesEveryCase) {
  const std::vector<GoldenCase> cases = ReadCases("translate.txt");
  ASSERT_GE(cases.size(), 25u);
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.expected.count("sqlite"), 1u);
    const std::string& want = c.expected.at("sqlite");
    EXPECT_EQ(Outcome(c.text, Dialect::kSqlite), want);
    // The script writes when any of its statements does.
    if (want.rfind("refused: ", 0) != 0) {
      EXPECT_EQ(Translate(c.text).writes,
                want.find("EXEC!") != std::string::npos);
    }
  }
}

TEST(TranslateTest, CountsPositionalMarkersOverTheWholeText) {
  Script s = Translate("SELECT ? ; UPDATE t SET a = ? WHERE b = '?' AND c = ?");
  EXPECT_EQ(s.positional_count, 3);
  ASSERT_EQ(s.nodes.size(), 2u);
  ASSERT_EQ(s.nodes[1].stmt.slots.size(), 2u);
  EXPECT_EQ(s.nodes[1].stmt.slots[0].position, 1);
  EXPECT_EQ(s.nodes[1].stmt.slots[1].position, 2);
  EXPECT_EQ(s.nodes[1].stmt.sql,
            "UPDATE t SET a = ?1 WHERE b = '?' AND c = ?2");
}

// Each line of refusals.txt: a text, a tab, words its refusal names.
TEST(TranslateTest, RefusesWhatWouldChangeMeaningOrCannotRun) {
  const auto rows = test::ReadTable("tsql/refusals.txt", 2);
  for (const test::TableRow& row : rows) {
    const std::string &text = row[0], &words = row[1];
    for (Dialect dialect :
         {Dialect::kSqlite, Dialect::kSqliteOdbc, Dialect::kPostgres}) {
      SCOPED_TRACE(text);
      try {
        Translate(text, dialect);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kDbSyntax);
        EXPECT_NE(e.description().find(words), std::string::npos)
            << e.description();
      }
    }
  }
  EXPECT_GE(rows.size(), 40u);
}

// IF and BEGIN nest as deep as a batch reasonably does; a deeper text is
// refused, never a stack overflow.
TEST(TranslateTest, NestsIfAndBeginToALimit) {
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += i % 2 ? "BEGIN " : "IF 1 = 1 ";
    text += "SELECT 1";
    for (int i = levels - 1; i >= 0; --i) text += i % 2 ? " END" : "";
    return text;
  };
  Script s = Translate(nested(64));
  ASSERT_EQ(s.nodes.size(), 1u);
  EXPECT_EQ(s.nodes[0].kind, Node::Kind::If);
  for (int levels : {65, 200000}) {
    try {
      Translate(nested(levels));
      ADD_FAILURE() << levels << " levels accepted";
    } catch (const Error& e) {
      EXPECT_NE(e.description().find("nested more than 64 levels"),
                std::string::npos)
          << e.description();
    }
  }
}

}  // namespace
}  // namespace marl::data::tsql
