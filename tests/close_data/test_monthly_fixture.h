// The monthly close tests' database: the shared ERP fixture in "chs".
#pragma once

#include "marlcheckout/check_out_info.h"
#include "marlcheckout/close_data.h"
#include "support/erp_fixture.h"

namespace marl::monthly_test {

namespace fs = std::filesystem;

class MonthlyTest : public test::ErpDbTest {
 protected:
  MonthlyTest() {
    language_ = "chs";
    version_ = "monthly";
  }
};

}  // namespace marl::monthly_test
