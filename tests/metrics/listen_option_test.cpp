// kestrel-cli's metrics options: the server listens on the loopback
// address unless another is given.
#include <gtest/gtest.h>

#include "app/cli/cli_output.h"

namespace kestrel {
namespace {

TEST(MetricsOptions, ListenAddressDefaultsToLoopback) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(
      ParseCliArguments({"--metrics-listen", "9100", "--metrics-file", "k.prom"}, &o, &error));
  EXPECT_EQ(o.metricsHost, "127.0.0.1");
  EXPECT_EQ(o.metricsPort, 9100);
  EXPECT_EQ(o.metricsFile, "k.prom");
  ASSERT_TRUE(ParseCliArguments({"--metrics-listen", "0.0.0.0:9200"}, &o, &error));
  EXPECT_EQ(o.metricsHost, "0.0.0.0");
  ASSERT_TRUE(ParseCliArguments({"--metrics-listen", "[::1]:9300"}, &o, &error));
  EXPECT_EQ(o.metricsHost, "::1");
  EXPECT_EQ(o.metricsPort, 9300);
  for (const char* bad : {"0", "65536", "host:", ":9100", "9100x"}) {
    EXPECT_FALSE(ParseCliArguments({"--metrics-listen", bad}, &o, &error)) << bad;
  }
  EXPECT_FALSE(ParseCliArguments({"--metrics-listen"}, &o, &error));
}

}  // namespace
}  // namespace kestrel
