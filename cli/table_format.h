// Aligned text tables for the terminal, with East Asian text measured by
// the columns it takes on screen: wide and fullwidth characters (CJK
// ideographs, kana, hangul, fullwidth forms) count two columns, combining
// marks and control characters none, everything else one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marl::cli {

// Columns a UTF-8 text takes on a terminal (invalid bytes count one each).
size_t DisplayWidth(std::string_view utf8);

// `text` padded with blanks to `width` display columns, on the right (left
// aligned) or on the left (right aligned). Text already as wide or wider is
// returned unchanged.
std::string Pad(std::string_view text, size_t width, bool right_align);

// A table of text cells: a header row, a rule, the rows. Columns are as wide
// as their widest cell and separated by two blanks; a right-aligned column
// (numbers) is padded on the left. Rows shorter than the header are filled
// with empty cells.
class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers);
  void SetRightAligned(size_t column, bool right = true);
  void AddRow(std::vector<std::string> cells);
  size_t RowCount() const { return rows_.size(); }
  // The table, every line ending with "\n"; trailing blanks trimmed.
  std::string Render(const std::string& indent = "") const;

 private:
  std::vector<std::string> headers_;
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

// One CSV field: quoted (with inner quotes doubled) when it holds a comma, a
// quote, a line break or leading/trailing blanks.
std::string CsvField(std::string_view text);

}  // namespace marl::cli
