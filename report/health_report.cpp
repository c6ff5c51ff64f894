#include "report/health_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <filesystem>

#include "base/cp932.h"
#include "records/host.h"
#include "report/drive_key.h"
#include "report/monitor.h"

namespace kestrel {

namespace {

// The maker's pages that the report links to. The registration form is
// reached over TLS only: the form posts the drives' serial numbers.
constexpr char kRegistrationForm[] = "https://secure.corvid.example/~corvid/join/regist.php";
constexpr char kClubPage[] = "https://www.corvid.example/service/Corvidclub.html";
constexpr char kOnsiteServicePage[] = "https://www.corvid.example/corvid/service/copy.html";

// Cell colours: the error colour doubles as the status colour of "error"
// and the warning colour as that of "warning".
constexpr char kErrorColour[] = "#FF8B79";
constexpr char kWarningColour[] = "#FFB144";
constexpr char kNormalColour[] = "#A7D59B";

// Written with '/', then given the platform's separator: fopen would take
// '/' on Windows as well, but the path also goes to the desktop's
// default-open, which wants the native form.
constexpr const char* kReportLocations[] = {
    "html/%s/report.html",
    "Solo/html/%s/report.html",
    "../html/Solo/html/%s/report.html",
    "../../html/Solo/html/%s/report.html",
};
constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
constexpr char kReportFile[] = "report.html";
constexpr char kIndexFile[] = "index.html";

// Flags bit 0: the attribute predicts failure (pre-failure), the only kind
// the error page lists.
constexpr std::uint16_t kPreFailure = 0x0001;

void NewLine(std::FILE* out) { std::fputs("\r\n", out); }

void Line(std::FILE* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Line(std::FILE* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  NewLine(out);
}

// Lines without anything to fill in; "" is an empty line.
template <std::size_t N>
void Lines(std::FILE* out, const char* const (&lines)[N]) {
  for (const char* line : lines) {
    std::fputs(line, out);
    NewLine(out);
  }
}

// Every text from a drive or from the definition file goes into the page
// HTML-escaped: a model number with markup must not become markup. In the
// form fields the browser decodes the entities again before it submits,
// so the service receives the texts as they are (and the keys are made
// from the texts as they are).
class Html {
 public:
  explicit Html(const char* text) {
    std::size_t n = 0;
    for (const char* p = text; *p != '\0' && n + 7 < sizeof buffer_; ++p) {
      const char* entity = *p == '&'   ? "&amp;"
                           : *p == '<' ? "&lt;"
                           : *p == '>' ? "&gt;"
                           : *p == '"' ? "&quot;"
                                       : nullptr;
      if (entity == nullptr) {
        buffer_[n++] = *p;
        // The second byte of a double-byte character is copied with it.
        if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') buffer_[n++] = *++p;
      } else {
        for (; *entity != '\0'; ++entity) buffer_[n++] = *entity;
      }
    }
    buffer_[n] = '\0';
  }
  const char* c_str() const { return buffer_; }

 private:
  // The longest field (256 bytes) escaped in full.
  char buffer_[256 * 6 + 8];
};

const char* StatusName(int trayState) {
  return trayState == 2 ? "error" : trayState == 1 ? "warning" : "normal";
}

const char* StatusColour(int trayState) {
  return trayState == 2 ? kErrorColour : trayState == 1 ? kWarningColour : kNormalColour;
}

void WriteHead(std::FILE* out, const char* status) {
  static const char* const kBeforeImages[] = {
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"",
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
      "var Tab02b = new Image();",
  };
  // The frame set's header shows the status's tab images.
  static const char* const kAfterImages[] = {
      "",
      "function Loadimg(){",
      "if(top.header){",
      "if(top.header.document.images){",
      "top.header.document.images[\"Tab01\"].src = eval('Tab01a.src');",
      "top.header.document.images[\"Tab02\"].src = eval('Tab02b.src');",
      "}}}",
      "//-->",
      "</script>",
      "</head>",
      "",
      "<body onLoad=\"Loadimg()\">",
  };
  Lines(out, kBeforeImages);
  Line(out, "Tab01a.src = \"../images/%s_tab01a.gif\";", status);
  Line(out, "Tab01b.src = \"../images/%s_tab01b.gif\";", status);
  Line(out, "Tab02a.src = \"../images/%s_tab02a.gif\";", status);
  Line(out, "Tab02b.src = \"../images/%s_tab02b.gif\";", status);
  Lines(out, kAfterImages);
}

void WriteForm(std::FILE* out, const DriveTable& table, const LocalTime& today) {
  char date[16];
  std::snprintf(date, sizeof date, "%04hu-%02hu-%02hu", today.year, today.month, today.day);
  int count = 0;
  for (const DriveRecord& record : table.records) {
    if (record.state & Present) ++count;
  }

  Line(out, "<table border=\"0\" align=\"center\" cellpadding=\"0\" cellspacing=\"2\"><tr>");
  Line(out, "<form action=\"%s\" method=\"post\" target=\"_blank\"><td valign=\"middle\">",
       kRegistrationForm);
  Line(out, "<input type=\"hidden\" name=\"date\" value=\"%s\" />", date);
  Line(out, "<input type=\"hidden\" name=\"count\" value=\"%d\" />", count);
  Line(out, "<input type=\"hidden\" name=\"hddkey00\" value=\"%s\" />",
       DriveKey("%s%d", date, count));

  int n = 0;
  for (const DriveRecord& record : table.records) {
    if (!(record.state & Present)) continue;
    ++n;
    char ata[sizeof record.minorVersionText];
    if (record.minorVersionText[0] != '\0') {
      std::snprintf(ata, sizeof ata, "%s", record.minorVersionText);
    } else {
      std::snprintf(ata, sizeof ata, "%d", record.ataMajorVersion);
    }
    int result = DriveResultCode(record);
    Line(out, "<input type=\"hidden\" name=\"hddmodel[%d]\" value=\"%s\" />", n,
         Html(record.modelNumber).c_str());
    Line(out, "<input type=\"hidden\" name=\"hddserial[%d]\" value=\"%s\" />", n,
         Html(record.serialNumber).c_str());
    Line(out, "<input type=\"hidden\" name=\"hddfarm[%d]\" value=\"%s\" />", n,
         Html(record.firmwareRevision).c_str());
    Line(out, "<input type=\"hidden\" name=\"hddsize[%d]\" value=\"%s\" />", n,
         Html(record.capacityText).c_str());
    Line(out, "<input type=\"hidden\" name=\"hddata[%d]\" value=\"%s\" />", n, Html(ata).c_str());
    Line(out, "<input type=\"hidden\" name=\"hddresult[%d]\" value=\"%d\" />", n, result);
    Line(out, "<input type=\"hidden\" name=\"hddkey[%d]\" value=\"%s\" />", n,
         DriveKey("%s%d", record.serialNumber, result));
  }

  // The caption is padded with three ideographic spaces on each side.
  Line(out, "<input name=\"submit\" type=\"submit\" value=\"　　　入会フォームへ　　　\" />");
  Line(out, "</td></form>");
  Line(out, "<td width=\"30\" valign=\"middle\">&nbsp;</td>");
  Line(out, "<td valign=\"middle\" class=\"mini\">");
  Line(out,
       "<img src=\"../images/icon-tri01.gif\" width=\"15\" height=\"12\"><a href=\"%s\" "
       "target=\"_top\">Corvid Clubのご案内</a>",
       kClubPage);
  Line(out, "</td>");
  Line(out, "</tr></table>");
}

void WriteServiceNotice(std::FILE* out) {
  Line(out, "<div><form action=\"%s\" target=\"_top\"><div align=\"center\">", kOnsiteServicePage);
  Line(out, "<table width=\"587\"><tr bordercolor=\"#C1C1C1\"><td width=\"579\" height=\"79\">");
  Line(out,
       "Onsite Corvid "
       "HDD換装サービスは、調子の悪いハードディスクの内容をお客様のもとで新しいハードディスクへまる"
       "ごとコピーするサービスです。"
       "<br>診断結果が赤（危険）になる前のご利用をおすすめします。"
       "<br>詳しくは下のボタンをクリックしてください。");
  Line(out, "</td></tr></table>");
  Line(out,
       "<p><input type=\"submit\" value=\"Onsite Corvid HDD換装サービスの詳細を見る\" "
       "/><br><br></p>");
  Line(out, "</div></form></div>");
}

void DriveRow(std::FILE* out, const char* colour, const char* label, const char* value) {
  Line(out, "<tr>");
  Line(out, "<th nowrap bgcolor=\"%s\" scope=\"row\">%s</th>", colour, label);
  Line(out, "<td bgcolor=\"#FFFFFF\">%s</td>", Html(value).c_str());
  Line(out, "</tr>");
}

void ColumnTitle(std::FILE* out, const char* colour, const char* title, const char* extra = "") {
  Line(out, "<th nowrap bgcolor=\"%s\" scope=\"col\"%s>%s</th>", colour, extra, title);
}

// A limit table that was never loaded holds no limit: nothing counts as
// deteriorated (goodness never goes below -100).
int Limit(const std::int8_t* limits, std::uint8_t id) {
  return limits != nullptr ? limits[id] : -128;
}

void WriteAttributeRow(std::FILE* out, const DriveAttribute& slot, const char* goodnessColour) {
  auto flag = [&](int bit, char c) { return (slot.flags >> bit) & 1 ? c : '-'; };
  Line(out, "<tr>");
  Line(out, "<td bgcolor=\"#FFFFFF\" align=center>%02X</td>", slot.id);
  Line(out, "<td bgcolor=\"#FFFFFF\">%s</td>", Html(slot.name).c_str());
  Line(out, "<td bgcolor=\"#FFFFFF\"><font size=-2>%s</font></td>", Html(slot.meaning).c_str());
  Line(out, "<td bgcolor=\"#FFFFFF\" align=center>%c%c%c%c%c%c</td>", flag(0, 'F'), flag(1, 'O'),
       flag(2, 'P'), flag(3, 'R'), flag(4, 'C'), flag(5, 'S'));
  Line(out, "<td bgcolor=\"#FFFFFF\" align=right>%3d</td>", slot.threshold);
  Line(out, "<td bgcolor=\"#FFFFFF\" align=right>%3d</td>", slot.current);
  Line(out, "<td bgcolor=\"#FFFFFF\" align=right>%3d</td>", slot.worst);
  Line(out, "<td bgcolor=\"%s\" align=right>%3d</td>", goodnessColour, slot.goodness);
  Line(out, "<td bgcolor=\"#FFFFFF\" align=right>%s</td>", Html(slot.rawText).c_str());
  Line(out, "</tr>");
}

void WriteDriveSection(std::FILE* out, const DriveTable& table, int drive, const char* colour) {
  const DriveRecord& record = table.records[drive];

  // The order is kept in a list of its own: the slots' places in the table
  // are what the monitor's pending bits refer to.
  std::uint8_t order[kMaxAttributes];
  int count = std::clamp(record.attributeCount, 0, kMaxAttributes);
  for (int i = 0; i < count; ++i) order[i] = static_cast<std::uint8_t>(i);
  std::sort(order, order + count, [&](std::uint8_t a, std::uint8_t b) {
    const DriveAttribute& x = record.attributes[a];
    const DriveAttribute& y = record.attributes[b];
    bool xPre = x.flags & kPreFailure;
    bool yPre = y.flags & kPreFailure;
    if (xPre != yPre) return xPre;
    if (x.goodness != y.goodness) return x.goodness < y.goodness;
    return x.id < y.id;
  });

  char number[16];
  Line(out, "<table border=\"0\" align=\"center\" cellpadding=\"5\" cellspacing=\"0\">");
  Line(out, "<tr>");
  Line(out,
       "<td align=\"left\" valign=\"top\" bgcolor=\"#EEEEEE\"><table width=240 border=\"1\" "
       "cellpadding=\"3\" cellspacing=\"0\">");
  std::snprintf(number, sizeof number, "ATA#%d", drive);
  DriveRow(out, colour, "Drive", number);
  std::snprintf(number, sizeof number, "%d", record.ataMajorVersion);
  DriveRow(out, colour, "Major Ver ", number);
  DriveRow(out, colour, "Minor Ver ", record.minorVersionText);
  DriveRow(out, colour, "<strong>Model</strong>", record.modelNumber);
  DriveRow(out, colour, "<strong>Firmware</strong>", record.firmwareRevision);
  DriveRow(out, colour, "<strong>Serial</strong>", record.serialNumber);
  DriveRow(out, colour, "<strong>Capacity</strong>", record.capacityText);
  DriveRow(out, colour, "<strong>Comment</strong>", record.comment);
  Line(out, "</table></td>");

  Line(out,
       "<td align=\"left\" valign=\"top\" bgcolor=\"#EEEEEE\"><table border=\"1\" "
       "cellpadding=\"3\" cellspacing=\"0\">");
  Line(out, "<tr align=center>");
  ColumnTitle(out, colour, "ID");
  ColumnTitle(out, colour, "属性");
  ColumnTitle(out, colour, "意味");
  ColumnTitle(out, colour, "フラグ", " width=50");
  ColumnTitle(out, colour, "しきい値");
  ColumnTitle(out, colour, "現在値");
  ColumnTitle(out, colour, "最悪値");
  ColumnTitle(out, colour, "良好度");
  ColumnTitle(out, colour, "ロウデータ");
  Line(out, "</tr>");

  bool anyRow = false;
  if (record.status & SmartFailing) {
    Line(out, "<tr>");
    Line(out, "<td bgcolor=\"#FFFFFF\" align=center>--</td>");
    Line(out, "<td bgcolor=\"%s\">ドライブの自己診断</td>", kErrorColour);
    Line(out,
         "<td bgcolor=\"#FFFFFF\" colspan=7>ドライブ自身がSMARTのしきい値超過(故障の予兆)を"
         "報告しています.</td>");
    Line(out, "</tr>");
    anyRow = true;
  }
  // Pre-failure attributes come first; within them the worst goodness
  // leads. Each is listed when its goodness is at or below its warning
  // limit, and any attribute whose level a defect count or a crossed
  // threshold raised.
  for (int i = 0; i < count; ++i) {
    const DriveAttribute& slot = record.attributes[order[i]];
    const bool byGoodness = slot.threshold != kNoThreshold && (slot.flags & kPreFailure) &&
                            slot.goodness <= Limit(table.warningLimits, slot.id);
    if (!byGoodness && slot.raisedLevel == 0) continue;
    const bool error = slot.raisedLevel == AttrError ||
                       (byGoodness && slot.goodness <= Limit(table.errorLimits, slot.id));
    WriteAttributeRow(out, slot, error ? kErrorColour : kWarningColour);
    anyRow = true;
  }
  if (!anyRow) {
    static const char* const kNothingDeteriorated[] = {
        "<tr>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">このドライブに悪化している属性はありません</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "<td bgcolor=\"#FFFFFF\">　</td>",
        "</tr>",
    };
    Lines(out, kNothingDeteriorated);
  }

  Line(out, "</table></td>");
  Line(out, "</tr>");
  Line(out, "</table><br>");
}

}  // namespace

int DriveResultCode(const DriveRecord& record) {
  if (record.attributeCount == 0 || record.lastEvaluated.year == 0) return 3;
  if (record.status & StatusError) return 2;
  if (record.status & StatusWarning) return 1;
  return 0;
}

void WriteReportPage(std::FILE* out, const DriveTable& table, int trayState,
                     const LocalTime& today) {
  WriteHead(out, StatusName(trayState));
  if (trayState == 2) {
    for (int i = 0; i < kMaxDrives; ++i) {
      const DriveRecord& record = table.records[i];
      if ((record.state & Present) && record.attributeCount != 0) {
        WriteDriveSection(out, table, i, StatusColour(trayState));
      }
    }
  } else if (trayState == 1) {
    WriteServiceNotice(out);
  } else {
    WriteForm(out, table, today);
  }
  Line(out, "</body>");
  Line(out, "</html>");
}

void WriteHealthReport() {
  int trayState = TheMonitorState().trayState;
  const char* status = StatusName(trayState);

  char path[64];
  std::FILE* out = nullptr;
  for (const char* location : kReportLocations) {
    std::snprintf(path, sizeof path, location, status);
    std::replace(path, path + std::strlen(path), '/', kSeparator);
    // Binary: the CR LF line ends are written as they are on every
    // platform, never doubled by a text mode.
    out = std::fopen(path, "wb");
    if (out != nullptr) break;
  }
  if (out == nullptr) return;

  DriveTable* table = LockDriveTable();
  if (table == nullptr) {
    std::fclose(out);
    return;
  }
  WriteReportPage(out, *table, trayState, InstalledServices().env->Now());
  UnlockDriveTable();
  std::fclose(out);

  std::strcpy(path + std::strlen(path) - (sizeof kReportFile - 1), kIndexFile);
  InstalledMonitorHost()->OpenPage(path);
}

}  // namespace kestrel
