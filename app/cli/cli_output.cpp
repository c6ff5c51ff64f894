#include "app/cli/cli_output.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/cp932.h"

namespace kestrel {

namespace {

struct BitName {
  std::uint32_t bit;
  const char* name;
};

constexpr BitName kStateBits[] = {
    {Present, "Present"}, {Usable, "Usable"}, {ThresholdsStale, "ThresholdsStale"}};

constexpr BitName kStatusBits[] = {{StatusWarning, "StatusWarning"},
                                   {StatusWarningSeen, "StatusWarningSeen"},
                                   {StatusError, "StatusError"},
                                   {StatusErrorSeen, "StatusErrorSeen"},
                                   {SmartSupportUndetermined, "SmartSupportUndetermined"},
                                   {SmartSupported, "SmartSupported"},
                                   {SmartEnabled, "SmartEnabled"},
                                   {SmartFailing, "SmartFailing"}};

constexpr BitName kChangeBits[] = {{CurrentChanged, "CurrentChanged"},
                                   {WorstChanged, "WorstChanged"},
                                   {GoodnessChanged, "GoodnessChanged"},
                                   {RawChanged, "RawChanged"}};

const char* LevelName(std::uint8_t changeBits) {
  if (changeBits & AttrError) return "error";
  if (changeBits & AttrWarning) return "warning";
  return "normal";
}

void AppendJsonString(std::string& out, std::string_view cp932) {
  std::string utf8 = Cp932ToUtf8(cp932);
  out += '"';
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

template <std::size_t N>
void AppendBitNames(std::string& out, std::uint32_t bits, const BitName (&names)[N]) {
  out += '[';
  bool first = true;
  for (const BitName& b : names) {
    if (!(bits & b.bit)) continue;
    if (!first) out += ", ";
    first = false;
    out += '"';
    out += b.name;
    out += '"';
  }
  out += ']';
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// Columns on a terminal: East Asian characters take two.
int DisplayWidth(const std::string& utf8) {
  int width = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    width += length >= 3 ? 2 : 1;
    i += static_cast<std::size_t>(length);
  }
  return width;
}

std::string PadRight(std::string text, int width) {
  for (int w = DisplayWidth(text); w < width; ++w) text += ' ';
  return text;
}

bool HasLastEvaluated(const LocalTime& t) { return t.year != 0; }

std::string FormatTime(const LocalTime& t) {
  return Printf("%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

// "[ADDR:]PORT": an IPv4 address or name, or an IPv6 one in brackets;
// without it the loopback address.
bool ParseListenAddress(const std::string& text, std::string* host, int* port) {
  const std::size_t colon = text.rfind(':');
  std::string address = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
  char* end = nullptr;
  const long n = std::strtol(digits.c_str(), &end, 10);
  if (address.empty() || digits.empty() || *end != '\0' || n < 1 || n > 65535) return false;
  *host = address;
  *port = static_cast<int>(n);
  return true;
}

}  // namespace

bool ParseCliArguments(const std::vector<std::string>& args, CliOptions* options,
                       std::string* error) {
  *options = CliOptions{};
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--sim") {
      if (i + 1 >= args.size()) {
        *error = "--sim needs a scenario file";
        return false;
      }
      options->scenarioPath = args[++i];
    } else if (a == "--json") {
      options->json = true;
    } else if (a == "--verbose") {
      options->verbose = true;
    } else if (a == "--ticks") {
      char* end = nullptr;
      long n = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
      if (n < 0 || n > 100000000 || end == nullptr || *end != '\0') {
        *error = "--ticks needs a number of seconds";
        return false;
      }
      options->ticks = static_cast<int>(n);
      ++i;
    } else if (a == "--check-definitions") {
      if (i + 1 >= args.size()) {
        *error = "--check-definitions needs a definition file";
        return false;
      }
      options->checkDefinitions = args[++i];
    } else if (a == "--report") {
      options->report = true;
    } else if (a == "--open") {
      options->report = options->open = true;
    } else if (a == "--watch") {
      options->watch = true;
    } else if (a == "--wake") {
      options->wake = true;
    } else if (a == "--notify-exec") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "--notify-exec needs a program";
        return false;
      }
      options->notifyExec = args[++i];
    } else if (a == "--list") {
      options->list = true;
    } else if (a == "--metrics-file") {
      if (i + 1 >= args.size()) {
        *error = "--metrics-file needs a file";
        return false;
      }
      options->metricsFile = args[++i];
    } else if (a == "--metrics-listen") {
      if (i + 1 >= args.size() ||
          !ParseListenAddress(args[i + 1], &options->metricsHost, &options->metricsPort)) {
        *error = "--metrics-listen needs [ADDRESS:]PORT";
        return false;
      }
      ++i;
    } else if (a == "--help" || a == "-h") {
      options->help = true;
    } else if (a.rfind("/dev/", 0) == 0 || (!a.empty() && a[0] != '-' && a[0] != '/')) {
      options->devices.push_back(a[0] == '/' ? a : "/dev/" + a);
    } else {
      break;
    }
  }
  if (options->devices.size() > static_cast<std::size_t>(kMaxDrives)) {
    *error = "at most ten devices can be watched (" + std::to_string(options->devices.size()) +
             " given)";
    return false;
  }
  if (!options->devices.empty() && !options->scenarioPath.empty()) {
    *error = "devices and --sim exclude each other";
    return false;
  }
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '/' || (a[1] != 'l' && a[1] != 'L' && a[1] != 'd' && a[1] != 'D')) {
      *error = "unexpected argument: " + a;
      return false;
    }
    std::string value = a.substr(2);
    if (value.empty() && i + 1 < args.size()) value = args[++i];
    if (value.find('"') != std::string::npos) {
      *error = "a file name cannot hold a double quote: " + value;
      return false;
    }
    options->programOptions.emplace_back(static_cast<char>(a[1] | 0x20), value);
  }
  return true;
}

