// Translate() into every output dialect (tokenizer, splitter, statement writer,
// DISTINCT reduction, carrying of "column = constant") on any text. The seeds
// are the texts the component sends.
//
// Properties: Translate either raises marl::Error or returns a script in
// which every statement to run has text, every variable has a name and
// every positional parameter refers to a "?" of the text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"
#include "property.h"

namespace {

using marl::data::tsql::Node;
using marl::fuzz::Require;

void CheckNodes(const std::vector<Node>& nodes, int32_t positional_count) {
  for (const Node& node : nodes) {
    const bool runs =
        node.kind == Node::Kind::Exec || node.kind == Node::Kind::SetVar ||
        node.kind == Node::Kind::SelectAssign || node.kind == Node::Kind::If;
    if (runs) {
      Require(node.stmt.sql.find_first_not_of(" \t\r\n") != std::string::npos,
              "a statement to run has no text");
    }
    if (node.kind != Node::Kind::Exec && node.kind != Node::Kind::If &&
        node.kind != Node::Kind::Block && node.kind != Node::Kind::NoOp) {
      Require(!node.variables.empty(), "an assignment names no variable");
    }
    for (const std::string& v : node.variables) {
      Require(!v.empty(), "an empty variable name");
    }
    for (const auto& slot : node.stmt.slots) {
      if (slot.is_variable) {
        Require(!slot.variable.empty(), "a parameter of an unnamed variable");
      } else {
        Require(slot.position >= 0 && slot.position < positional_count,
                "a parameter beyond the text's \"?\" markers");
      }
    }
    CheckNodes(node.body, positional_count);
    CheckNodes(node.else_body, positional_count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using marl::data::tsql::Dialect;
  for (Dialect d :
       {Dialect::kSqlite, Dialect::kSqliteOdbc, Dialect::kPostgres}) {
    try {
      const auto script = marl::data::tsql::Translate(text, d);
      CheckNodes(script.nodes, script.positional_count);
    } catch (const marl::Error&) {
      // A refusal is an answer.
    }
  }
  // With lookups that know every column (as text compared without case),
  // so the rewrites that need them run too.
  const marl::data::tsql::ColumnLookup columns =
      [](std::string_view, std::string_view) { return true; };
  const marl::data::tsql::ColumnTypeLookup types = [](std::string_view,
                                                      std::string_view) {
    return std::optional<marl::data::tsql::ColumnType>(
        marl::data::tsql::ColumnType{"TEXT", "NOCASE"});
  };
  try {
    const auto script =
        marl::data::tsql::Translate(text, Dialect::kSqlite, columns, types);
    CheckNodes(script.nodes, script.positional_count);
  } catch (const marl::Error&) {
  }
  return 0;
}
