// Amounts as a ledger shows them.
#include <gtest/gtest.h>

#include <limits>

#include "money.h"

namespace marl::cli {
namespace {

TEST(Money, RoundsInDecimalAndGroupsThousands) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  };
  const Case cases[] = {
      {1670.1, 2, "1,670.10"},
      {405501.45, 2, "405,501.45"},
      {1234567.891, 2, "1,234,567.89"},
      {2.675, 2, "2.68"},  // the binary value lies just below 2.675
      {999.995, 2, "1,000.00"},
      {404.545384615385, 4, "404.5454"},
      {-1234.5, 0, "-1,235"},
      {-0.004, 2, "0.00"},
      {0, 0, "0"},
      {100, 3, "100.000"},
      {-99999.5, 0, "-100,000"},
      {9.5, 0, "10"},
      {0.125, 12, "0.12500000"},  // at most 8 decimals
      {2.5, -1, "3"},
      {5e-324, 8, "0.00000000"},
      {-1e21, 0, "-1,000,000,000,000,000,000,000"},
      {std::numeric_limits<double>::quiet_NaN(), 2, "NaN"},
      {-std::numeric_limits<double>::infinity(), 2, "Infinity"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Money(c.value, c.decimals), c.text) << c.value;
  }
}

}  // namespace
}  // namespace marl::cli
