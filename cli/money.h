// Amounts as a ledger shows them: rounded to a number of decimals, with
// thousands separators ("1,234,567.80", "-0.50").
#pragma once

#include <string>

namespace marl::cli {

// `value` rounded half away from zero to `decimals` places (0..8), digits
// grouped by three with ","; a value that rounds to zero has no sign.
std::string Money(double value, int decimals = 2);

}  // namespace marl::cli
