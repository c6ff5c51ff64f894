// kestrel-cli's arguments, message lines and the JSON it prints.
#include "app/cli/cli_output.h"

#include <tuple>

#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// The metrics server listens on the loopback address unless given another.
TEST(CliArguments, FrontEndOptionsThenProgramOptionsSeparateOrJoined) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliArguments({"--sim", "demo.scenario", "--json", "--metrics-listen", "9100",
                                 "--metrics-file", "k.prom", "/l", "/var/log/k.log", "/Dsmart.dat"},
                                &o, &error))
      << error;
  EXPECT_EQ(o.scenarioPath, "demo.scenario");
  EXPECT_TRUE(o.json);
  ASSERT_EQ(o.programOptions.size(), 2u);
  EXPECT_EQ(o.programOptions[0], (std::pair<char, std::string>{'l', "/var/log/k.log"}));
  EXPECT_EQ(o.programOptions[1], (std::pair<char, std::string>{'d', "smart.dat"}));
  EXPECT_EQ(ComposeCommandLine(o), "kestrel-cli /l \"/var/log/k.log\" /d \"smart.dat\"");
  EXPECT_EQ(o.metricsHost + " " + std::to_string(o.metricsPort) + " " + o.metricsFile,
            "127.0.0.1 9100 k.prom");
  for (const auto& [listen, host, port] :
       {std::tuple{"0.0.0.0:9200", "0.0.0.0", 9200}, std::tuple{"[::1]:9300", "::1", 9300}}) {
    ASSERT_TRUE(ParseCliArguments({"--metrics-listen", listen}, &o, &error)) << listen;
    EXPECT_EQ(o.metricsHost, host);
    EXPECT_EQ(o.metricsPort, port);
  }
}

TEST(CliArguments, RejectsStrayArgumentsQuotesAndBadPorts) {
  CliOptions o;
  std::string error;
  EXPECT_FALSE(ParseCliArguments({"/x", "y"}, &o, &error));
  EXPECT_FALSE(ParseCliArguments({"/l", "/d", "--json"}, &o, &error) &&
               o.programOptions.size() != 2);
  EXPECT_FALSE(ParseCliArguments({"/l", "a\"b"}, &o, &error));
  EXPECT_FALSE(ParseCliArguments({"--sim"}, &o, &error));
  EXPECT_FALSE(ParseCliArguments({"--metrics-listen"}, &o, &error));
  for (const char* bad : {"0", "65536", "host:", ":9100", "9100x"}) {
    EXPECT_FALSE(ParseCliArguments({"--metrics-listen", bad}, &o, &error)) << bad;
  }
}

TEST(CliMessages, LineHasStyleCaptionAndEscapedUtf8Text) {
  EXPECT_EQ(FormatMessageLine(16, "Varne", "ドライバ\r次\n行"),
            "16\tVarne\t\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x90\\r"
            "\xE6\xAC\xA1\\n\xE8\xA1\x8C");
}

using CliJson = SimTest;

TEST_F(CliJson, DescribesEveryPresentDriveAndItsAttributes) {
  Scan(
      "[Drive0]\nModel = \"Disk \\\"A\\\"\"\nSerialAta = 1\nSectors = 1048576\n"
      "Attribute.01 = 0x000B 100 100 0 97\n"
      "[Drive3]\nPacket = 5\n");
  RereadSmart(1);
  std::string json = FormatDriveTableJson(TheDriveTable(), 2, 1u << 3);
  EXPECT_EQ(json.rfind("{\"trayState\": 2, \"drives\": [{\"index\": 0,", 0), 0u) << json;
  EXPECT_EQ(json.find('\n'), json.size() - 1) << "one line";
  for (const char* part :
       {"\"index\": 0, \"state\": [\"Present\", \"Usable\"], \"status\": [\"StatusError\", "
        "\"StatusErrorSeen\", \"SmartSupported\", \"SmartEnabled\"]",
        "\"model\": \"Disk \\\\\\\"A\\\\\\\"\"", "\"capacity\": \".5 GB\"", "\"serialAta\": true",
        "\"lastEvaluated\": \"2026-01-01 09:00:00\", \"asleep\": false",
        "\"id\": 1, \"threshold\": 97, \"current\": 100, \"worst\": 100, \"flags\": 11, "
        "\"raw\": 0, \"rawText\": \"0\", \"goodness\": 1, \"level\": \"error\", "
        "\"changes\": [], \"name\": \"Attribute 01\", \"meaning\": \"Test attribute\"}",
        "\"index\": 3, \"state\": [\"Present\"]", "\"lastEvaluated\": null, \"asleep\": true"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
  EXPECT_EQ(json.find("\"index\": 1"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
