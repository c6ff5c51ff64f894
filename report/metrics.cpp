#include "report/metrics.h"

#include <charconv>
#include <ctime>
#include <string_view>
#include <vector>

#include "base/cp932.h"

namespace kestrel {

namespace {

struct StatusBitName {
  std::uint32_t bit;
  const char* name;
};

constexpr StatusBitName kStatusBits[] = {{StatusWarning, "warning"},
                                         {StatusWarningSeen, "warning_seen"},
                                         {StatusError, "error"},
                                         {StatusErrorSeen, "error_seen"},
                                         {SmartSupportUndetermined, "smart_undetermined"},
                                         {SmartSupported, "smart_supported"},
                                         {SmartEnabled, "smart_enabled"},
                                         {SmartFailing, "smart_failing"}};

// A label value: UTF-8, with backslash, double quote and line feed escaped.
void AppendLabelValue(std::string& out, std::string_view cp932) {
  for (char c : Cp932ToUtf8(cp932)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, end);
}

void AppendHeader(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

template <typename T>
void AppendSample(std::string& out, const char* name, std::string_view labels, T value) {
  out += name;
  if (!labels.empty()) {
    out += '{';
    out += labels;
    out += '}';
  }
  out += ' ';
  AppendNumber(out, value);
  out += '\n';
}

int AttributeLevel(const DriveAttribute& a) {
  if (a.changeBits & AttrError) return 2;
  if (a.changeBits & AttrWarning) return 1;
  return 0;
}

struct AttributeSeries {
  const DriveAttribute* attribute;
  std::string labels;
};

}  // namespace

std::int64_t LocalTimeToUnixSeconds(const LocalTime& t) {
  if (t.year == 0) return 0;
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

void RenderMetrics(const DriveRecord (&records)[kMaxDrives], const MetricsExtras& extras,
                   std::string* out) {
  std::string& o = *out;
  // The labels of each drive and of each attribute, escaped once.
  std::string driveLabels[kMaxDrives];
  std::vector<AttributeSeries> attributes;
  attributes.reserve(kMaxDrives * kMaxAttributes);
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = records[d];
    if (r.state == 0) continue;
    std::string& l = driveLabels[d];
    l = "drive=\"";
    AppendNumber(l, d);
    l += "\",model=\"";
    AppendLabelValue(l, r.modelNumber);
    l += "\",serial=\"";
    AppendLabelValue(l, r.serialNumber);
    l += '"';
    for (int i = 0; i < r.attributeCount && i < kMaxAttributes; ++i) {
      const DriveAttribute& a = r.attributes[i];
      static const char kHex[] = "0123456789ABCDEF";
      std::string labels = l;
      labels += ",id=\"";
      labels += kHex[a.id >> 4];
      labels += kHex[a.id & 15];
      labels += "\",name=\"";
      AppendLabelValue(labels, a.name);
      labels += '"';
      attributes.push_back(AttributeSeries{&a, std::move(labels)});
    }
  }
  o.reserve(o.size() + 1024 + attributes.size() * 6 * 160);

  struct AttributeFamily {
    const char* name;
    const char* help;
  };
  static constexpr AttributeFamily kFamilies[] = {
      {"kestrel_attribute_current", "Current normalized value of a SMART attribute."},
      {"kestrel_attribute_worst", "Worst normalized value of a SMART attribute."},
      {"kestrel_attribute_threshold", "Threshold of a SMART attribute, where the drive lists one."},
      {"kestrel_attribute_raw", "Raw value of a SMART attribute, after mask and multiplier."},
      {"kestrel_attribute_goodness",
       "Goodness of a SMART attribute, -100 to 100, 0 at the "
       "threshold."},
      {"kestrel_attribute_level", "Level of a SMART attribute: 0 normal, 1 warning, 2 error."},
  };
  for (int f = 0; f < 6; ++f) {
    const char* name = kFamilies[f].name;
    AppendHeader(o, name, "gauge", kFamilies[f].help);
    for (const AttributeSeries& s : attributes) {
      const DriveAttribute& a = *s.attribute;
      switch (f) {
        case 0:
          AppendSample(o, name, s.labels, a.current);
          break;
        case 1:
          AppendSample(o, name, s.labels, a.worst);
          break;
        case 2:
          if (a.threshold != kNoThreshold) AppendSample(o, name, s.labels, a.threshold);
          break;
        case 3:
          AppendSample(o, name, s.labels, a.raw);
          break;
        case 4:
          AppendSample(o, name, s.labels, static_cast<int>(a.goodness));
          break;
        default:
          AppendSample(o, name, s.labels, AttributeLevel(a));
      }
    }
  }

  AppendHeader(o, "kestrel_drive_info", "gauge",
               "A drive watched, with its firmware and transport (ata, nvme); always 1.");
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = records[d];
    if (r.state == 0) continue;
    std::string labels = driveLabels[d];
    labels += ",firmware=\"";
    AppendLabelValue(labels, r.firmwareRevision);
    labels +=
        r.transport == DriveTransport::kNvme ? "\",transport=\"nvme\"" : "\",transport=\"ata\"";
    AppendSample(o, "kestrel_drive_info", labels, 1);
  }

  AppendHeader(o, "kestrel_drive_status", "gauge",
               "A status bit of a drive (warning, error, their _seen forms, SMART support, "
               "smart_failing), 0 or 1.");
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = records[d];
    if (r.state == 0) continue;
    for (const StatusBitName& b : kStatusBits) {
      std::string labels = driveLabels[d];
      labels += ",bit=\"";
      labels += b.name;
      labels += '"';
      AppendSample(o, "kestrel_drive_status", labels, (r.status & b.bit) ? 1 : 0);
    }
  }

  AppendHeader(o, "kestrel_drive_last_read_timestamp_seconds", "gauge",
               "When the drive's SMART data were last read and judged, in Unix seconds.");
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = records[d];
    if (r.state == 0 || r.lastEvaluated.year == 0) continue;
    AppendSample(o, "kestrel_drive_last_read_timestamp_seconds", driveLabels[d],
                 LocalTimeToUnixSeconds(r.lastEvaluated));
  }

  AppendHeader(o, "kestrel_drive_asleep", "gauge",
               "1 while the drive was found in standby and left unread, else 0.");
  for (int d = 0; d < kMaxDrives; ++d) {
    if (records[d].state == 0) continue;
    AppendSample(o, "kestrel_drive_asleep", driveLabels[d], (extras.asleepDrives >> d) & 1);
  }

  AppendHeader(o, "kestrel_tray_state", "gauge",
               "Overall health of the drives: 0 normal, 1 warning, 2 error.");
  AppendSample(o, "kestrel_tray_state", "", extras.trayState);
  AppendHeader(o, "kestrel_monitor_ticks_total", "counter", "Steps of the change monitor run.");
  AppendSample(o, "kestrel_monitor_ticks_total", "", extras.monitorTicks);
  if (extras.withHttp) {
    AppendHeader(o, "kestrel_http_requests_total", "counter",
                 "HTTP requests answered by the metrics server.");
    AppendSample(o, "kestrel_http_requests_total", "", extras.httpRequests);
    AppendHeader(o, "kestrel_http_request_errors_total", "counter",
                 "HTTP requests the metrics server answered with an error status.");
    AppendSample(o, "kestrel_http_request_errors_total", "", extras.httpErrors);
  }
}

}  // namespace kestrel
