// Display widths of table cells and the tables they make.
#include <gtest/gtest.h>

#include "table_format.h"

namespace marl::cli {
namespace {

TEST(DisplayWidth, CountsColumnsOnScreen) {
  struct Case {
    const char* text;
    size_t width;
  };
  const Case cases[] = {
      {"", 0},
      {"P0001 *", 7},
      {"a\tb\x7f", 2},      // controls and DEL take no room
      {"\x1f \x20", 2},     // the last control and the first blank
      {"齿轮 A-100", 10},   // ideographs count two
      {"e\xcc\x81", 1},     // a combining accent counts none
      {"\xc3\xa9", 1},      // é
      {"a\xff\xe9", 3},     // invalid bytes count one each
      {"\xef\xbc\xa1", 2},  // a fullwidth letter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
  }
}

// Columns as wide as their widest cell (by display width), numbers padded
// on the left, short rows filled, trailing blanks (indent too) trimmed.
TEST(TextTable, AlignsCellsByTheirDisplayWidth) {
  TextTable table({"name", "amount", "note"});
  table.SetRightAligned(1);
  table.AddRow({"齿轮", "1,670.10", "x"});
  table.AddRow({"P0001 *", "5.00"});
  table.AddRow({"", "", "", "extra"});
  table.AddRow({});
  EXPECT_EQ(table.Render("  "),
            "  name       amount  note\n"
            "  -------  --------  ----  -----\n"
            "  齿轮     1,670.10  x\n"
            "  P0001 *      5.00\n"
            "                           extra\n"
            "\n");
}

}  // namespace
}  // namespace marl::cli
