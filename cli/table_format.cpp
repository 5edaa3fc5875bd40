// Aligned text tables (see table_format.h).
#include "table_format.h"

#include <algorithm>
#include <cstdint>

namespace marl::cli {

namespace {

// Decodes one UTF-8 sequence at `i`; returns the code point and advances
// `i`, or returns -1 for an invalid byte (advancing one byte).
int32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int len = b0 < 0x80         ? 1
            : (b0 >> 5) == 6  ? 2
            : (b0 >> 4) == 14 ? 3
            : (b0 >> 3) == 30 ? 4
                              : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return -1;
  }
  int32_t cp = len == 1 ? b0 : b0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b >> 6) != 2) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += len;
  return cp;
}

bool IsWide(int32_t cp) {
  struct Range {
    int32_t lo, hi;
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},
      {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
      {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
      {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
      {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD},
      {0x30000, 0x3FFFD}};
  for (const Range& r : kWide) {
    if (cp >= r.lo && cp <= r.hi) return true;
  }
  return false;
}

bool IsZeroWidth(int32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) ||
         (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0xFE00 && cp <= 0xFE0F) || cp == 0xFEFF;
}

}  // namespace

size_t DisplayWidth(std::string_view utf8) {
  size_t width = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // ASCII: controls and DEL take no room
      width += b >= 0x20 && b != 0x7F ? 1 : 0;
      ++i;
      continue;
    }
    int32_t cp = NextCodePoint(utf8, i);
    if (cp < 0) {
      ++width;
    } else if (!IsZeroWidth(cp)) {
      width += IsWide(cp) ? 2 : 1;
    }
  }
  return width;
}

std::string Pad(std::string_view text, size_t width, bool right_align) {
  size_t w = DisplayWidth(text);
  if (w >= width) return std::string(text);
  std::string blanks(width - w, ' ');
  return right_align ? blanks + std::string(text) : std::string(text) + blanks;
}

TextTable::TextTable(std::vector<std::string> headers)
    : headers_(std::move(headers)), right_(headers_.size(), false) {}

void TextTable::SetRightAligned(size_t column, bool right) {
  if (column < right_.size()) right_[column] = right;
}

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(std::max(cells.size(), headers_.size()));
  rows_.push_back(std::move(cells));
}

std::string TextTable::Render(const std::string& indent) const {
  size_t columns = headers_.size();
  for (const auto& r : rows_) columns = std::max(columns, r.size());
  // Each cell measured once: the header row, then the rows.
  std::vector<size_t> widths(columns, 0);
  std::vector<size_t> cell_widths;
  auto measure = [&](const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
      cell_widths.push_back(DisplayWidth(cells[c]));
      widths[c] = std::max(widths[c], cell_widths.back());
    }
  };
  measure(headers_);
  for (const auto& r : rows_) measure(r);

  std::string out;
  size_t measured = 0;  // the next entry of cell_widths
  auto line = [&](const std::vector<std::string>& cells, bool rule) {
    const size_t start = out.size();
    out += indent;
    for (size_t c = 0; c < columns; ++c) {
      if (c > 0) out += "  ";
      if (rule) {
        out.append(widths[c], '-');
        continue;
      }
      if (c >= cells.size()) {
        out.append(widths[c], ' ');
        continue;
      }
      const size_t w = cell_widths[measured++];
      const size_t blanks = w < widths[c] ? widths[c] - w : 0;
      const bool right = c < right_.size() && right_[c];
      if (right) out.append(blanks, ' ');
      out += cells[c];
      if (!right) out.append(blanks, ' ');
    }
    while (out.size() > start && out.back() == ' ') out.pop_back();
    out += '\n';
  };
  line(headers_, false);
  line({}, true);
  for (const auto& r : rows_) line(r, false);
  return out;
}

std::string CsvField(std::string_view text) {
  bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
               (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"') out += '"';
    out += ch;
  }
  out += '"';
  return out;
}

}  // namespace marl::cli
