// The node dump the translation tests compare: one line per node, EXEC
// (EXEC! when it writes), DECLARE, SET, ASSIGN, IF / ELSE / ENDIF, BEGIN /
// END, NOOP; bodies indented by two blanks; slots in braces (pN positional,
// v:name variable).
#pragma once

#include <string>
#include <vector>

#include "data/tsql/script.h"

namespace marl::data::tsql {

inline std::string Slots(const Statement& s) {
  if (s.slots.empty()) return "";
  std::string out = " {";
  for (size_t i = 0; i < s.slots.size(); ++i) {
    if (i > 0) out += ",";
    const ParamSlot& p = s.slots[i];
    if (p.is_variable) {
      out += "v:";
      out += p.variable;
    } else {
      out += 'p';
      out += std::to_string(p.position);
    }
  }
  return out + "}";
}

inline void Dump(const std::vector<Node>& nodes, const std::string& indent,
                 std::string* out) {
  for (const Node& n : nodes) {
    std::string vars;
    for (size_t i = 0; i < n.variables.size(); ++i) {
      vars += (i > 0 ? "," : "") + n.variables[i];
    }
    switch (n.kind) {
      case Node::Kind::Exec:
        *out += indent + (n.stmt.writes ? "EXEC! " : "EXEC ") + n.stmt.sql +
                Slots(n.stmt) + "\n";
        break;
      case Node::Kind::Declare:
        *out += indent + "DECLARE " + vars + "\n";
        break;
      case Node::Kind::SetVar:
        *out +=
            indent + "SET " + vars + " = " + n.stmt.sql + Slots(n.stmt) + "\n";
        break;
      case Node::Kind::SelectAssign:
        *out += indent + "ASSIGN " + vars + " = " + n.stmt.sql + Slots(n.stmt) +
                "\n";
        break;
      case Node::Kind::If:
        *out += indent + "IF " + n.stmt.sql + Slots(n.stmt) + "\n";
        Dump(n.body, indent + "  ", out);
        if (!n.else_body.empty()) {
          *out += indent + "ELSE\n";
          Dump(n.else_body, indent + "  ", out);
        }
        *out += indent + "ENDIF\n";
        break;
      case Node::Kind::Block:
        *out += indent + "BEGIN\n";
        Dump(n.body, indent + "  ", out);
        *out += indent + "END\n";
        break;
      case Node::Kind::NoOp:
        *out += indent + "NOOP\n";
        break;
    }
  }
}

}  // namespace marl::data::tsql
