// The registry entry of CheckOutInfo: ProgID, class and interface identifiers,
// threading model, transaction attribute and factory. The server registers
// it; nothing here registers itself.
#pragma once

#include "marlcheckout/registry.h"

namespace marl::check_out_info {

ClassInfo ClassEntry();

}  // namespace marl::check_out_info
