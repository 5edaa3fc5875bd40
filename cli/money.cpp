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
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                           std::chars_format::fixed);
  std::string text(buf, res.ptr);
  size_t point = text.find('.');
  if (point == std::string::npos) {
    point = text.size();
    text += '.';
  }
  text.append(decimals + 1, '0');  // room for the rounding digit
  std::string kept = text.substr(0, point + 1 + decimals);
  if (text[point + 1 + decimals] >= '5') {
    // Carry from the last kept digit leftwards.
    int i = static_cast<int>(kept.size()) - 1;
    for (; i >= 0; --i) {
      if (kept[i] == '.') continue;
      if (kept[i] == '9') {
        kept[i] = '0';
      } else {
        ++kept[i];
        break;
      }
    }
    if (i < 0) kept.insert(kept.begin(), '1');
  }
  point = kept.find('.');
  const std::string whole = kept.substr(0, point);
  const std::string fraction = decimals > 0 ? kept.substr(point) : "";
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  const bool zero = kept.find_first_not_of("0.") == std::string::npos;
  return (value < 0 && !zero ? "-" : "") + grouped + fraction;
}

}  // namespace marl::cli
