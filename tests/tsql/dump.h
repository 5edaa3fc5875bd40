// The node dump the translation tests compare: one line per node, EXEC
// (EXEC! when it writes), DECLARE, SET, ASSIGN, IF / ELSE / ENDIF, BEGIN /
// END, NOOP; bodies indented by two blanks; slots in braces (pN positional,
// v:name variable).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"

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

// A case of the translation tables under tests/golden/tsql: "=== name", the
// command text (its lines joined by CR LF), then per dialect "--- <dialect>"
// and the expected dump (a CR LF inside a statement written as \r\n) or
// "refused: <words in the description>".
struct GoldenCase {
  std::string name;
  std::string text;
  std::map<std::string, std::string> expected;  // dialect -> dump
};

inline std::vector<GoldenCase> ReadCases(const std::string& file) {
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/tsql/" + file);
  EXPECT_TRUE(in.good()) << file;
  std::vector<GoldenCase> cases;
  std::string* target = nullptr;
  bool in_text = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#", 0) == 0 && cases.empty()) continue;
    if (line.rfind("=== ", 0) == 0) {
      cases.push_back(GoldenCase{line.substr(4), "", {}});
      target = &cases.back().text;
      in_text = true;
    } else if (line.rfind("--- ", 0) == 0 && !cases.empty()) {
      target = &cases.back().expected[line.substr(4)];
      in_text = false;
    } else if (target != nullptr) {
      *target += line + (in_text ? "\r\n" : "\n");
    }
  }
  return cases;
}

// The dump of `text` translated for `dialect` as the tables write it, or
// "refused: " and the description.
inline std::string Outcome(const std::string& text, Dialect dialect) {
  std::string dump;
  try {
    Dump(Translate(text, dialect).nodes, "", &dump);
  } catch (const Error& e) {
    return "refused: " + e.description() + "\n";
  }
  for (size_t at; (at = dump.find("\r\n")) != std::string::npos;) {
    dump.replace(at, 2, "\\r\\n");
  }
  return dump;
}

}  // namespace marl::data::tsql
