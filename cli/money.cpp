// Amounts as a ledger shows them (see money.h).
#include "money.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace marl::cli {

std::string Money(double value, int decimals) {
  decimals = std::clamp(decimals, 0, 8);
  if (!std::isfinite(value)) return value != value ? "NaN" : "Infinity";
  // The shortest fixed-point text that reads back as the value (2.675 is
  // "2.675", not 2.67499999...), rounded half away from zero in decimal.
  // Worked on in one buffer: a place in front for a carry out of the first
  // digit, the text (a double's takes at most 330 characters), a point
  // where it has none and the zeros up to the rounding digit.
  constexpr size_t kText = 400;
  char buf[1 + kText + 1 + 8 + 1];
  char* const digits = buf + 1;
  char* end = std::to_chars(digits, digits + kText, std::fabs(value),
                            std::chars_format::fixed)
                  .ptr;
  char* const point = std::find(digits, end, '.');
  if (point == end) *end++ = '.';
  end = std::fill_n(end, decimals + 1, '0');  // room for the rounding digit
  char* const kept_end = point + 1 + decimals;
  char* begin = digits;
  if (*kept_end >= '5') {
    // Carry from the last kept digit leftwards.
    char* i = kept_end - 1;
    for (; i >= digits; --i) {
      if (*i == '.') continue;
      if (*i == '9') {
        *i = '0';
      } else {
        ++*i;
        break;
      }
    }
    if (i < digits) *--begin = '1';
  }
  const bool zero =
      std::all_of(begin, kept_end, [](char c) { return c == '0' || c == '.'; });
  const size_t whole = static_cast<size_t>(point - begin);
  std::string out;
  out.reserve(1 + whole + whole / 3 + 1 + static_cast<size_t>(decimals));
  if (value < 0 && !zero) out += '-';
  for (size_t i = 0; i < whole; ++i) {
    if (i > 0 && (whole - i) % 3 == 0) out += ',';
    out += begin[i];
  }
  if (decimals > 0) out.append(point, kept_end);
  return out;
}

}  // namespace marl::cli
