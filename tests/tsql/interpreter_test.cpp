// RunScript() against a scripted executor: no database.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"

namespace marl::data::tsql {
namespace {

StatementResult Rows(std::vector<std::vector<Variant>> rows) {
  StatementResult r;
  r.has_rows = true;
  r.column_names = {"c"};
  r.column_types = {3};
  r.rows = std::move(rows);
  return r;
}

StatementResult Changes(int64_t n) {
  StatementResult r;
  r.changes = n;
  return r;
}

std::string Show(const Variant& v) {
  if (v.IsNull()) return "NULL";
  if (v.IsEmpty()) return "EMPTY";
  return v.ToText();
}

// Answers each statement by its SQL text; a SELECT without a scripted answer
// returns an empty rowset, anything else changes nothing.
class FakeExecutor : public StatementExecutor {
 public:
  std::map<std::string, StatementResult> answers;
  std::vector<std::string> sql;                 // in order of execution
  std::vector<std::vector<std::string>> bound;  // shown values per call

  StatementResult Execute(const Statement& stmt,
                          const std::vector<Variant>& values) override {
    sql.push_back(stmt.sql);
    std::vector<std::string> shown;
    for (const Variant& v : values) shown.push_back(Show(v));
    bound.push_back(shown);
    auto it = answers.find(stmt.sql);
    if (it != answers.end()) return it->second;
    StatementResult r;
    r.has_rows = stmt.sql.rfind("SELECT", 0) == 0;
    return r;
  }
};

ScriptResult RunText(const std::string& text, FakeExecutor& ex,
                     const std::vector<Variant>& params = {}) {
  return RunScript(Translate(text), ex, params);
}

TEST(InterpreterTest, SelectAssignTakesTheLastRowAndKeepsValuesOnNoRow) {
  const std::string text =
      "Declare @a int, @b int\nset @a = 7\nset @b = 8\n"
      "select @a = x, @b = y from t\nSELECT @a, @B";
  FakeExecutor many;
  many.answers["SELECT 7"] = Rows({{Variant::I4(7)}});
  many.answers["SELECT 8"] = Rows({{Variant::I4(8)}});
  many.answers["select x, y from t"] = Rows(
      {{Variant::I4(1), Variant::I4(2)}, {Variant::I4(3), Variant::Null()}});
  RunText(text, many);
  ASSERT_FALSE(many.bound.empty());
  EXPECT_EQ(many.bound.back(), (std::vector<std::string>{"3", "NULL"}));

  FakeExecutor none;
  none.answers = many.answers;
  none.answers["select x, y from t"] = Rows({});
  RunText(text, none);
  EXPECT_EQ(none.bound.back(), (std::vector<std::string>{"7", "8"}));
}

TEST(InterpreterTest, SetVarIsNullWhenNoRowAndNamesIgnoreCase) {
  FakeExecutor ex;
  ex.answers["SELECT 2005"] = Rows({{Variant::I4(2005)}});
  ex.answers["SELECT (select x from t where 0=1)"] = Rows({});
  RunText(
      "Declare @NYear int, @v int\nset @nyear = 2005\nset @V = 1\n"
      "set @v = (select x from t where 0=1)\n"
      "select a from t where FYear=@NYEAR and b=@v",
      ex);
  EXPECT_EQ(ex.sql.back(), "select a from t where FYear=?1 and b=?2");
  EXPECT_EQ(ex.bound.back(), (std::vector<std::string>{"2005", "NULL"}));
}

TEST(InterpreterTest, IfExistsNotExistsAndElse) {
  const std::string cond_sql =
      "SELECT CASE WHEN (exists(select 1 from t)) THEN 1 ELSE 0 END";
  const std::string not_sql =
      "SELECT CASE WHEN (not exists(select 1 from t)) THEN 1 ELSE 0 END";
  struct Row {
    int exists;
    std::vector<std::string> expected;
  };
  for (const Row& row : {Row{1, {"DELETE FROM a", "DELETE FROM d"}},
                         Row{0, {"DELETE FROM b", "DELETE FROM c"}}}) {
    SCOPED_TRACE(row.exists);
    FakeExecutor ex;
    ex.answers[cond_sql] = Rows({{Variant::I4(row.exists)}});
    ex.answers[not_sql] = Rows({{Variant::I4(1 - row.exists)}});
    RunText(
        "if exists(select 1 from t) DELETE FROM a else DELETE FROM b\n"
        "if not exists(select 1 from t) BEGIN DELETE FROM c END\n"
        "else BEGIN DELETE FROM d END",
        ex);
    std::vector<std::string> writes;
    for (const std::string& s : ex.sql) {
      if (s.rfind("DELETE", 0) == 0) writes.push_back(s);
    }
    EXPECT_EQ(writes, row.expected);
  }
}

TEST(InterpreterTest, NestedBlocksRunOnlyTheTakenBranches) {
  FakeExecutor ex;
  ex.answers["SELECT CASE WHEN (1=1) THEN 1 ELSE 0 END"] =
      Rows({{Variant::I4(1)}});
  ex.answers["SELECT CASE WHEN (1=0) THEN 1 ELSE 0 END"] =
      Rows({{Variant::I4(0)}});
  // A NULL condition counts as false, as on the server.
  ex.answers["SELECT CASE WHEN (NULL=1) THEN 1 ELSE 0 END"] =
      Rows({{Variant::Null()}});
  RunText(
      "IF 1=1 BEGIN IF 1=0 BEGIN DELETE FROM x END ELSE BEGIN DELETE FROM "
      "y IF NULL=1 DELETE FROM n END DELETE FROM z END",
      ex);
  std::vector<std::string> writes;
  for (const std::string& s : ex.sql) {
    if (s.rfind("DELETE", 0) == 0) writes.push_back(s);
  }
  EXPECT_EQ(writes,
            (std::vector<std::string>{"DELETE FROM y", "DELETE FROM z"}));
}

TEST(InterpreterTest, BindsPositionalAndVariableSlotsInMarkerOrder) {
  FakeExecutor ex;
  ex.answers["SELECT ?1"] = Rows({{Variant::Text("k")}});
  RunText(
      "Declare @a nvarchar(10)\nset @a = ?\n"
      "UPDATE t SET x = ? WHERE k = @a AND y = ? AND z = @A",
      ex, {Variant::Text("k"), Variant::I4(5), Variant::I4(6)});
  EXPECT_EQ(ex.sql.back(),
            "UPDATE t SET x = ?1 WHERE k = ?2 AND y = ?3 AND z = ?2");
  EXPECT_EQ(ex.bound.back(), (std::vector<std::string>{"5", "k", "6"}));

  // A statement with as many markers as the caller gave values, one of them
  // a variable, takes the variable's value.
  FakeExecutor var;
  var.answers["SELECT ?1"] = Rows({{Variant::I4(5)}});
  var.answers["SELECT 7"] = Rows({{Variant::I4(7)}});
  RunText("Declare @a int\nset @a = ?\nset @a = 7\nDELETE FROM t WHERE k = @a",
          var, {Variant::I4(5)});
  EXPECT_EQ(var.bound.back(), (std::vector<std::string>{"7"}));
}

TEST(InterpreterTest, ResultIsFirstRowsetAndChangesAreSummed) {
  FakeExecutor ex;
  ex.answers["DELETE FROM t"] = Changes(2);
  ex.answers["INSERT INTO t SELECT * FROM u"] = Changes(3);
  ex.answers["SELECT a FROM t"] = Rows({{Variant::I4(1)}, {Variant::I4(2)}});
  ex.answers["SELECT b FROM u"] = Rows({{Variant::I4(9)}});
  ScriptResult r = RunText(
      "DELETE FROM t\nSELECT a FROM t\nINSERT INTO t SELECT * FROM u\n"
      "SELECT b FROM u",
      ex);
  EXPECT_TRUE(r.has_rows);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(Show(r.rows[1][0]), "2");
  EXPECT_EQ(r.records_affected, 5);

  FakeExecutor reads;
  ScriptResult only_reads = RunText("SELECT a FROM t", reads);
  EXPECT_EQ(only_reads.records_affected, -1);
  FakeExecutor zero;
  ScriptResult no_change = RunText("UPDATE t SET a = 1", zero);
  EXPECT_EQ(no_change.records_affected, 0);
  EXPECT_FALSE(no_change.has_rows);
}

TEST(InterpreterTest, MissingPositionalValueFails) {
  FakeExecutor ex;
  EXPECT_THROW(
      RunText("SELECT a FROM t WHERE b = ? AND c = ?", ex, {Variant::I4(1)}),
      Error);
}

}  // namespace
}  // namespace marl::data::tsql
