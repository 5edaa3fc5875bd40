// The operator tool end to end, scenario by scenario from the JSON files of
// tests/golden/cli (the format is in tests/golden/cli/README.md): each
// scenario starts in a fresh directory, with the tiny demonstration company
// unless it says otherwise, and runs its steps in order.
#include <cmath>
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kCases = fs::path(MARL_GOLDEN_DIR) / "cli";

struct Scenario {
  std::string name;  // file stem and scenario name, for the test's name
  json body;
};
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

std::vector<Scenario> LoadScenarios() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(kCases))
    if (e.path().extension() == ".json") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<Scenario> all;
  for (const fs::path& f : files) {
    std::ifstream in(f);
    for (const json& s : json::parse(in)) {
      std::string name =
          f.stem().string() + "_" + s.at("name").get<std::string>();
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      all.push_back({name, s});
    }
  }
  return all;
}

// A member of a step, or an empty object when the step has none.
const json& Field(const json& j, const std::string& key) {
  static const json none = json::object();
  return j.contains(key) ? j.at(key) : none;
}

bool UpdateGolden() {
  const char* u = std::getenv("MARL_UPDATE_GOLDEN");
  return u != nullptr && *u == '1';
}

// One line per table: its name, its number of rows and a digest (FNV-1a)
// of its sorted rows.
std::string Digests(const Snapshot& snap) {
  std::string out;
  for (const auto& [table, rows] : snap) {
    uint64_t h = 14695981039346656037ull;
    for (const std::string& row : rows)
      for (const char c : row + "\n")
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    out += table + " " + std::to_string(rows.size()) + " " + std::to_string(h) +
           "\n";
  }
  return out;
}

