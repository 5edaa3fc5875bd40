// The frame tests' database: the shared ERP fixture in "en".
#pragma once

#include "support/erp_fixture.h"

namespace marl::frame_test {

namespace fs = std::filesystem;

class FrameDbTest : public test::ErpDbTest {
 protected:
  FrameDbTest() { version_ = "frame"; }
};

}  // namespace marl::frame_test
