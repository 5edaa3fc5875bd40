// The command builder and period transfer tests' database: the shared ERP
// fixture in "chs", with the database description cache filled up front.
#pragma once

#include "support/erp_fixture.h"

namespace marl::transfer_test {

namespace fs = std::filesystem;
using test::Report;

class TransferDbTest : public test::ErpDbTest {
 protected:
  TransferDbTest() {
    language_ = "chs";
    version_ = "transfer";
  }
  void SetUp() override {
    ErpDbTest::SetUp();
    // Fill the process-wide type description cache now, so that traces
    // taken by a test do not depend on which test ran first.
    Source()->GetActualType(3);
  }
};

}  // namespace marl::transfer_test
