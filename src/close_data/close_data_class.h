// The registry entry of CloseData: ProgID, class and interface identifiers,
// threading model, transaction attribute and factory. The server registers
// it; nothing here registers itself.
#pragma once

#include "marlcheckout/registry.h"

namespace marl::close_data {

ClassInfo ClassEntry();

}  // namespace marl::close_data
