// End-to-end tests of `list` and `demo` through the tool.
#include <nlohmann/json.hpp>

#include "cli/test_operator_fixture.h"

namespace marl::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Display columns: CJK ideographs and fullwidth forms take two.
size_t Columns(const std::string& s) {
  size_t width = 0;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = len == 1 ? b : b & (0xFF >> (len + 1));
    for (size_t k = 1; k < len && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    width += (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xFF00 && cp <= 0xFF60)
                 ? 2
                 : 1;
    i += len;
  }
  return width;
}

// The text of a line from display column `col` on.
std::string From(const std::string& line, size_t col) {
  size_t width = 0, i = 0;
  while (i < line.size() && width < col) {
    size_t before = i;
    const auto b = static_cast<unsigned char>(line[i]);
    i += b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    width += Columns(line.substr(before, i - before));
  }
  return line.substr(i);
}

TEST_F(OperatorTest, ListFormatsAgree) {
  InitDemo(db_);
  const std::vector<std::string> base = {"list", "balances", "--db", db_};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return Tool(args);
  };
  ToolResult json = with({"--format", "json"});
  ToolResult csv = with({"--format", "csv"});
  ToolResult table = with({"--raw"});
  ASSERT_EQ(json.status, 0) << json.err;
  ASSERT_EQ(csv.status, 0) << csv.err;
  ASSERT_EQ(table.status, 0) << table.err;

  const nlohmann::json rows = nlohmann::json::parse(json.out);
  ASSERT_TRUE(rows.is_array());
  // 8 department-products x (3 cost items + the total item).
  ASSERT_EQ(rows.size(), 32u);
  EXPECT_EQ(rows[0]["FYear"], 2024);
  EXPECT_EQ(rows[0]["FPeriod"], 11);

  const std::vector<std::string> csv_lines = Lines(csv.out);
  ASSERT_EQ(csv_lines.size(), rows.size() + 1);
  EXPECT_EQ(
      csv_lines[0].rfind("FYear,FPeriod,FExpDeptID,FProductID,FCostID", 0), 0u)
      << csv_lines[0];
  EXPECT_NE(
      csv_lines[1].find("," + rows[0]["FExpDeptName"].get<std::string>() + ","),
      std::string::npos);

  // Table: header, rule, one line per row, a count; every department name
  // starts at the column of its header, whatever the Chinese before it.
  const std::vector<std::string> t = Lines(table.out);
  ASSERT_EQ(t.size(), rows.size() + 3);
  const size_t col = Columns(t[0].substr(0, t[0].find("FExpDeptName")));
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string name = rows[i]["FExpDeptName"].get<std::string>();
    EXPECT_EQ(From(t[i + 2], col).rfind(name, 0), 0u) << t[i + 2];
  }

  // A filter reaches the component: only the total rows.
  ToolResult totals = with({"--filter", "FCostID='*'", "--format", "json"});
  ASSERT_EQ(totals.status, 0) << totals.err;
  EXPECT_EQ(nlohmann::json::parse(totals.out).size(), 8u);
}

TEST_F(OperatorTest, ListKindsAndTheirOptions) {
  InitDemo(db_);
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{"list", "costs", "--format", "json"}, 0},
      {{"list", "batches", "--format", "json"}, 0},
      {{"list", "balances-dept", "--dept", "D01", "--type", "2", "--format",
        "json"},
       0},
      {{"list", "balances", "--year", "2024", "--period", "10", "--dept", "D02",
        "--no-full", "--format", "json"},
       0},
      {{"list", "balances-dept"}, 2},                             // no --dept
      {{"list", "costs", "--year", "2024", "--period", "1"}, 2},  // no period
      {{"list", "batches", "--year", "2024"}, 2},                 // half period
      {{"list", "batches", "--period", "2024/10", "--format", "json"}, 0},
      {{"list", "batches", "--period", "2024/13"}, 2},  // 12 periods a year
      {{"list", "balances-dept", "--dept", "D01", "--type", "7"}, 2},
      {{"list", "balances", "--type", "1"}, 2},
      {{"list", "everything"}, 2},
      {{"list", "balances", "--format", "xml"}, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin() + 2, {"--db", db_});
    ToolResult r = Tool(args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << " " << r.err;
    if (c.status == 0) {
      auto j = nlohmann::json::parse(r.out);
      EXPECT_FALSE(j.empty()) << c.args[1];
    }
  }
}

