// The Prometheus text of a small drive table: its series, labels escaped,
// a local time as Unix seconds.
#include "report/metrics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "base/cp932.h"

namespace kestrel {
namespace {

TEST(Metrics, SeriesOfASmallTableWithEscapedLabels) {
  static DriveRecord table[kMaxDrives] = {};
  DriveRecord& r = table[3];
  r.state = Present | Usable;
  r.transport = DriveTransport::kNvme;
  std::strcpy(r.modelNumber, "A \"B\" C\\D");
  std::strcpy(r.serialNumber, "S\nN");
  std::strcpy(r.firmwareRevision, "F1");
  r.status = StatusWarning | SmartSupported | SmartEnabled;
  r.lastEvaluated = LocalTime{2026, 1, 4, 2, 9, 30, 15, 0};
  r.attributeCount = 2;
  DriveAttribute& a = r.attributes[0];
  a.id = 0xC5;
  a.current = 98;
  a.worst = 97;
  a.threshold = 10;
  a.raw = 281474976710655ull;  // 48 bits
  a.goodness = -7;
  a.changeBits = AttrWarning | RawChanged;
  std::strcpy(a.name, "代替\"待ち\"");  // code page 932 in the table
  DriveAttribute& b = r.attributes[1];
  b.id = 0x09;
  b.current = 100;
  b.threshold = kNoThreshold;
  b.changeBits = AttrError;
  std::strcpy(b.name, "x");

  std::string text;
  MetricsExtras extras;
  extras.trayState = 2;
  extras.monitorTicks = 42;
  RenderMetrics(table, extras, &text);

  const std::string drive = R"(drive="3",model="A \"B\" C\\D",serial="S\nN")";
  const std::string labels =
      drive + R"(,id="C5",name=")" + Cp932ToUtf8("代替") + R"(\")" + Cp932ToUtf8("待ち") + R"(\"")";
  for (const std::string& line : {
           "kestrel_attribute_current{" + labels + "} 98\n",
           "kestrel_attribute_worst{" + labels + "} 97\n",
           "kestrel_attribute_threshold{" + labels + "} 10\n",
           "kestrel_attribute_raw{" + labels + "} 281474976710655\n",
           "kestrel_attribute_goodness{" + labels + "} -7\n",
           "kestrel_attribute_level{" + labels + "} 1\n",
           "kestrel_attribute_level{" + drive + R"(,id="09",name="x"} 2)" + "\n",
           "kestrel_drive_info{" + drive + R"(,firmware="F1",transport="nvme"} 1)" + "\n",
           "kestrel_drive_status{" + drive + R"(,bit="warning"} 1)" + "\n",
           "kestrel_drive_status{" + drive + R"(,bit="error"} 0)" + "\n",
           "kestrel_drive_last_read_timestamp_seconds{" + drive + "} " +
               std::to_string(LocalTimeToUnixSeconds(r.lastEvaluated)) + "\n",
           std::string("# TYPE kestrel_tray_state gauge\nkestrel_tray_state 2\n"),
           std::string(
               "# TYPE kestrel_monitor_ticks_total counter\nkestrel_monitor_ticks_total 42\n"),
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  }
  // An unlisted threshold has no series; no other drive shows; without a
  // server there are no HTTP counters.
  EXPECT_EQ(text.find(R"(id="09",name="x"} 254)"), std::string::npos);
  EXPECT_EQ(text.find("drive=\"0\""), std::string::npos);
  EXPECT_EQ(text.find("kestrel_http_"), std::string::npos);
  // The local time read back through the time zone's rules.
  const std::time_t t = static_cast<std::time_t>(LocalTimeToUnixSeconds(r.lastEvaluated));
  const std::tm* tm = std::localtime(&t);
  ASSERT_NE(tm, nullptr);
  EXPECT_EQ(tm->tm_year + 1900, 2026);
  EXPECT_EQ(tm->tm_hour, 9);
  EXPECT_EQ(tm->tm_sec, 15);
}

}  // namespace
}  // namespace kestrel
