// The HTML health report on simulated drives: the page of each state byte
// for byte, the order of the report locations and the page that is opened.
#include "report/health_report.h"

#include "report/drive_key.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "report/monitor.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

class PageHost final : public MonitorHost {
 public:
  void ChangeTrayIcon(int) override {}
  void ShowNotice(const char*, int) override {}
  void SetStatusText(int, const char*) override {}
  void OpenPage(const char* path) override { pages.emplace_back(path); }
  std::vector<std::string> pages;
};

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* line : lines) out += std::string(line) + "\r\n";
  return out;
}

// A relative path as the report builds it on this platform.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', static_cast<char>(fs::path::preferred_separator));
  return path;
}

std::string Head(const std::string& s) {
  return Crlf({"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"",
               "\"http://www.w3.org/TR/html4/loose.dtd\">",
               "<html>",
               "<head>",
               "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">",
               "<title>Kestrel ハードディスク故障診断プログラム</title>",
               "<style type=\"text/css\">",
               "<!--",
               "body {",
               "\tfont-size: 10pt;",
               "}",
               ".status {",
               "\tfont-size: 26pt;",
               "\tfont-weight: bold;",
               "}",
               ".mini {",
               "\tfont-size: 10pt;",
               "}",
               "-->",
               "</style>",
               "<script type=\"text/javascript\">",
               "<!--",
               "var Tab01a = new Image();",
               "var Tab01b = new Image();",
               "var Tab02a = new Image();",
               "var Tab02b = new Image();"}) +
         "Tab01a.src = \"../images/" + s +
         "_tab01a.gif\";\r\n"
         "Tab01b.src = \"../images/" +
         s +
         "_tab01b.gif\";\r\n"
         "Tab02a.src = \"../images/" +
         s +
         "_tab02a.gif\";\r\n"
         "Tab02b.src = \"../images/" +
         s + "_tab02b.gif\";\r\n" +
         Crlf({"", "function Loadimg(){", "if(top.header){", "if(top.header.document.images){",
               "top.header.document.images[\"Tab01\"].src = eval('Tab01a.src');",
               "top.header.document.images[\"Tab02\"].src = eval('Tab02b.src');", "}}}", "//-->",
               "</script>", "</head>", "", "<body onLoad=\"Loadimg()\">"});
}

// Each test runs in <root>/a/b, so that the locations that climb up stay
// inside its own tree.
class HealthReportTest : public SimTest {
 protected:
  void SetUp() override {
    root_ =
        fs::path(testing::TempDir()) /
        ("kestrel_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "a" / "b");
    oldDir_ = fs::current_path();
    fs::current_path(root_ / "a" / "b");
    oldHost_ = InstalledMonitorHost();
    InstallMonitorHost(&host_);
  }
  void TearDown() override {
    InstallMonitorHost(oldHost_);
    TheMonitorState().trayState = 0;
    fs::current_path(oldDir_);
    SimTest::TearDown();
  }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Writes the report of `state` into html/<status> and returns what lies
  // between the head and the page end, checking both and the line ends.
  std::string Body(int state, const std::string& status) {
    fs::create_directories("html/" + status);
    TheMonitorState().trayState = state;
    WriteHealthReport();
    EXPECT_EQ(host_.pages, std::vector<std::string>{Native("html/" + status + "/index.html")});
    std::string page = Read("html/" + status + "/report.html");
    std::ptrdiff_t crlf = 0;
    for (auto at = page.find("\r\n"); at != std::string::npos; at = page.find("\r\n", at + 2))
      ++crlf;
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), crlf) << "a bare LF";
    EXPECT_EQ(std::count(page.begin(), page.end(), '\r'), crlf) << "a bare CR";
    std::string head = Head(status);
    const std::string end = "</body>\r\n</html>\r\n";
    EXPECT_EQ(page.substr(0, head.size()), head);
    EXPECT_EQ(page.substr(page.size() - std::min(page.size(), end.size())), end);
    if (page.size() < head.size() + end.size()) return "";
    return page.substr(head.size(), page.size() - head.size() - end.size());
  }

  PageHost host_;
  fs::path root_;
  fs::path oldDir_;
  MonitorHost* oldHost_ = nullptr;
};

