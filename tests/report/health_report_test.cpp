// The HTML health report on simulated drives: the page of each state byte
// for byte, the escaping of drive texts, the order of the report locations
// and the page that is opened.
#include "report/health_report.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>

#include "report/drive_key.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// `text` with each "$" replaced by the next of `values` and each line end
// made CR LF ("$" is never part of a double-byte character).
std::string Fill(std::string_view text, std::initializer_list<std::string_view> values = {}) {
  std::string out;
  auto value = values.begin();
  for (char c : text) {
    if (c == '$' && value != values.end()) {
      out += *value++;
    } else {
      out += c == '\n' ? "\r\n" : std::string(1, c);
    }
  }
  return out;
}

// The body of a whole page of status `s`, whose head loads the status's
// tab pictures (what the browser makes of the head is checked in tests/html).
std::string Body(const std::string& page, std::string_view s) {
  const std::string open = "<body onLoad=\"Loadimg()\">\r\n", close = "</body>\r\n</html>\r\n";
  const std::size_t from = page.find(open), to = page.size() - close.size();
  if (!page.starts_with("<!DOCTYPE HTML") || !page.ends_with(close) || from > to) {
    ADD_FAILURE() << "not a whole page:\n" << page;
    return page;
  }
  for (std::string_view tab : {"01a", "01b", "02a", "02b"}) {
    const std::string line = Fill("Tab$.src = \"../images/$_tab$.gif\";\n", {tab, s, tab});
    EXPECT_LT(page.find(line), from) << line;
  }
  return page.substr(from + open.size(), to - from - open.size());
}

// The normal page's form: date 2026-01-01, `count` drives and their lines.
std::string Form(std::string_view count, std::string_view key, const std::string& drives) {
  return Fill(R"html(<table border="0" align="center" cellpadding="0" cellspacing="2"><tr>
<form action="https://secure.corvid.example/~corvid/join/regist.php" method="post" target="_blank"><td valign="middle">
<input type="hidden" name="date" value="2026-01-01" />
<input type="hidden" name="count" value="$" />
<input type="hidden" name="hddkey00" value="$" />
)html",
              {count, key}) +
         drives +
         Fill(R"html(<input name="submit" type="submit" value="　　　入会フォームへ　　　" />
</td></form>
<td width="30" valign="middle">&nbsp;</td>
<td valign="middle" class="mini">
<img src="../images/icon-tri01.gif" width="15" height="12"><a href="https://www.corvid.example/service/Corvidclub.html" target="_top">Corvid Clubのご案内</a>
</td>
</tr></table>
)html");
}

// Drive `n` of the form: model, serial, firmware, size, ATA, result, key.
std::string FormDrive(std::string_view n, std::initializer_list<std::string_view> fields) {
  const char* const names[] = {"hddmodel", "hddserial", "hddfarm", "hddsize",
                               "hddata",   "hddresult", "hddkey"};
  std::string out;
  const std::string_view* field = fields.begin();
  for (const char* name : names) {
    out += Fill("<input type=\"hidden\" name=\"$[$]\" value=\"$\" />\n", {name, n, *field++});
  }
  return out;
}

constexpr char kRed[] = "#FF8B79";
constexpr char kOrange[] = "#FFB144";

// A row of the error page's attribute table; the test definitions name
// every attribute alike.
std::string Row(std::string_view id, std::string_view flags, std::string_view current,
                std::string_view worst, std::string_view colour, std::string_view goodness,
                std::string_view raw) {
  return Fill(R"html(<tr>
<td bgcolor="#FFFFFF" align=center>$</td>
<td bgcolor="#FFFFFF">Attribute $</td>
<td bgcolor="#FFFFFF"><font size=-2>Test attribute</font></td>
<td bgcolor="#FFFFFF" align=center>$</td>
<td bgcolor="#FFFFFF" align=right> 50</td>
<td bgcolor="#FFFFFF" align=right>$</td>
<td bgcolor="#FFFFFF" align=right>$</td>
<td bgcolor="$" align=right>$</td>
<td bgcolor="#FFFFFF" align=right>$</td>
</tr>
)html",
              {id, id, flags, current, worst, colour, goodness, raw});
}

