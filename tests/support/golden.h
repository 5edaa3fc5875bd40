// The golden statement traces: every scenario of tests/golden/scenarios.json
// calls public methods late-bound, with the statement trace on, and the
// trace lines must equal tests/golden/<scenario>.jsonl byte for byte.
//
// Nothing here knows the database product: a caller hands over a connection
// property string (without its LANGUAGE pair) of a database that holds the
// ERP schema, and Seed() writes the seed rows through the data layer. Each
// scenario runs inside a transaction that is rolled back, so every scenario
// starts from the seed rows, whatever the order.
//
// scenarios.json holds a list of
//   {"name": N, "class": C, "lang": "chs|cht|en" (default chs),
//    "setup": [SQL, ...], "calls": [[METHOD, ARG, ...], ...], "error": bool}
// The calls go to one object of class C, in order. Every parameter named
// sDsn receives the property string; the ARGs fill the others in order, as
// the operator tool's `call` does: numbers, text, true/false, null, text
// shaped like a date (YYYY-MM-DD[ HH:MM[:SS]]) as a date, and a JSON object
// as a value set. By-reference parameters left out start empty. "error"
// says that the last call raises (the trace up to it is still compared).
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/data_source.h"
#include "data/provider.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/transaction.h"

namespace marl::test::golden {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct Scenario {
  std::string name;
  std::string prog_id;
  std::string language = "chs";
  std::vector<std::string> setup;
  Json calls;
  bool error = false;
};

inline std::vector<std::string> FileLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<Scenario> LoadScenarios(const fs::path& file) {
  std::ifstream in(file);
  std::vector<Scenario> scenarios;
  for (const Json& j : Json::parse(in)) {
    Scenario s;
    s.name = j.at("name");
    s.prog_id = "MarlCheckOut." + j.at("class").get<std::string>();
    s.language = j.value("lang", "chs");
    s.setup = j.value("setup", std::vector<std::string>{});
    s.calls = j.at("calls");
    s.error = j.value("error", false);
    scenarios.push_back(std::move(s));
  }
  return scenarios;
}

inline Variant ToVariant(const Json& j) {
  static const std::regex kDate(R"(\d{4}-\d\d-\d\d( \d\d:\d\d(:\d\d)?)?)");
  double date = 0;
  if (j.is_null()) return Variant::Null();
  if (j.is_boolean()) return Variant::Bool(j.get<bool>());
  if (j.is_number_integer()) return Variant::I4(j.get<int32_t>());
  if (j.is_number()) return Variant::R8(j.get<double>());
  if (j.is_string()) {
    const std::string text = j.get<std::string>();
    if (std::regex_match(text, kDate)) {
      const std::string full = text.size() == 16 ? text + ":00" : text;
      if (Variant::ParseDate(full, &date)) return Variant::Date(date);
    }
    return Variant::Text(text);
  }
  auto set = FieldValueSet::Create();
  for (const auto& [key, value] : j.items())
    set->SetValue(key, ToVariant(value));
  return Variant::Object(set);
}

// Calls one method of `object` late-bound: `call` is [METHOD, ARG, ...] as
// in scenarios.json, and `dsn` fills every parameter named sDsn. When
// `by_ref` is given it receives what the call left in each by-reference
// parameter, by parameter name.
inline Variant Call(Dispatchable& object, const Json& call,
                    const std::string& dsn,
                    std::map<std::string, Variant>* by_ref = nullptr) {
  const std::string name = call.at(0);
  const MemberInfo* m = object.Table().Find(name, InvokeKind::Method);
  if (m == nullptr) throw Error(err::kUnknownName, "golden", name);
  std::vector<Variant> args;
  size_t next = 1;
  for (const ParamInfo& p : m->params) {
    if (p.name == "sDsn") {
      args.push_back(Variant::Text(dsn));
    } else if (next < call.size()) {
      args.push_back(ToVariant(call.at(next++)));
    } else if (p.optional && !p.by_ref) {
      break;  // left out: the declared default
    } else {
      args.push_back(p.optional ? p.default_value : Variant());
    }
  }
  auto keep = [&] {
    for (size_t i = 0; by_ref != nullptr && i < args.size(); ++i) {
      if (m->params[i].by_ref) (*by_ref)[m->params[i].name] = args[i];
    }
  };
  try {
    Variant result = object.Invoke(m->dispid, InvokeKind::Method, args);
    keep();
    return result;
  } catch (const Error&) {
    keep();
    throw;
  }
}

// Writes the rows of `seed_file` (one statement per line, "--" lines
// skipped) over a connection of the data layer.
inline void Seed(const std::string& connect_string, const fs::path& seed_file) {
  auto cn = data::Connection::Create();
  cn->Open(connect_string);
  for (const std::string& line : FileLines(seed_file)) {
    if (!line.empty() && line.rfind("--", 0) != 0) cn->Execute(line);
  }
  cn->Close();
}

// One scenario's trace lines and, when a call raised, its error.
struct Outcome {
  std::vector<std::string> lines;
  std::optional<Error> error;
};

inline Outcome Run(const Scenario& s, const std::string& props,
                   const fs::path& trace_file) {
  const std::string dsn = props + ";LANGUAGE=" + s.language;
  // The process-wide description cache is filled before the trace starts,
  // so that no scenario's trace depends on the ones before it.
  auto parser = std::make_shared<data::CParse>();
  parser->ParseString(dsn);
  data::CDataSource ds;
  ds.SetParseObject(parser);
  ds.GetActualType(3);
  Outcome out;
  TransactionScope scope;  // never committed: every scenario is undone
  auto cn = data::Connection::Create();
  cn->Open(parser->ConStr());
  for (const std::string& sql : s.setup) cn->Execute(sql);
  fs::remove(trace_file);
  data::SetTraceFile(trace_file.string());
  try {
    auto object = Registry::Instance().Create(s.prog_id);
    for (const Json& call : s.calls) Call(*object, call, dsn);
  } catch (const Error& e) {
    out.error = e;
  }
  data::SetTraceFile("");
  out.lines = FileLines(trace_file);
  return out;
}

// The "text" of a trace line, or the line itself when it is not one.
inline std::string TextOf(const std::string& line) {
  try {
    return Json::parse(line).at("text").get<std::string>();
  } catch (const std::exception&) {
    return line;
  }
}

// Where two trace line lists part, as a readable report ("" when equal).
inline std::string FirstDifference(const std::vector<std::string>& want,
                                   const std::vector<std::string>& got) {
  for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    const std::string w = i < want.size() ? want[i] : "(no line)";
    const std::string g = i < got.size() ? got[i] : "(no line)";
    if (w == g) continue;
    std::ostringstream out;
    const std::string wt = TextOf(w), gt = TextOf(g);
    size_t at = 0;
    while (at < wt.size() && at < gt.size() && wt[at] == gt[at]) ++at;
    const size_t from = at > 60 ? at - 60 : 0;
    auto shown = [&](const std::string& t) {
      return Json(t.substr(from, at - from + 60)).dump();
    };
    out << "line " << i + 1 << " differs";
    if (wt == gt) out << " (same text, other parameters)";
    out << " at text offset " << at << ":\n  expected ..." << shown(wt)
        << "\n  actual   ..." << shown(gt) << "\n  expected line: " << w
        << "\n  actual line:   " << g << "\n";
    return out.str();
  }
  return "";
}