constexpr char kFormEnd[] =
    "<input name=\"submit\" type=\"submit\" value=\"　　　入会フォームへ　　　\" />\r\n"
    "</td></form>\r\n"
    "<td width=\"30\" valign=\"middle\">&nbsp;</td>\r\n"
    "<td valign=\"middle\" class=\"mini\">\r\n"
    "<img src=\"../images/icon-tri01.gif\" width=\"15\" height=\"12\"><a "
    "href=\"https://www.corvid.example/service/Corvidclub.html\" target=\"_top\">Corvid "
    "Clubのご案内</a>\r\n"
    "</td>\r\n"
    "</tr></table>\r\n";

TEST_F(HealthReportTest, NormalFormNumbersThePresentDrivesAndKeysThem) {
  // Drive 2 is never read, so it was never evaluated (result 3); drive 1
  // is absent and takes no number.
  Scan(
      "[Drive0]\nModel = HAYABUSA HB250S\nSerial = HB0S1234567\nFirmware = 2.1A\n"
      "Sectors = 488397168\nAttribute.05 = 0x0033 100 100 0 36\n"
      "[Drive2]\nModel = TSUBAME T80\nSerial = TB80\nFirmware = 1.0\n"
      "Sectors = 156301488\nMajor = 0x00FE\nAttribute.09 = 0x0032 100 100 0 0\n");
  RereadSmart(1);
  EXPECT_EQ(
      Body(0, "normal"),
      Crlf(
          {"<table border=\"0\" align=\"center\" cellpadding=\"0\" cellspacing=\"2\"><tr>",
           "<form action=\"https://secure.corvid.example/~corvid/join/regist.php\" method=\"post\" "
           "target=\"_blank\"><td valign=\"middle\">",
           "<input type=\"hidden\" name=\"date\" value=\"2026-01-01\" />",
           "<input type=\"hidden\" name=\"count\" value=\"2\" />",
           "<input type=\"hidden\" name=\"hddkey00\" value=\"a9eb4c680edd68224f03bd5f6b8b7fb0\" />",
           "<input type=\"hidden\" name=\"hddmodel[1]\" value=\"HAYABUSA HB250S\" />",
           "<input type=\"hidden\" name=\"hddserial[1]\" value=\"HB0S1234567\" />",
           "<input type=\"hidden\" name=\"hddfarm[1]\" value=\"2.1A\" />",
           "<input type=\"hidden\" name=\"hddsize[1]\" value=\"232.8 GB\" />",
           "<input type=\"hidden\" name=\"hddata[1]\" value=\"6\" />",
           "<input type=\"hidden\" name=\"hddresult[1]\" value=\"0\" />",
           "<input type=\"hidden\" name=\"hddkey[1]\" value=\"03c8a5d478e75f4bf1dca6b6e03271a1\" "
           "/>",
           "<input type=\"hidden\" name=\"hddmodel[2]\" value=\"TSUBAME T80\" />",
           "<input type=\"hidden\" name=\"hddserial[2]\" value=\"TB80\" />",
           "<input type=\"hidden\" name=\"hddfarm[2]\" value=\"1.0\" />",
           "<input type=\"hidden\" name=\"hddsize[2]\" value=\"74.5 GB\" />",
           "<input type=\"hidden\" name=\"hddata[2]\" value=\"7\" />",
           "<input type=\"hidden\" name=\"hddresult[2]\" value=\"3\" />",
           "<input type=\"hidden\" name=\"hddkey[2]\" value=\"0f8498dbc9eba65b34a8fa02b4ace5b3\" "
           "/>"}) +
          kFormEnd);
}

// Texts from the drive and the definition file are escaped wherever they
// go into the page; the keys are made from the texts as they are.
TEST_F(HealthReportTest, DriveTextsWithMarkupAreEscaped) {
  Scan(
      "[Drive0]\nModel = <script>x(\"&\")</script>\nSerial = <i>\n"
      "Attribute.05 = 0x0033 100 100 0 36\n");
  RereadSmart(1);
  std::string form = Body(0, "normal");
  EXPECT_NE(form.find("name=\"hddmodel[1]\" value=\"&lt;script&gt;x(&quot;&amp;&quot;)"
                      "&lt;/script&gt;\" />"),
            std::string::npos)
      << form;
  EXPECT_NE(form.find(std::string("name=\"hddkey[1]\" value=\"") + DriveKey("%s%d", "<i>", 0)),
            std::string::npos);
  EXPECT_EQ(form.find("<script>"), std::string::npos);
  EXPECT_EQ(form.find("<i>"), std::string::npos);

  host_.pages.clear();
  std::string tables = Body(2, "error");
  EXPECT_NE(tables.find("&lt;script&gt;"), std::string::npos);
  EXPECT_EQ(tables.find("<script>"), std::string::npos);
}

