// What the public methods do to the data, scenario by scenario from a JSON
// file under tests/golden/behaviour: each scenario starts from a fresh ERP
// database (the ErpDbTest fixture) and holds
//   {"name": N, "class": C, "lang": "chs|cht|en" (default: the suite's),
//    "setup": [SQL, ...], "steps": [STEP, ...]}
// and each STEP, run in order on one object of class C:
//   "exec": [SQL, ...]        run on the database first (outside the component)
//   "calls": [[METHOD, ARG, ...], ...]   as in tests/golden/scenarios.json
//   "repeat": N               the calls made N times (default 1)
//   "returns": [V, ...]       what each call answers (JSON; checked when given;
//                             null skips one); a list or recordset answer is
//                             {"columns": "A|B", "rows": [ROW, ...]} (or
//                             {"1": ROW, ...}: rows by position) and/or
//                             {"count": N}
//   "outs": [{PARAM: V}, ...] what each call left in by-reference parameters
//   "error": NUMBER           the last call raises it (none when left out)
//   "expect": {QUERY: [ROW, ...]}   rows afterwards, columns joined by "|"
//   "unchanged": [QUERY, ...] rows afterwards equal to the rows before
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

  // The rows of a returned ItemList or Recordset, `columns` ("A|B") joined
  // by "|".
  static std::vector<std::string> ListRows(const Variant& v,
                                           const std::string& columns) {
    std::vector<std::string> names;
    for (size_t at = 0, bar; at <= columns.size(); at = bar + 1) {
      bar = std::min(columns.find('|', at), columns.size());
      names.push_back(columns.substr(at, bar - at));
    }
    std::vector<std::string> rows;
    auto row = [&](auto value_of) {
      std::string r;
      for (const auto& n : names) r += (r.empty() ? "" : "|") + value_of(n);
      rows.push_back(r);
    };
    if (auto list = std::dynamic_pointer_cast<ItemList>(v.AsObject())) {
      for (int32_t i = 1; i <= list->UBound(); ++i) {
        row([&](const std::string& n) {
          auto r = list->Record(i);
          return r->Exists(n) ? r->Value(n).ToText() : "(absent)";
        });
      }
    } else if (auto rs =
                   std::dynamic_pointer_cast<data::Recordset>(v.AsObject())) {
      if (rs->RecordCount() != 0) rs->MoveFirst();
      for (; !rs->Eof(); rs->MoveNext()) {
        row([&](const std::string& n) {
          return rs->Fields(n).Value().ToText();
        });
      }
    } else {
      ADD_FAILURE() << "not a list";
    }
    return rows;
  }

  static void ExpectValue(const Variant& got, const golden::Json& want,
                          const std::string& what) {
    if (want.is_null()) return;
    if (!want.is_object()) {
      EXPECT_EQ(Answer(got), want) << what;
      return;
    }
    const auto rows = ListRows(got, want.value("columns", "FID"));
    const golden::Json& want_rows = want.value("rows", golden::Json());
    if (want_rows.is_array()) {
      EXPECT_EQ(rows, want_rows) << what;
    }
    for (const auto& [at, row] : want_rows.items()) {
      if (!want_rows.is_object()) break;
      const size_t i = std::stoul(at);
      EXPECT_EQ(i >= 1 && i <= rows.size() ? rows[i - 1] : "(none)", row)
          << what;
    }
    if (want.contains("count")) {
      EXPECT_EQ(rows.size(), want["count"]) << what;
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
        std::map<std::string, Variant> outs;
        const Error e = Raised([&] {
          const Variant got = golden::Call(object, calls[i], dsn, &outs);
          if (step.contains("returns")) {
            ExpectValue(got, step["returns"].at(i), calls[i].dump());
          }
        });
        if (step.contains("outs")) {
          for (const auto& [name, want] : step["outs"].at(i).items()) {
            ExpectValue(outs[name], want, calls[i].dump() + " " + name);
          }
        }
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
