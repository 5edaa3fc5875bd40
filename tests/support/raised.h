// The error a piece of code raises, for tests that check error records.
#pragma once

#include <functional>

#include "marlcheckout/error.h"

namespace marl::test {

// The marl::Error that `call` raised; number 0 with empty texts when none.
inline Error Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "", "");
}

}  // namespace marl::test
