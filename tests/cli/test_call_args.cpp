// Value-set arguments of `call`: every JSON number keeps its value, whole
// numbers within 32 bits as I4 and the others as R8.
#include <gtest/gtest.h>

#include "common.h"

namespace marl::cli {
namespace {

TEST(CallArgs, ValueSetNumbersKeepTheirValue) {
  const auto set = JsonToValueSet(
      R"({"A": -2147483648, "B": 2147483648, "C": 10213023705161793536,
          "D": -9223372036854775808, "E": 2.5})");
  EXPECT_EQ(set->Value("A").Type(), VarType::I4);
  EXPECT_EQ(set->Value("A").AsI4(), -2147483648);
  EXPECT_EQ(set->Value("B").AsR8(), 2147483648.0);
  EXPECT_EQ(set->Value("C").AsR8(), 10213023705161793536.0);
  EXPECT_EQ(set->Value("D").AsR8(), -9223372036854775808.0);
  EXPECT_EQ(set->Value("E").AsR8(), 2.5);
}

}  // namespace
}  // namespace marl::cli
