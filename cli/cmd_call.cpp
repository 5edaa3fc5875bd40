// marl-checkout call: calls methods of one public object late-bound, as a
// client of the component does, and prints each result as a JSON line.
//
//   marl-checkout call [--db PATH | --dsn STRING] [--lang chs|cht|en]
//       [--trace-sql FILE] CLASS METHOD [ARG ...] [-- METHOD [ARG ...]] ...
//
// - CLASS is a ProgID or a class name of the component ("CloseData" stands
//   for "MarlCheckOut.CloseData"). All calls go to one object, in order,
//   each as a root call of its own.
// - The connection property string (built from --db and --lang, default
//   language "en", or given whole by --dsn; --lang does not change a --dsn
//   string) is passed as every parameter named sDsn; the ARGs fill the other
//   parameters in order. A trailing optional or by-reference parameter may
//   be left out.
// - ARGs convert by the parameter's declared type: whole numbers in decimal;
//   text as given; true/false/1/0; dates YYYY-MM-DD [HH:MM:SS]; a value set
//   as a JSON object (whole numbers, doubles, date-shaped text as dates,
//   true/false, null).
// - Every call is checked (class, method, argument count and conversion)
//   before the first one runs, so a usage error runs nothing.
// - Output: {"result": R, "byref": {"name": V, ...}} per call on standard
//   output. The first error prints {"error": {...}} on standard error and
//   ends the run with status 3; usage errors end it with status 2.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common.h"
#include "data/provider.h"
#include "marlcheckout/registry.h"
#include "marlcheckout/server.h"

namespace marl::cli {

namespace {

struct CallOptions {
  std::string db;
  std::string dsn;
  std::string lang = "en";
  std::string trace;
};

struct PreparedCall {
  const MemberInfo* member = nullptr;
  std::vector<Variant> args;
};

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::vector<std::vector<std::string>> SplitCalls(
    const std::vector<std::string>& words) {
  std::vector<std::vector<std::string>> calls(1);
  for (const std::string& w : words) {
    if (w == "--") {
      calls.emplace_back();
    } else {
      calls.back().push_back(w);
    }
  }
  return calls;
}

PreparedCall Prepare(const DispatchTable& table,
                     const std::vector<std::string>& words,
                     const std::string& dsn, bool have_dsn) {
  if (words.empty()) throw UsageError("a METHOD is missing after '--'");
  PreparedCall call;
  call.member = table.Find(words[0], InvokeKind::Method);
  if (call.member == nullptr) {
    throw UsageError(table.class_name + " has no method " + words[0]);
  }
  const MemberInfo& m = *call.member;
  size_t next = 1;
  for (const ParamInfo& p : m.params) {
    if (SameName(p.name, "sDsn")) {
      if (!have_dsn) {
        throw UsageError(m.name + " needs a connection: give --db or --dsn");
      }
      call.args.push_back(Variant::Text(dsn));
    } else if (next < words.size()) {
      call.args.push_back(ArgToVariant(words[next++], p));
    } else if (p.optional) {
      // Left out: its default, kept in the call so that a by-reference
      // parameter is reported afterwards.
      call.args.push_back(p.by_ref && !p.default_value.IsEmpty()
                              ? p.default_value
                              : Variant::Missing());
    } else if (p.by_ref) {
      call.args.push_back(Variant());
    } else {
      throw UsageError(m.name + ": argument " + p.name + " is missing");
    }
  }
  if (next < words.size()) {
    throw UsageError(m.name + ": too many arguments (it takes " +
                     std::to_string(m.params.size()) + " parameters)");
  }
  return call;
}

int RunCall(const CallOptions& o, const std::vector<std::string>& rest) {
  try {
    if (!o.db.empty() && !o.dsn.empty()) {
      throw UsageError("give either --db or --dsn, not both");
    }
    if (rest.empty()) throw UsageError("CLASS and METHOD are missing");
    std::string dsn = o.dsn;
    if (!o.db.empty()) {
      std::error_code ec;
      if (!std::filesystem::exists(o.db, ec)) {
        throw UsageError("no database at " + o.db +
                         " (create one with marl-checkout init)");
      }
      dsn = SqliteDsn(o.db, o.lang);
    }
    const bool have_dsn = !o.db.empty() || !o.dsn.empty();

    const std::string prog_id = rest[0].find('.') == std::string::npos
                                    ? "MarlCheckOut." + rest[0]
                                    : rest[0];
    if (!Registry::Instance().Find(prog_id)) {
      throw UsageError("no class " + rest[0]);
    }
    std::shared_ptr<Dispatchable> object;
    try {
      object = Registry::Instance().Create(prog_id);
    } catch (const Error& e) {
      std::cerr << Dump(ErrorJson(e)) << std::endl;
      return kExitError;
    }
    std::vector<PreparedCall> calls;
    for (const auto& words : SplitCalls({rest.begin() + 1, rest.end()})) {
      calls.push_back(Prepare(object->Table(), words, dsn, have_dsn));
    }

    if (!o.trace.empty()) data::SetTraceFile(o.trace);
    for (PreparedCall& call : calls) {
      Variant result;
      try {
        result =
            object->Invoke(call.member->dispid, InvokeKind::Method, call.args);
      } catch (const Error& e) {
        std::cerr << Dump(ErrorJson(e)) << std::endl;
        return kExitError;
      }
      Json line = Json::object();
      line["result"] = ToJson(result);
      Json byref = Json::object();
      for (size_t i = 0; i < call.member->params.size(); ++i) {
        const ParamInfo& p = call.member->params[i];
        if (p.by_ref) byref[p.name] = ToJson(call.args[i]);
      }
      line["byref"] = std::move(byref);
      std::cout << Dump(line) << std::endl;
    }
    return kExitOk;
  } catch (const UsageError& e) {
    std::cerr << "marl-checkout call: " << e.what() << "\n";
    return kExitUsage;
  }
}

CommandRunner SetupCall(CLI::App* sub) {
  auto options = std::make_shared<CallOptions>();
  sub->add_option("--db", options->db, "SQLite database file");
  sub->add_option("--dsn", options->dsn,
                  "Whole connection property string (instead of --db)");
  sub->add_option("--lang", options->lang, "Caller's language (with --db)")
      ->check(CLI::IsMember({"chs", "cht", "en"}));
  sub->add_option("--trace-sql", options->trace,
                  "Append every statement sent to FILE as JSON lines");
  sub->prefix_command();
  sub->footer(
      "Usage: marl-checkout call [OPTIONS] CLASS METHOD [ARG ...] "
      "[-- METHOD [ARG ...]] ...\n"
      "CLASS is a ProgID or a class name (CheckOutInfo, CheckOutUpdate, "
      "CloseData).\nsDsn is filled from --db/--dsn; ARGs fill the other "
      "parameters in order.\nOutput: one JSON line per call, "
      "{\"result\": R, \"byref\": {...}}.\nExit status: 0 all calls "
      "succeeded; 2 usage error; 3 a call raised an error (JSON on "
      "standard error).");
  return [options, sub] { return RunCall(*options, sub->remaining()); };
}

const CommandRegistration kCall(
    "call", 20,
    "Call methods of one public object and print the results as JSON",
    SetupCall);

}  // namespace

}  // namespace marl::cli
