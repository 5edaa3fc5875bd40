// The registry entry of CheckOutUpdate: ProgID, class and interface
// identifiers, threading model, transaction attribute and factory. The server
// registers it; nothing here registers itself.
#pragma once

#include "marlcheckout/registry.h"

namespace marl::check_out_update {

ClassInfo ClassEntry();

}  // namespace marl::check_out_update