// Runs every scenario and compares its trace with its golden file; returns
// one message per scenario that differs (or, with `update`, rewrites the
// golden files and returns nothing). Golden files without a scenario are
// reported too.
inline std::vector<std::string> Check(const std::string& props,
                                      const fs::path& golden_dir,
                                      const fs::path& trace_file, bool update) {
  std::vector<std::string> failures;
  std::vector<fs::path> expected_files;
  for (const Scenario& s : LoadScenarios(golden_dir / "scenarios.json")) {
    const fs::path file = golden_dir / (s.name + ".jsonl");
    expected_files.push_back(file);
    Outcome out = Run(s, props, trace_file);
    if (out.error.has_value() != s.error) {
      failures.push_back(s.name + ": " +
                         (out.error ? "raised " + std::string(out.error->what())
                                    : std::string("raised no error")));
      continue;
    }
    if (update) {
      std::ofstream golden(file, std::ios::binary | std::ios::trunc);
      for (const std::string& line : out.lines) golden << line << "\n";
      continue;
    }
    if (!fs::exists(file)) {
      failures.push_back(s.name + ": no golden file " + file.string());
      continue;
    }
    std::string diff = FirstDifference(FileLines(file), out.lines);
    if (!diff.empty()) failures.push_back(s.name + ": " + diff);
  }
  for (const auto& entry : fs::directory_iterator(golden_dir)) {
    if (entry.path().extension() == ".jsonl" &&
        std::find(expected_files.begin(), expected_files.end(), entry.path()) ==
            expected_files.end()) {
      failures.push_back("golden file without a scenario: " +
                         entry.path().string());
    }
  }
  return failures;
}

}  // namespace marl::test::golden