TEST_F(HealthReportTest, NormalFormWithoutDrivesStillCarriesDateCountAndKey) {
  Scan("");
  std::string body = Body(0, "normal");
  EXPECT_NE(body.find("<input type=\"hidden\" name=\"count\" value=\"0\" />\r\n"
                      "<input type=\"hidden\" name=\"hddkey00\" "
                      "value=\"5967088e17e831fd947540425a9868d6\" />\r\n" +
                      std::string(kFormEnd)),
            std::string::npos)
      << body;
}

TEST_F(HealthReportTest, WarningPageIsOnlyTheServiceNotice) {
  Scan("[Drive0]\nModel = M\nAttribute.05 = 0x0033 100 100 0 36\n");
  std::string body = Body(1, "warning");
  std::string promotion = "Onsite Corvid HDD換装サービスは、";
  std::size_t cut = body.find(promotion);
  ASSERT_NE(cut, std::string::npos) << body;
  EXPECT_EQ(
      body.substr(0, cut),
      Crlf({"<div><form action=\"https://www.corvid.example/corvid/service/copy.html\" "
            "target=\"_top\"><div align=\"center\">",
            "<table width=\"587\"><tr bordercolor=\"#C1C1C1\"><td width=\"579\" height=\"79\">"}));
  EXPECT_EQ(body.substr(body.find("\r\n", cut)),
            "\r\n" + Crlf({"</td></tr></table>",
                           "<p><input type=\"submit\" value=\"Onsite Corvid "
                           "HDD換装サービスの詳細を見る\" /><br><br></p>",
                           "</div></form></div>"}));
}

