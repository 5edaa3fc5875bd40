// What the public methods do to the data, scenario by scenario from a JSON
// file under tests/golden/behaviour: each scenario starts from a fresh ERP
// database (the ErpDbTest fixture) and holds
//   {"name": N, "class": C, "lang": "chs|cht|en" (default: the suite's),
//    "setup": [SQL, ...], "steps": [STEP, ...]}
// and each STEP, run in order on one object of class C:
//   "exec": [SQL, ...]        run on the database first (outside the component)
//   "calls": [[METHOD, ARG, ...], ...]   as in tests/golden/scenarios.json
//   "repeat": N               the calls made N times (default 1)
//   "returns": [V, ...]       what each call answers (JSON; checked when given)
//   "error": NUMBER           the last call raises it (none when left out)
//   "expect": {QUERY: [ROW, ...]}   rows afterwards, columns joined by "|"
//   "unchanged": [QUERY, ...] rows afterwards equal to the rows before
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/erp_fixture.h"
#include "support/golden.h"

namespace marl::test {

class BehaviourTest : public ErpDbTest {
 protected:
  // The JSON answer a call gave, for "returns".
  static golden::Json Answer(const Variant& v) {
    switch (v.Type()) {
      case VarType::Bool:
        return v.AsBool();
      case VarType::Text:
        return v.AsText();
      case VarType::Empty:
      case VarType::Null:
        return nullptr;
      default:
        return v.ToDouble();
    }
  }

  void RunStep(const golden::Json& step, Dispatchable& object,
               const std::string& dsn) {
    const golden::Json none = golden::Json::array();
    for (const std::string sql : step.value("exec", none)) Exec(sql);
    std::map<std::string, std::vector<std::string>> before;
    for (const std::string q : step.value("unchanged", none))
      before[q] = Rows(q);
    const golden::Json& calls = step.at("calls");
    for (int run = 0; run < step.value("repeat", 1); ++run) {
      SCOPED_TRACE("run " + std::to_string(run + 1));
      for (size_t i = 0; i < calls.size(); ++i) {
        const bool last = i + 1 == calls.size();
        const Error e = Raised([&] {
          const Variant got = golden::Call(object, calls[i], dsn);
          if (step.contains("returns")) {
            EXPECT_EQ(Answer(got), step["returns"].at(i)) << calls[i].dump();
          }
        });
        EXPECT_EQ(e.number(), last ? step.value("error", 0) : 0)
            << calls[i].dump() << ": " << e.what();
      }
    }
    const golden::Json expect = step.value("expect", golden::Json::object());
    for (const auto& [q, rows] : expect.items()) {
      EXPECT_EQ(Rows(q), rows.get<std::vector<std::string>>()) << q;
    }
    for (const auto& [q, rows] : before) EXPECT_EQ(Rows(q), rows) << q;
  }

  // Runs every scenario of tests/golden/behaviour/<file>, each on a fresh
  // database.
  void RunScenarios(const std::string& file) {
    std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/behaviour/" + file);
    ASSERT_TRUE(in.good()) << file;
    const golden::Json scenarios = golden::Json::parse(in);
    ASSERT_FALSE(scenarios.empty());
    for (size_t i = 0; i < scenarios.size(); ++i) {
      const golden::Json& s = scenarios[i];
      SCOPED_TRACE(s.value("name", file));
      if (i > 0) {  // a fresh database for every scenario
        TearDown();
        SetUp();
      }
      for (const std::string sql : s.value("setup", golden::Json::array())) {
        Exec(sql);
      }
      auto object = Registry::Instance().Create(
          "MarlCheckOut." + s.at("class").get<std::string>());
      const std::string dsn = Dsn(s.value("lang", ""));
      for (const golden::Json& step : s.at("steps")) {
        RunStep(step, *object, dsn);
      }
    }
  }
};

}  // namespace marl::test