// A drive's section of the error page: drive, major and minor version,
// model, firmware, serial, capacity and comment, then the attribute rows.
std::string Section(std::initializer_list<std::string_view> identity, const std::string& rows) {
  std::string out = Fill(R"html(<table border="0" align="center" cellpadding="5" cellspacing="0">
<tr>
<td align="left" valign="top" bgcolor="#EEEEEE"><table width=240 border="1" cellpadding="3" cellspacing="0">
)html");
  const std::string_view* value = identity.begin();
  for (const char* label :
       {"Drive", "Major Ver ", "Minor Ver ", "<strong>Model</strong>", "<strong>Firmware</strong>",
        "<strong>Serial</strong>", "<strong>Capacity</strong>", "<strong>Comment</strong>"}) {
    out += Fill(
        "<tr>\n<th nowrap bgcolor=\"#FF8B79\" scope=\"row\">$</th>\n"
        "<td bgcolor=\"#FFFFFF\">$</td>\n</tr>\n",
        {label, *value++});
  }
  out += Fill(R"html(</table></td>
<td align="left" valign="top" bgcolor="#EEEEEE"><table border="1" cellpadding="3" cellspacing="0">
<tr align=center>
)html");
  for (const char* title :
       {"ID", "属性", "意味", "フラグ", "しきい値", "現在値", "最悪値", "良好度", "ロウデータ"}) {
    out += Fill("<th nowrap bgcolor=\"#FF8B79\" scope=\"col\"$>$</th>\n",
                {std::string_view(title) == "フラグ" ? " width=50" : "", title});
  }
  return out + Fill("</tr>\n") + rows + Fill("</table></td>\n</tr>\n</table><br>\n");
}

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
  // page was opened, and returns the report.
  std::string Report(int state, const std::string& status) {
    host_.pages.clear();
    fs::create_directories("html/" + status);
    TheMonitorState().trayState = state;
    WriteHealthReport();
    EXPECT_EQ(host_.pages, std::vector<std::string>{Native("html/" + status + "/index.html")});
    return ReadFile("html/" + status + "/report.html");
  }

  // A relative path as the report builds it on this platform.
  static std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', static_cast<char>(fs::path::preferred_separator));
    return path;
  }

  TestDirectory dir_{fs::path("a") / "b"};
  RecordingHost host_;
};

// Drive 2 is never read, so it was never evaluated (result 3); drive 1 is
// absent and takes no number. Texts from the drive are escaped; the keys
// are made from the texts as they are. Without drives the form still has
// its key.
TEST_F(HealthReportTest, NormalPageIsTheFormOfThePresentDrivesWithTheirKeys) {
  Scan("");
  EXPECT_EQ(Body(Report(0, "normal"), "normal"), Form("0", "5967088e17e831fd947540425a9868d6", ""));
  ShutdownDrives();

  Scan(
      "[Drive0]\nModel = HAYABUSA HB250S\nSerial = HB0S1234567\nFirmware = 2.1A\n"
      "Sectors = 488397168\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive2]\nModel = <script>x(\"&\")</script>\nSerial = <i>\nFirmware = 1.0\n"
      "Sectors = 156301488\nMajor = 0x00FE\nAttribute.09 = 0x0032 100 100 0 0\n");
  RereadSmart(1);
  EXPECT_EQ(
      Body(Report(0, "normal"), "normal"),
      Form("2", "a9eb4c680edd68224f03bd5f6b8b7fb0",
           FormDrive("1", {"HAYABUSA HB250S", "HB0S1234567", "2.1A", "232.8 GB", "6", "0",
                           "03c8a5d478e75f4bf1dca6b6e03271a1"}) +
               FormDrive("2", {"&lt;script&gt;x(&quot;&amp;&quot;)&lt;/script&gt;", "&lt;i&gt;",
                               "1.0", "74.5 GB", "7", "3", DriveKey("%s%d", "<i>", 3)})));
}

// The notice is a text of its own (its words are checked in the browser by
// tests/html).
TEST_F(HealthReportTest, WarningPageIsOnlyTheServiceNotice) {
  Scan("[Drive0]\nModel = M\nAttribute.05 = 0x0033 100 100 0 36\n");
  const std::string body = Body(Report(1, "warning"), "warning");
  EXPECT_TRUE(body.starts_with("<div><form action=\"https://www.corvid.example/corvid/") &&
              body.ends_with("</div></form></div>\r\n"))
      << body;
  EXPECT_NE(body.find("HDD換装サービスの詳細を見る"), std::string::npos);
}

// Limits are the defaults: error at goodness 1, warning at 15. Drive 3 has
// no attribute slots and gets no section. Texts are escaped here as well.
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
  std::string nothing = Fill(
      "<tr>\n<td bgcolor=\"#FFFFFF\">　</td>\n<td bgcolor=\"#FFFFFF\">"
      "このドライブに悪化している属性はありません</td>\n");
  for (int i = 0; i < 7; ++i) nothing += Fill("<td bgcolor=\"#FFFFFF\">　</td>\n");
  EXPECT_EQ(Body(Report(2, "error"), "error"),
            Section({"ATA#0", "6", "", "M0", "F0", "S0", "74.5 GB", ""},
                    Row("01", "FO-R--", " 40", " 40", kRed, "-20", "0") +
                        Row("05", "FO--CS", " 50", " 50", kRed, "  0", "7") +
                        Row("03", "FO----", " 60", " 58", kOrange, "  4", "0") +
                        Row("07", "F-P---", " 60", " 60", kOrange, "  4", "0")) +
                Section({"ATA#1", "6", "", "&lt;M1&gt;", "F1", "S1", ".5 GB", ""},
                        nothing + Fill("</tr>\n")));
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

}  // namespace
}  // namespace kestrel
