// The HTML health report on simulated drives: the values each page fills
// in (form fields and keys, drive sections and raised rows), the escaping
// of drive texts, the order of the report locations and the page that is
// opened; and the form's drive key, made with the platform's MD5 (checked
// against the test suite of RFC 1321): salt, byte reversal, lower-case hex
// and the cut of an over-long text. The pages' fixed markup is checked in
// a browser by tests/html.
#include "report/health_report.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "report/drive_key.h"
#include "report/md5.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

using Texts = std::vector<std::string>;

// Each test runs in <root>/a/b, so that the locations that climb up stay
// inside its own tree.
class HealthReportTest : public SimTest {
 protected:
  void SetUp() override { InstallMonitorHost(&host_); }
  void TearDown() override {
    InstallMonitorHost(nullptr);
    TheMonitorState().trayState = 0;
    SimTest::TearDown();
  }

  // Writes the report of `state` into html/<status>, checks that its index
  // page was opened and that the head loads the status's four tab pictures,
  // and returns the page's lines (each ended by CR LF).
  Texts Report(int state, const std::string& status) {
    host_.pages.clear();
    fs::create_directories("html/" + status);
    TheMonitorState().trayState = state;
    WriteHealthReport();
    EXPECT_EQ(host_.pages, Texts{Native("html/" + status + "/index.html")});
    const std::string page = ReadFile("html/" + status + "/report.html");
    const std::regex tab("\"\\.\\./images/" + status + "_tab0[12][ab]\\.gif\"");
    EXPECT_EQ(std::distance(std::sregex_iterator(page.begin(), page.end(), tab), {}), 4) << page;
    EXPECT_TRUE(page.ends_with("</body>\r\n</html>\r\n")) << page;
    Texts lines;
    for (std::size_t from = 0, to; (to = page.find("\r\n", from)) != std::string::npos;
         from = to + 2) {
      lines.push_back(page.substr(from, to - from));
    }
    return lines;
  }

  // A relative path as the report builds it on this platform.
  static std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', static_cast<char>(fs::path::preferred_separator));
    return path;
  }

  TestDirectory dir_{fs::path("a") / "b"};
  RecordingHost host_;
};

// The form's hidden fields as "name=value", in order.
Texts Fields(const Texts& lines) {
  const std::regex field(R"re(<input type="hidden" name="([^"]*)" value="([^"]*)" />)re");
  Texts out;
  std::smatch m;
  for (const std::string& line : lines) {
    if (std::regex_match(line, m, field)) out.push_back(m.str(1) + "=" + m.str(2));
  }
  return out;
}

