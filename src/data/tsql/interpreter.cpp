// RunScript(): the small interpreter for the nodes Translate() produces.
//
// Variables live for one run, keyed by lower-cased name. A variable that is
// read before any Declare ran (declared in a branch not taken) reads NULL,
// as on the server. The result is the first rowset an Exec node returns;
// records affected is the sum of the changes of writing Exec statements, -1
// when none ran.
#include <string>
#include <unordered_map>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"

namespace marl::data::tsql {
namespace {

bool Truthy(const Variant& v) {
  if (v.IsEmptyOrNull()) return false;
  if (v.Type() == VarType::Bool) return v.AsBool();
  if (v.IsNumeric()) return v.ToDouble() != 0;
  return false;
}

class Runner {
 public:
  Runner(StatementExecutor& executor, const std::vector<Variant>& params)
      : executor_(executor), params_(params) {}

  void Run(const std::vector<Node>& nodes) {
    for (const Node& n : nodes) RunNode(n);
  }

  ScriptResult& result() { return result_; }

 private:
  // Whether `stmt` takes exactly the caller's values, each in its place (a
  // single statement with one marker per value, the usual command): they
  // are then handed on as they are, without a copy per statement.
  bool TakesParamsInOrder(const Statement& stmt) const {
    if (stmt.slots.size() != params_.size()) return false;
    for (size_t i = 0; i < stmt.slots.size(); ++i) {
      const ParamSlot& slot = stmt.slots[i];
      if (slot.is_variable || slot.position != static_cast<int>(i)) {
        return false;
      }
    }
    return true;
  }

  StatementResult Execute(const Statement& stmt) {
    if (TakesParamsInOrder(stmt)) return executor_.Execute(stmt, params_);
    std::vector<Variant> bound;
    bound.reserve(stmt.slots.size());
    for (const ParamSlot& slot : stmt.slots) {
      if (slot.is_variable) {
        auto it = vars_.find(slot.variable);
        bound.push_back(it == vars_.end() ? Variant::Null() : it->second);
      } else {
        if (slot.position < 0 ||
            static_cast<size_t>(slot.position) >= params_.size()) {
          throw Error(err::kParamNotOptional, "T-SQL",
                      "No value given for one or more required parameters.");
        }
        bound.push_back(params_[slot.position]);
      }
    }
    return executor_.Execute(stmt, bound);
  }

  void RunNode(const Node& node) {
    switch (node.kind) {
      case Node::Kind::Exec: {
        StatementResult r = Execute(node.stmt);
        if (node.stmt.writes) {
          if (result_.records_affected < 0) result_.records_affected = 0;
          result_.records_affected += r.changes;
        }
        if (r.has_rows && !result_.has_rows) {
          result_.has_rows = true;
          result_.column_names = std::move(r.column_names);
          result_.column_types = std::move(r.column_types);
          result_.rows = std::move(r.rows);
        }
        return;
      }
      case Node::Kind::Declare:
        for (const std::string& v : node.variables) vars_[v] = Variant::Null();
        return;
      case Node::Kind::SetVar: {
        StatementResult r = Execute(node.stmt);
        Variant value = Variant::Null();
        if (!r.rows.empty() && !r.rows.front().empty()) {
          value = r.rows.front().front();
        }
        vars_[node.variables.front()] = std::move(value);
        return;
      }
      case Node::Kind::SelectAssign: {
        StatementResult r = Execute(node.stmt);
        if (r.rows.empty()) return;  // no row: variables keep their values
        const std::vector<Variant>& row = r.rows.back();
        for (size_t i = 0; i < node.variables.size() && i < row.size(); ++i) {
          vars_[node.variables[i]] = row[i];
        }
        return;
      }
      case Node::Kind::If: {
        StatementResult r = Execute(node.stmt);
        bool yes = !r.rows.empty() && !r.rows.front().empty() &&
                   Truthy(r.rows.front().front());
        Run(yes ? node.body : node.else_body);
        return;
      }
      case Node::Kind::Block:
        Run(node.body);
        return;
      case Node::Kind::NoOp:
        return;
    }
  }

  StatementExecutor& executor_;
  const std::vector<Variant>& params_;
  std::unordered_map<std::string, Variant> vars_;
  ScriptResult result_;
};

}  // namespace

ScriptResult RunScript(const Script& script, StatementExecutor& executor,
                       const std::vector<Variant>& params) {
  Runner runner(executor, params);
  runner.Run(script.nodes);
  return std::move(runner.result());
}

}  // namespace marl::data::tsql