TEST_F(HealthReportTest, ErrorPageListsDeterioratedPreFailureAttributesWorstFirst) {
  // Limits are the defaults: error at goodness 1, warning at 15. Drive 3
  // has no attribute slots and gets no section.
  Scan(
      "[Drive0]\nModel = M0\nSerial = S0\nFirmware = F0\nSectors = 156301488\n"
      "Attribute.0A = 0x0013 100 100 0 50\n"  // goodness 24: above the warning limit
      "Attribute.03 = 0x0003 60 60 0 50\n"    // 4
      "Attribute.C4 = 0x0032 10 10 0 50\n"    // not pre-failure
      "Attribute.01 = 0x000B 40 40 0 50\n"    // -20
      "Attribute.07 = 0x0005 60 60 0 50\n"    // 4, after 03
      "Attribute.05 = 0x0033 50 50 7 50\n"    // 0
      "Attribute.0B = 0x0001 10 10 0 -\n"     // no threshold
      "[Drive1]\nModel = M1\nAttribute.03 = 0x0003 200 200 0 50\n"
      "[Drive3]\nModel = M3\nSmartSupported = 0\n");
  RereadSmart(0xF);
  std::string body = Body(2, "error");
  std::string section0 = body.substr(0, body.find("</table><br>\r\n") + 14);
  std::string section1 = body.substr(section0.size());

  std::string th = "<th nowrap bgcolor=\"#FF8B79\" scope=\"row\">";
  std::string opening =
      Crlf({"<table border=\"0\" align=\"center\" cellpadding=\"5\" cellspacing=\"0\">", "<tr>",
            "<td align=\"left\" valign=\"top\" bgcolor=\"#EEEEEE\"><table width=240 border=\"1\" "
            "cellpadding=\"3\" cellspacing=\"0\">"});
  const char* rows[][2] = {{"Drive", "ATA#0"},
                           {"Major Ver ", "6"},
                           {"Minor Ver ", ""},
                           {"<strong>Model</strong>", "M0"},
                           {"<strong>Firmware</strong>", "F0"},
                           {"<strong>Serial</strong>", "S0"},
                           {"<strong>Capacity</strong>", "74.5 GB"},
                           {"<strong>Comment</strong>", ""}};
  for (auto& [label, value] : rows) {
    opening += "<tr>\r\n" + th + label + "</th>\r\n<td bgcolor=\"#FFFFFF\">" + value +
               "</td>\r\n</tr>\r\n";
  }
  opening +=
      "</table></td>\r\n<td align=\"left\" valign=\"top\" bgcolor=\"#EEEEEE\"><table border=\"1\" "
      "cellpadding=\"3\" cellspacing=\"0\">\r\n<tr align=center>\r\n";
  opening += Crlf({"<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">ID</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">属性</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">意味</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\" width=50>フラグ</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">しきい値</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">現在値</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">最悪値</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">良好度</th>",
                   "<th nowrap bgcolor=\"#FF8B79\" scope=\"col\">ロウデータ</th>"});
  opening += "</tr>\r\n";
  std::string firstRow = Crlf({"<tr>", "<td bgcolor=\"#FFFFFF\" align=center>01</td>",
                               "<td bgcolor=\"#FFFFFF\">Attribute 01</td>",
                               "<td bgcolor=\"#FFFFFF\"><font size=-2>Test attribute</font></td>",
                               "<td bgcolor=\"#FFFFFF\" align=center>FO-R--</td>",
                               "<td bgcolor=\"#FFFFFF\" align=right> 50</td>",
                               "<td bgcolor=\"#FFFFFF\" align=right> 40</td>",
                               "<td bgcolor=\"#FFFFFF\" align=right> 40</td>",
                               "<td bgcolor=\"#FF8B79\" align=right>-20</td>",
                               "<td bgcolor=\"#FFFFFF\" align=right>0</td>", "</tr>"});
  EXPECT_EQ(section0.substr(0, opening.size() + firstRow.size()), opening + firstRow);

  // Id and flag cells, and the goodness cells, of every row in order.
  std::vector<std::string> cells;
  std::istringstream lines(section0.substr(opening.size()));
  for (std::string line; std::getline(lines, line);) {
    for (const char* start :
         {"<td bgcolor=\"#FFFFFF\" align=center>", "<td bgcolor=\"#FF8B79\" align=right>",
          "<td bgcolor=\"#FFB144\" align=right>"}) {
      if (line.rfind(start, 0) == 0) cells.push_back(line.substr(14, line.size() - 14 - 6));
    }
  }
  EXPECT_EQ(
      cells,
      (std::vector<std::string>{
          "FFFFFF\" align=center>01", "FFFFFF\" align=center>FO-R--", "FF8B79\" align=right>-20",
          "FFFFFF\" align=center>05", "FFFFFF\" align=center>FO--CS", "FF8B79\" align=right>  0",
          "FFFFFF\" align=center>03", "FFFFFF\" align=center>FO----", "FFB144\" align=right>  4",
          "FFFFFF\" align=center>07", "FFFFFF\" align=center>F-P---", "FFB144\" align=right>  4"}));
  EXPECT_EQ(section0.substr(section0.size() - 36), "</table></td>\r\n</tr>\r\n</table><br>\r\n");

  std::string blank = "<td bgcolor=\"#FFFFFF\">　</td>\r\n";
  std::string nothing =
      "<tr>\r\n" + blank +
      "<td bgcolor=\"#FFFFFF\">このドライブに悪化している属性はありません</td>\r\n";
  for (int i = 0; i < 7; ++i) nothing += blank;
  nothing += "</tr>\r\n</table></td>\r\n</tr>\r\n</table><br>\r\n";
  EXPECT_NE(section1.find("ATA#1"), std::string::npos);
  EXPECT_EQ(section1.substr(section1.size() - std::min(section1.size(), nothing.size())), nothing);
  EXPECT_EQ(section1.find("ATA#3"), std::string::npos);
}

TEST_F(HealthReportTest, LocationsAreTriedInOrderAndTheUsedOneIsOpened) {
  Scan("");
  WriteHealthReport();
  EXPECT_TRUE(host_.pages.empty()) << "no location: nothing opened";
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  }

  fs::create_directories("../html/Solo/html/normal");
  fs::create_directories("../../html/Solo/html/normal");
  WriteHealthReport();
  EXPECT_EQ(host_.pages.back(), Native("../html/Solo/html/normal/index.html"));
  EXPECT_NE(Read("../html/Solo/html/normal/report.html").find("</html>\r\n"), std::string::npos);
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