// The data cells of the error page, a line a table row: each cell's text
// without markup, led by its colour where that is not white, and "|"
// between cells.
std::string Cells(const Texts& lines) {
  const std::regex cell(R"re(<td bgcolor="([^"]*)"[^>]*>(.*)</td>)re"), tag("<[^>]*>");
  std::string rows;
  std::smatch m;
  int cells = 0;  // in the current row
  for (const std::string& line : lines) {
    if (line.starts_with("<tr")) {
      if (cells > 0) rows += "\n";
      cells = 0;
    } else if (std::regex_match(line, m, cell)) {
      if (cells++ > 0) rows += "|";
      if (m.str(1) != "#FFFFFF") rows += m.str(1) + " ";
      rows += std::regex_replace(m.str(2), tag, "");
    }
  }
  if (cells > 0) rows += "\n";
  return rows;
}

// Drive 2 is never read, so it was never evaluated (result 3); drive 1 is
// absent and takes no number. Texts from the drive are escaped; the keys
// are made from the texts as they are. Without drives the form still has
// its key. The form posts the serial numbers, over TLS only.
TEST_F(HealthReportTest, NormalPageIsTheFormOfThePresentDrivesWithTheirKeys) {
  Scan("");
  EXPECT_EQ(Fields(Report(0, "normal")),
            (Texts{"date=2026-01-01", "count=0", "hddkey00=5967088e17e831fd947540425a9868d6"}));
  ShutdownDrives();

  Scan(
      "[Drive0]\nModel = HAYABUSA HB250S\nSerial = HB0S1234567\nFirmware = 2.1A\n"
      "Sectors = 488397168\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive2]\nModel = <script>x(\"&\")</script>\nSerial = <i>\nFirmware = 1.0\n"
      "Sectors = 156301488\nMajor = 0x00FE\nAttribute.09 = 0x0032 100 100 0 0\n");
  RereadSmart(1);
  const Texts page = Report(0, "normal");
  EXPECT_EQ(Fields(page),
            (Texts{"date=2026-01-01", "count=2", "hddkey00=a9eb4c680edd68224f03bd5f6b8b7fb0",
                   "hddmodel[1]=HAYABUSA HB250S", "hddserial[1]=HB0S1234567", "hddfarm[1]=2.1A",
                   "hddsize[1]=232.8 GB", "hddata[1]=6", "hddresult[1]=0",
                   "hddkey[1]=03c8a5d478e75f4bf1dca6b6e03271a1",
                   "hddmodel[2]=&lt;script&gt;x(&quot;&amp;&quot;)&lt;/script&gt;",
                   "hddserial[2]=&lt;i&gt;", "hddfarm[2]=1.0", "hddsize[2]=74.5 GB", "hddata[2]=7",
                   "hddresult[2]=3", std::string("hddkey[2]=") + DriveKey("%s%d", "<i>", 3)}));
  EXPECT_NE(std::find(page.begin(), page.end(),
                      "<form action=\"https://secure.corvid.example/~corvid/join/regist.php\" "
                      "method=\"post\" target=\"_blank\"><td valign=\"middle\">"),
            page.end());
}

// The warning page is the service notice alone (its words are checked in
// the browser by tests/html): no drive data, no form.
TEST_F(HealthReportTest, WarningPageIsOnlyTheServiceNotice) {
  Scan("[Drive0]\nModel = M\nAttribute.05 = 0x0033 100 100 0 36\n");
  const Texts page = Report(1, "warning");
  EXPECT_EQ(Fields(page), Texts{}) << "no form";
  EXPECT_EQ(Cells(page), "") << "no drive data";
  EXPECT_EQ(page.end()[-3], "</div></form></div>") << "the notice ends the body";
}

// Limits are the defaults: error at goodness 1, warning at 15. Drive 3 has
// no attribute slots and gets no section. Texts are escaped here as well.
// A section is the drive's identity, then its listed attributes: id, name,
// meaning, flags, threshold, current, worst, goodness in the colour of its
// level, raw value.
TEST_F(HealthReportTest, ErrorPageListsDeterioratedPreFailureAttributesWorstFirst) {
  Scan(
      "[Drive0]\nModel = M0\nSerial = S0\nFirmware = F0\nSectors = 156301488\n"
      "Attribute.0A = 0x0013 100 100 0 50\n"  // goodness 24: above the warning limit
      "Attribute.03 = 0x0003 60 58 0 50\n"    // 4
      "Attribute.C4 = 0x0032 10 10 0 50\n"    // not pre-failure
      "Attribute.01 = 0x000B 40 40 0 50\n"    // -20
      "Attribute.07 = 0x0005 60 60 0 50\n"    // 4, after 03
      "Attribute.05 = 0x0033 50 50 7 50\n"    // 0
      "Attribute.0B = 0x0001 10 10 0 -\n"     // no threshold
      "[Drive1]\nModel = <M1>\nSerial = S1\nFirmware = F1\nSectors = 1048576\n"
      "Attribute.03 = 0x0003 200 200 0 50\n"
      "[Drive3]\nModel = M3\nSmartSupported = 0\n");
  RereadSmart(0xF);
  EXPECT_EQ(Cells(Report(2, "error")),
            "ATA#0\n6\n\nM0\nF0\nS0\n74.5 GB\n\n"
            "01|Attribute 01|Test attribute|FO-R--| 50| 40| 40|#FF8B79 -20|0\n"
            "05|Attribute 05|Test attribute|FO--CS| 50| 50| 50|#FF8B79   0|7\n"
            "03|Attribute 03|Test attribute|FO----| 50| 60| 58|#FFB144   4|0\n"
            "07|Attribute 07|Test attribute|F-P---| 50| 60| 60|#FFB144   4|0\n"
            "ATA#1\n6\n\n&lt;M1&gt;\nF1\nS1\n.5 GB\n\n"
            "　|このドライブに悪化している属性はありません|　|　|　|　|　|　|　\n");
}

TEST_F(HealthReportTest, LocationsAreTriedInOrderAndTheUsedOneIsOpened) {
  Scan("");
  WriteHealthReport();
  EXPECT_TRUE(host_.pages.empty()) << "no location: nothing opened";
  for (const auto& entry : fs::recursive_directory_iterator(dir_.root())) {
    EXPECT_TRUE(entry.is_directory()) << "nothing written: " << entry.path();
  }

  fs::create_directories("../html/Solo/html/normal");
  fs::create_directories("../../html/Solo/html/normal");
  WriteHealthReport();
  EXPECT_EQ(host_.pages.back(), Native("../html/Solo/html/normal/index.html"));
  EXPECT_NE(ReadFile("../html/Solo/html/normal/report.html").find("</html>\r\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists("../../html/Solo/html/normal/report.html"));

  fs::create_directories("Solo/html/normal");
  WriteHealthReport();
  EXPECT_EQ(host_.pages.back(), Native("Solo/html/normal/index.html"));

  fs::create_directories("../../html/Solo/html/error");
  TheMonitorState().trayState = 2;
  WriteHealthReport();
  EXPECT_EQ(host_.pages.back(), Native("../../html/Solo/html/error/index.html"));
  EXPECT_EQ(host_.pages.size(), 3u);
}

// The empty text, one block and two blocks.
TEST(Md5, MatchesTheRfc1321Suite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890"
       "1234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : suite) EXPECT_EQ(Md5Hex(message), digest) << message;
}

// The key of `text` salted with "tovian" and reversed, worked out here.
std::string KeyOf(const std::string& text) {
  std::string salted = text + "tovian";
  std::reverse(salted.begin(), salted.end());
  return Md5Hex(salted);
}

// The keys of serial numbers worked out independently are the report
// test's. Nine bytes: the middle one ('o' of the salt) stays where it is,
// and a double-byte character is reversed as two bytes. An over-long text
// is cut so that the salt still fits; where byte 1017 would split a
// double-byte character, the whole of it goes.
TEST(DriveKey, IsTheMd5OfTheSaltedTextReversedAndCut) {
  EXPECT_EQ(DriveKey("abc"), Md5Hex("naivotcba"));
  EXPECT_EQ(DriveKey("ア"), Md5Hex("naivot\x41\x83"));
  const std::string full(1017, 'x');
  EXPECT_EQ(DriveKey("%s", (full + "yz").c_str()), KeyOf(full));
  const std::string shorter(1016, 'x');
  EXPECT_EQ(DriveKey("%s", (shorter + "ア").c_str()), KeyOf(shorter));
}

}  // namespace
}  // namespace kestrel
