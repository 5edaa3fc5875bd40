// Every statement text the component sends, compared byte for byte with the
// golden traces of tests/golden on a fresh database made from the schema and
// the golden seed rows. MARL_UPDATE_GOLDEN=1 rewrites the golden files from
// what the component sends now (see tests/golden/README.md).
#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/erp_fixture.h"
#include "support/golden.h"

namespace marl::test {
namespace {

class GoldenTest : public ErpDbTest {
 protected:
  GoldenTest() { version_ = "golden"; }
};

TEST_F(GoldenTest, EveryScenarioSendsItsGoldenTexts) {
  const fs::path dir = MARL_GOLDEN_DIR;
  golden::Seed("Provider=SQLite;Data Source=" + db_path_, dir / "seed.sql");
  const std::string props = Dsn().substr(0, Dsn().rfind(";LANGUAGE="));
  const char* update = getenv("MARL_UPDATE_GOLDEN");
  const bool rewrite = update != nullptr && std::string(update) == "1";
  for (const std::string& failure :
       golden::Check(props, dir, trace_file(), rewrite)) {
    ADD_FAILURE() << failure;
  }
}

}  // namespace
}  // namespace marl::test
