// The ODBC provider's text conversion, and a server that is not there.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "data/odbc/odbc_provider.h"
#include "data/odbc/odbc_support.h"
#include "data/provider.h"
#include "marlcheckout/error.h"
#include "support/raised.h"

namespace marl::data {
namespace {

TEST(OdbcTextTest, Utf8AndUtf16RoundTripAndMalformedBytesBecomeU_FFFD) {
  struct Case {
    std::string in, out;
    size_t units;
  };
  const Case cases[] = {
      {"a\xc3\xa9\xe5\x90\x88\xdf\xbf\xe0\xa0\x80",
       "a\xc3\xa9\xe5\x90\x88\xdf\xbf\xe0\xa0\x80", 5},  // U+07FF, U+0800
      {"\xf0\x9f\x98\x80|\xf4\x8f\xbf\xbf", "\xf0\x9f\x98\x80|\xf4\x8f\xbf\xbf",
       5},  // surrogate pairs
      {"\xff\xc0\xaf\xed\xa0\x80\xe5\x90",
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
       6},  // lone, overlong, surrogate, cut short
  };
  for (const Case& c : cases) {
    odbc::WideText wide = odbc::Widen(c.in);
    EXPECT_EQ(wide.size(), c.units) << c.in;
    EXPECT_EQ(odbc::Narrow(wide.data(), wide.size()), c.out) << c.in;
  }
  const SQLWCHAR lone[] = {0xD83D, 'x'};  // an unpaired surrogate
  EXPECT_EQ(odbc::Narrow(lone, 2), "\xef\xbf\xbdx");
}

// A local port nothing listens on.
int ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

TEST(OdbcProviderTest, SqlServerThatIsNotThereFailsAtOnceWithItsStates) {
  RegisterProvider(odbc::MakeOdbcProvider());
  const std::string cs = "Provider=SQLOLEDB.1;Data Source=127.0.0.1," +
                         std::to_string(ClosedPort()) +
                         ";Initial Catalog=ERP;User ID=sa;Password=x";
  auto start = std::chrono::steady_clock::now();
  const Error e = test::Raised([&] { OpenPhysical(cs); });
  EXPECT_EQ(e.number(), err::kDbFail);
  EXPECT_EQ(e.source(), "ODBC");
  EXPECT_NE(e.description().find("[08S01]"), std::string::npos)
      << e.description();
  EXPECT_NE(e.description().find("[08001]"), std::string::npos)
      << e.description();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace marl::data