std::string ComposeCommandLine(const CliOptions& options) {
  std::string line = "kestrel-cli";
  for (const auto& [letter, value] : options.programOptions) {
    line += " /";
    line += letter;
    line += " \"";
    line += value;
    line += '"';
  }
  return line;
}

std::string FormatMessageLine(int style, const char* caption, const char* text) {
  std::string line = std::to_string(style) + "\t" + Cp932ToUtf8(caption) + "\t";
  for (char c : Cp932ToUtf8(text)) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  return line;
}

std::string FormatDriveTableText(const DriveTable& table) {
  std::string out;
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = table.records[d];
    if (r.state == 0) continue;
    const char* smart = (r.status & SmartSupported)             ? "supported"
                        : (r.status & SmartSupportUndetermined) ? "undetermined"
                                                                : "unsupported";
    out += Printf("%s#%d  %s  serial %s  firmware %s  %s  SMART %s, %s  [", DriveBadge(r), d,
                  Cp932ToUtf8(r.modelNumber).c_str(), Cp932ToUtf8(r.serialNumber).c_str(),
                  Cp932ToUtf8(r.firmwareRevision).c_str(), r.capacityText, smart,
                  (r.status & SmartEnabled) ? "enabled" : "disabled");
    bool first = true;
    for (const BitName& b : kStateBits) {
      if (!(r.state & b.bit)) continue;
      out += first ? "" : " ";
      out += b.name;
      first = false;
    }
    out += "]\n";
    if (r.attributeCount == 0) continue;
    out +=
        Printf("   health %s%s\n",
               (r.status & StatusError)     ? "error"
               : (r.status & StatusWarning) ? "warning"
                                            : "normal",
               (r.status & SmartFailing) ? " (the drive reports: SMART threshold exceeded)" : "");
    out += "   ID  Cur Wst Thr  Good  Level    Raw                       Name\n";
    for (int i = 0; i < r.attributeCount; ++i) {
      const DriveAttribute& a = r.attributes[i];
      std::string raw = a.rawText[0] ? Cp932ToUtf8(a.rawText) : Printf("%" PRIu64, a.raw);
      std::string threshold =
          a.threshold == kNoThreshold ? std::string("-") : std::to_string(a.threshold);
      out += Printf("   %02X  %3u %3u %3s  %4d  %-7s  ", a.id, a.current, a.worst,
                    threshold.c_str(), a.goodness, LevelName(a.changeBits));
      out += PadRight(raw, 25) + " " + Cp932ToUtf8(a.name) + "\n";
    }
  }
  if (out.empty()) out = "No drive found.\n";
  return out;
}

std::string FormatDriveTableJson(const DriveTable& table, int trayState,
                                 std::uint32_t asleepDrives) {
  std::string out = "{\"trayState\": " + std::to_string(trayState) + ", \"drives\": [";
  bool firstDrive = true;
  for (int d = 0; d < kMaxDrives; ++d) {
    const DriveRecord& r = table.records[d];
    if (r.state == 0) continue;
    out += firstDrive ? "{" : ", {";
    firstDrive = false;
    out += Printf("\"index\": %d, \"state\": ", d);
    AppendBitNames(out, r.state, kStateBits);
    out += ", \"status\": ";
    AppendBitNames(out, r.status, kStatusBits);
    out += r.transport == DriveTransport::kNvme ? ", \"transport\": \"nvme\""
                                                : ", \"transport\": \"ata\"";
    out += ", \"model\": ";
    AppendJsonString(out, r.modelNumber);
    out += ", \"serial\": ";
    AppendJsonString(out, r.serialNumber);
    out += ", \"firmware\": ";
    AppendJsonString(out, r.firmwareRevision);
    out += ", \"capacity\": ";
    AppendJsonString(out, r.capacityText);
    out += Printf(
        ", \"cylinders\": %u, \"heads\": %u, \"sectorsPerTrack\": %u, "
        "\"serialAta\": %s, \"ataMajorVersion\": %d, \"minorVersion\": ",
        r.cylinders, r.heads, r.sectorsPerTrack, r.isSerialAta ? "true" : "false",
        r.ataMajorVersion);
    AppendJsonString(out, r.minorVersionText);
    out += ", \"comment\": ";
    AppendJsonString(out, r.comment);
    out += ", \"lastEvaluated\": ";
    out += HasLastEvaluated(r.lastEvaluated) ? "\"" + FormatTime(r.lastEvaluated) + "\""
                                             : std::string("null");
    out += (asleepDrives >> d) & 1 ? ", \"asleep\": true" : ", \"asleep\": false";
    out += ", \"attributes\": [";
    for (int i = 0; i < r.attributeCount; ++i) {
      const DriveAttribute& a = r.attributes[i];
      out += i == 0 ? "{" : ", {";
      out += Printf(
          "\"id\": %u, \"threshold\": %u, \"current\": %u, \"worst\": %u, "
          "\"flags\": %u, \"raw\": %" PRIu64 ", \"rawText\": ",
          a.id, a.threshold, a.current, a.worst, a.flags, a.raw);
      AppendJsonString(out, a.rawText);
      out += Printf(", \"goodness\": %d, \"level\": \"%s\", \"changes\": ", a.goodness,
                    LevelName(a.changeBits));
      AppendBitNames(out, a.changeBits, kChangeBits);
      out += ", \"name\": ";
      AppendJsonString(out, a.name);
      out += ", \"meaning\": ";
      AppendJsonString(out, a.meaning);
      out += "}";
    }
    out += "]}";
  }
  out += "]}\n";
  return out;
}

}  // namespace kestrel