// The table reads as a ledger: amounts to the row's decimals with
// thousands separators, no line wider than 120 columns, items before their
// total, a grand total of the total rows.
TEST_F(OperatorTest, ListTableReadsAsALedger) {
  InitDemo(db_);
  const std::vector<std::string> kinds = {"balances", "costs", "balances-dept",
                                          "batches"};
  for (const std::string& kind : kinds) {
    std::vector<std::string> args = {"list", kind, "--db", db_};
    if (kind == "balances-dept") args.insert(args.end(), {"--dept", "D01"});
    ToolResult table = Tool(args);
    args.insert(args.end(), {"--format", "json"});
    ToolResult json = Tool(args);
    ASSERT_EQ(table.status, 0) << kind << table.err;
    ASSERT_EQ(json.status, 0) << kind << json.err;
    const nlohmann::json rows = nlohmann::json::parse(json.out);
    // The table: header, rule, rows (then the grand total), up to the
    // count line; notes follow.
    std::vector<std::string> lines = Lines(table.out);
    const auto count_line =
        std::find_if(lines.begin(), lines.end(),
                     [](const std::string& l) { return l.rfind("(", 0) == 0; });
    ASSERT_NE(count_line, lines.end()) << table.out;
    lines.erase(count_line, lines.end());
    for (const std::string& line : lines) {
      EXPECT_LE(Columns(line), 120u) << kind << ": " << line;
    }
    // Every price to its row's price decimals: 83.1973333 with 2 is 83.20.
    for (const auto& row : rows) {
      if (!row.contains("FPrice")) continue;
      char expected[64];
      std::snprintf(expected, sizeof expected, "%.*f",
                    row["FPPrecision"].get<int>(), row["FPrice"].get<double>());
      EXPECT_NE(table.out.find(std::string(expected) + " "), std::string::npos)
          << kind << ": " << expected;
    }
    double grand = 0;
    size_t total_rows = 0;
    for (const auto& row : rows) {
      if (row.value("FCostID", "") != "*" || !row.contains("FEndBal")) continue;
      ++total_rows;
      grand += row["FEndBal"].get<double>();
    }
    if (total_rows == 0) continue;
    // The last row of the table is the grand total.
    const std::string& last = lines.back();
    EXPECT_EQ(last.rfind("grand total", 0), 0u) << kind << ": " << last;
    char sum[64];
    std::snprintf(sum, sizeof sum, "%.2f", grand);
    std::string text = sum;  // with thousands separators
    for (int at = static_cast<int>(text.find('.')) - 3; at > 0; at -= 3) {
      text.insert(static_cast<size_t>(at), ",");
    }
    EXPECT_NE(last.find(text), std::string::npos) << kind << ": " << last;
    // A total row follows its items: never two totals in a row, and the
    // row before the grand total is one.
    const std::string total_name = rows[0].value("FCostName", "");
    bool previous_total = false;
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
      const bool is_total =
          (lines[i] + " ").find(" " + total_name + " ") != std::string::npos;
      EXPECT_FALSE(is_total && previous_total) << kind << ": " << lines[i];
      if (i == 2) {
        EXPECT_FALSE(is_total) << kind << ": " << lines[i];
      }
      previous_total = is_total;
    }
    EXPECT_TRUE(previous_total) << kind;
  }
}

TEST_F(OperatorTest, DemoRunsAndReplacesOnlyItsOwnDatabase) {
  const std::string demo = (dir_ / "demo.db").string();
  ToolResult r = Tool({"demo", "--db", demo, "--scale", "tiny"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("the current period is 2024/12"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("reopen --db " + demo), std::string::npos);
  EXPECT_EQ(CurrentPeriod(demo), "2024/12");
  // Again: the earlier demonstration database is replaced by a fresh one.
  r = Tool({"demo", "--db", demo, "--scale", "tiny"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CurrentPeriod(demo), "2024/12");
  // Any other file is refused without --force.
  const std::string other = (dir_ / "other.db").string();
  std::ofstream(other) << "not a database";
  r = Tool({"demo", "--db", other, "--scale", "tiny"});
  EXPECT_EQ(r.status, 4) << r.err;
  std::ifstream in(other);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "not a database");
}

}  // namespace
}  // namespace marl::test