class Scenarios : public OperatorTest,
                  public ::testing::WithParamInterface<Scenario> {
 protected:
  static void Replace(std::string& s, const std::string& from,
                      const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos;
         at = s.find(from, at + to.size()))
      s.replace(at, from.size(), to);
  }
  // {dir} and {db} in a data text; the directory back to {dir} in an output.
  std::string Fill(std::string s) {
    Replace(s, "{db}", db_);
    Replace(s, "{dir}", dir_.string());
    return s;
  }
  std::string Unfill(std::string s) {
    Replace(s, dir_.string(), "{dir}");
    return s;
  }
  Leave ToLeave(const json& j) {
    Leave l;
    for (const std::string t : Field(j, "tables")) l.tables.insert(t);
    for (const auto& [t, cols] : Field(j, "columns").items())
      l.columns[t] = cols.get<std::set<std::string>>();
    for (const auto& [t, cond] : Field(j, "rows").items()) l.rows[t] = cond;
    return l;
  }

  // `want` is a value (equal), or an object of tests: "is" (equal),
  // "match" (a regular expression found in the text), "type", "has" (keys),
  // "size", "gt" and "lt" (a number, or the size of an array or object),
  // "near" (within 1e-9), "le_at" (not above the value at
  // that pointer of the same document).
  static void Expect(const json& root, const json& got, const json& want,
                     const std::string& where) {
    if (!want.is_object()) {
      EXPECT_EQ(got, want) << where;
      return;
    }
    for (const auto& [test, v] : want.items()) {
      const double n = got.is_number()       ? got.get<double>()
                       : got.is_structured() ? static_cast<double>(got.size())
                                             : 0;
      bool ok = true;
      if (test == "is") {
        ok = got == v;
      } else if (test == "match") {
        ok = got.is_string() &&
             std::regex_search(got.get<std::string>(),
                               std::regex(v.get<std::string>()));
      } else if (test == "type") {
        ok = got.type_name() == v;
      } else if (test == "has") {
        for (const std::string key : v) ok = ok && got.contains(key);
      } else if (test == "size") {
        ok = got.size() == v;
      } else if (test == "gt" || test == "lt") {
        ok = test == "gt" ? n > v.get<double>() : n < v.get<double>();
      } else if (test == "near") {
        ok = std::abs(n - v.get<double>()) <= 1e-9;
      } else if (test == "le_at") {
        ok = got <= root.at(json::json_pointer(v));
      } else {
        ADD_FAILURE() << where << ": no test " << test;
      }
      EXPECT_TRUE(ok) << where << ": " << got << " fails " << test << " " << v;
    }
  }
  static void ExpectAll(const std::string& text, const json& checks,
                        const std::string& where) {
    const json doc = json::parse(text, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << where << ": " << text;
    for (const auto& [pointer, want] : checks.items())
      Expect(doc, doc.at(json::json_pointer(pointer)), want,
             where + " " + pointer);
  }

  // What a stream holds: "out"/"err" (texts found), "out_not", "out_regex",
  // "out_is" (the whole), "out_golden" (a file of tests/golden/cli),
  // "out_count" (text: times), "out_lines", "out_json", "out_jsonl".
  void ExpectStream(const std::string& key, const std::string& raw,
                    const json& s) {
    const std::string text = Unfill(raw);
    const auto get = [&](const std::string& k) -> const json& {
      return Field(s, key + k);
    };
    for (const std::string part : get(""))
      EXPECT_NE(text.find(part), std::string::npos) << key << ": " << text;
    for (const std::string part : get("_not"))
      EXPECT_EQ(text.find(part), std::string::npos) << key << ": " << text;
    for (const std::string re : get("_regex"))
      EXPECT_TRUE(std::regex_search(text, std::regex(re)))
          << re << ": " << text;
    if (s.contains(key + "_is")) {
      EXPECT_EQ(text, s[key + "_is"]) << key;
    }
    if (s.contains(key + "_golden")) {
      const fs::path golden = kCases / s[key + "_golden"].get<std::string>();
      if (UpdateGolden()) std::ofstream(golden, std::ios::binary) << text;
      EXPECT_EQ(text, ReadFile(golden)) << golden;
    }
    for (const auto& [part, times] : Field(s, key + "_count").items()) {
      size_t n = 0;
      for (size_t at = text.find(part); at != std::string::npos;
           at = text.find(part, at + 1))
        ++n;
      EXPECT_EQ(n, times) << part << ": " << text;
    }
    if (s.contains(key + "_lines")) {
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), s[key + "_lines"])
          << text;
    }
    if (s.contains(key + "_json")) ExpectAll(raw, s[key + "_json"], key);
    if (s.contains(key + "_jsonl")) {
      std::istringstream in(raw);
      json lines = json::array();
      for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line, nullptr, false));
      EXPECT_EQ(lines, s[key + "_jsonl"]) << raw;
    }
  }

  void RunStep(const json& s) {
    static const std::set<std::string> kKeys = [] {
      std::set<std::string> keys = {
          "copy",   "write",  "db",      "exec",        "save",   "args",
          "env",    "stdin",  "status",  "query",       "same",   "differ",
          "exists", "absent", "file_is", "file_golden", "digest", "period"};
      for (const char* stream : {"out", "err"})
        for (const char* k : {"", "_not", "_regex", "_is", "_golden", "_count",
                              "_lines", "_json", "_jsonl"})
          keys.insert(stream + std::string(k));
      return keys;
    }();
    for (const auto& [key, value] : s.items())
      EXPECT_TRUE(kKeys.count(key)) << "a step has no key " << key;
    for (const auto& [from, to] : Field(s, "copy").items())
      fs::copy_file(Fill(from), Fill(to), fs::copy_options::overwrite_existing);
    for (const auto& [path, text] : Field(s, "write").items())
      std::ofstream(Fill(path), std::ios::binary) << Fill(text);
    const std::string db = Fill(s.value("db", "{db}"));
    for (const std::string sql : Field(s, "exec")) Exec(db, Fill(sql));
    for (const auto& [name, entry] : Field(s, "save").items()) {
      const Leave leave = ToLeave(Field(entry, "leave"));
      saved_[name] = {TakeSnapshot(Fill(entry.value("db", "{db}")), leave),
                      leave};
    }
    if (s.contains("args")) {
      std::vector<std::string> args;
      std::string shown;
      for (const std::string a : s["args"]) {
        args.push_back(Fill(a));
        shown += a + " ";
      }
      std::map<std::string, std::string> env;
      for (const auto& [k, v] : Field(s, "env").items()) env[k] = Fill(v);
      const ToolResult r = Tool(args, env, s.value("stdin", ""));
      SCOPED_TRACE(shown);
      EXPECT_EQ(r.status, s.value("status", 0)) << r.out << r.err;
      ExpectStream("out", r.out, s);
      ExpectStream("err", r.err, s);
    }
    for (const auto& [sql, want] : Field(s, "query").items()) {
      const std::string text = QueryText(db, sql);
      const json number = json::parse(text, nullptr, false);
      const json got = number.is_number() ? number : json(text);
      Expect(got, got, want, sql);
    }
    for (const auto& [name, entry] : Field(s, "same").items()) {
      const auto& [snap, leave] = saved_.at(name);
      ExpectSameTables(
          snap, TakeSnapshot(
                    Fill(entry.value("db", "{db}")),
                    entry.contains("leave") ? ToLeave(entry["leave"]) : leave));
    }
    for (const auto& [name, table] : Field(s, "differ").items()) {
      const auto& [snap, leave] = saved_.at(name);
      EXPECT_NE(snap.at(table), TakeSnapshot(db, leave).at(table)) << table;
    }
    if (s.contains("period")) {
      EXPECT_EQ(CurrentPeriod(db), s["period"]);
    }
    for (const std::string p : Field(s, "exists"))
      EXPECT_TRUE(fs::exists(Fill(p))) << p;
    for (const std::string p : Field(s, "absent"))
      EXPECT_FALSE(fs::exists(Fill(p))) << p;
    for (const auto& [path, text] : Field(s, "file_is").items())
      EXPECT_EQ(ReadFile(Fill(path)), text) << path;
    // A file against a golden file of tests/golden (a statement trace).
    for (const auto& [path, golden] : Field(s, "file_golden").items())
      EXPECT_EQ(ReadFile(Fill(path)),
                ReadFile(fs::path(MARL_GOLDEN_DIR) / golden.get<std::string>()))
          << path;
    if (s.contains("digest")) {
      const fs::path golden =
          fs::path(MARL_GOLDEN_DIR) / s["digest"].get<std::string>();
      const std::string digests = Digests(TakeSnapshot(db));
      if (UpdateGolden()) std::ofstream(golden) << digests;
      EXPECT_EQ(ReadFile(golden), digests) << golden;
    }
  }

  std::map<std::string, std::pair<Snapshot, Leave>> saved_;
};

TEST_P(Scenarios, Run) {
  const json& scenario = GetParam().body;
  for (const auto& [key, value] : scenario.items())
    EXPECT_TRUE(key == "name" || key == "demo" || key == "steps") << key;
  if (scenario.value("demo", true)) InitDemo(db_);
  const json& steps = scenario.at("steps");
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1));
    RunStep(steps[i]);
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, Scenarios, ::testing::ValuesIn(LoadScenarios()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace marl::test
