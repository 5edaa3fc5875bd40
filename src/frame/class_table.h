// The registry entries of the component's classes.
#pragma once

#include <vector>

#include "marlcheckout/registry.h"

namespace marl::frame {

// The three public classes: ProgID, class and interface identifiers
// (with the earlier ones), threading model, transaction attribute, factory.
std::vector<ClassInfo> PublicClasses();

// The resource-text loader "OpalRESLOADER.Loader".
ClassInfo ResourceLoaderClass();

}  // namespace marl::frame
