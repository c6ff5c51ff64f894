#include "sim/scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "base/cp932.h"
#include "base/ini.h"

namespace kestrel {

namespace {

constexpr const char* kCommandNames[] = {"open",   "probe",      "identify", "identify-packet",
                                         "enable", "thresholds", "data",     "status",
                                         "close",  "log",        "power"};
static_assert(std::size(kCommandNames) == static_cast<std::size_t>(SimCommand::kCount));

// The parts one after the other, appended to one string. (GCC 12 at -O3
// warns falsely, -Wrestrict, inside operator+ of a literal and a string.)
std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out.append(part);
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return MbsICompare(a, b) == 0; }

bool StartsWithName(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

struct KeyValue {
  std::string key;
  std::string value;
};
using KeyList = std::vector<KeyValue>;

// Later values replace earlier ones in place, so attributes keep the order
// in which they first appeared.
void Put(KeyList& list, std::string_view key, std::string_view value) {
  for (KeyValue& kv : list) {
    if (SameName(kv.key, key)) {
      kv.value = std::string(value);
      return;
    }
  }
  list.push_back({std::string(key), std::string(value)});
}

std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) {
      ++i;
    }
    std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != ',') {
      ++i;
    }
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

// Decimal, or hexadecimal after "0x". Rejects anything else and values
// above `max`.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (v > (max - digit) / base) return false;
    v = v * base + digit;
  }
  *value = v;
  return true;
}

bool ParseCommand(std::string_view word, SimCommand* command) {
  for (int i = 0; i < static_cast<int>(SimCommand::kCount); ++i) {
    if (SameName(word, kCommandNames[i])) {
      *command = static_cast<SimCommand>(i);
      return true;
    }
  }
  return false;
}

constexpr std::uint32_t Bit(SimCommand c) { return 1u << static_cast<int>(c); }

// The commands an NVMe drive can be made to fail: the ATA ones it never
// receives as such are no fault of it.
constexpr std::uint32_t kNvmeFails = Bit(SimCommand::kOpen) | Bit(SimCommand::kProbe) |
                                     Bit(SimCommand::kIdentify) | Bit(SimCommand::kLog) |
                                     Bit(SimCommand::kClose);

// The health log's fields: key (after "Health."), offset, width in bytes
// (the 128-bit counters are set in their low 64 bits), value by default.
struct HealthField {
  const char* key;
  int offset;
  int bytes;
  std::uint64_t initial;
};
constexpr HealthField kHealthFields[] = {
    {"CriticalWarning", 0, 1, 0},
    {"Temperature", 1, 2, 0},
    {"AvailableSpare", 3, 1, 100},
    {"SpareThreshold", 4, 1, 10},
    {"PercentageUsed", 5, 1, 0},
    {"DataUnitsRead", 32, 8, 0},
    {"DataUnitsWritten", 48, 8, 0},
    {"HostReads", 64, 8, 0},
    {"HostWrites", 80, 8, 0},
    {"BusyTime", 96, 8, 0},
    {"PowerCycles", 112, 8, 0},
    {"PowerOnHours", 128, 8, 0},
    {"UnsafeShutdowns", 144, 8, 0},
    {"MediaErrors", 160, 8, 0},
    {"ErrorLogEntries", 176, 8, 0},
    {"WarningTemperatureTime", 192, 4, 0},
    {"CriticalTemperatureTime", 196, 4, 0},
};
constexpr int kHealthFieldCount = static_cast<int>(std::size(kHealthFields));

// Keys both kinds of drive have; "Health." keys are an NVMe drive's own,
// every other key an ATA drive's.
bool SharedKey(std::string_view key) {
  for (const char* name : {"Model", "Serial", "Firmware", "Sectors", "Transport", "Fail"}) {
    if (SameName(key, name)) return true;
  }
  return false;
}

bool ParseFailList(std::string_view value, std::uint32_t* mask) {
  *mask = 0;
  for (std::string_view word : Tokens(value)) {
    SimCommand c;
    if (!ParseCommand(word, &c)) return false;
    *mask |= 1u << static_cast<int>(c);
  }
  return true;
}

void SetWord(std::uint8_t* sector, int index, std::uint16_t value) {
  sector[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
  sector[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Identity texts: padded with blanks, two characters a word, the first in
// the high byte.
void SetText(std::uint8_t* sector, int firstWord, int chars, std::string_view text) {
  for (int i = 0; i < chars; i += 2) {
    auto at = [&](int k) -> std::uint8_t {
      return k < static_cast<int>(text.size()) ? static_cast<std::uint8_t>(text[k]) : ' ';
    };
    SetWord(sector, firstWord + i / 2, static_cast<std::uint16_t>(at(i) << 8 | at(i + 1)));
  }
}

// Byte 511 makes the 512 bytes add up to 0 modulo 256; `bad` spoils it.
void SealSector(std::uint8_t* sector, bool bad) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 511; ++i) sum += sector[i];
  sector[511] = static_cast<std::uint8_t>(-sum + (bad ? 1 : 0));
}

struct Attribute {
  std::uint8_t id;
  std::uint16_t flags;
  std::uint8_t current;
  std::uint8_t worst;
  std::uint64_t raw;
  int threshold;  // -1: not in the thresholds sector
};

// An NVMe identify text: ASCII bytes padded with blanks, in byte order.
void SetNvmeText(std::uint8_t* bytes, std::size_t chars, std::string_view text) {
  for (std::size_t i = 0; i < chars; ++i) {
    bytes[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

void SetLittle(std::uint8_t* bytes, int n, std::uint64_t value) {
  for (int k = 0; k < n; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
}

class DriveCompiler {
 public:
  DriveCompiler(std::string* error, std::string_view where) : error_(error), where_(where) {
    for (int i = 0; i < kHealthFieldCount; ++i) health_[i] = kHealthFields[i].initial;
  }

  bool Compile(const KeyList& keys, SimDriveState* state) {
    std::memset(state, 0, sizeof *state);
    state->defined = true;
    state->smartSupported = true;
    state->smartEnabled = true;
    state->driverErrorCommand = -1;
    state->statusCylinderLow = 0x4F;
    state->statusCylinderHigh = 0xC2;
    state->powerMode = 0xFF;
    const KeyValue* ataKey = nullptr;
    const KeyValue* nvmeKey = nullptr;
    const KeyValue* failKey = nullptr;
    for (const KeyValue& kv : keys) {
      if (!Apply(kv, state)) return false;
      if (StartsWithName(kv.key, "Health.")) {
        nvmeKey = &kv;
      } else if (SameName(kv.key, "Fail")) {
        failKey = &kv;
      } else if (!SharedKey(kv.key)) {
        ataKey = &kv;
      }
    }
    if (state->nvme) {
      if (ataKey != nullptr) return Fail(*ataKey, "not a key of an NVMe drive");
      if (state->failMask & ~kNvmeFails) return Fail(*failKey, "not a command of an NVMe drive");
      BuildNvme(state);
    } else {
      if (nvmeKey != nullptr) return Fail(*nvmeKey, "a key of an NVMe drive (Transport = nvme)");
      if (state->failMask & Bit(SimCommand::kLog)) {
        return Fail(*failKey, "log is a command of an NVMe drive");
      }
      Build(state);
    }
    return true;
  }

 private:
  bool Fail(const KeyValue& kv, const char* what) {
    *error_ = Joined({where_, ": ", kv.key, " = ", kv.value, ": ", what});
    return false;
  }

  bool Number(const KeyValue& kv, std::uint64_t max, std::uint64_t* v) {
    if (ParseNumber(kv.value, max, v)) return true;
    return Fail(kv, "not a number in range");
  }

  bool Apply(const KeyValue& kv, SimDriveState* state) {
    std::string_view key = kv.key;
    std::uint64_t v = 0;
    if (SameName(key, "Model")) {
      model_ = kv.value;
    } else if (SameName(key, "Serial")) {
      serial_ = kv.value;
    } else if (SameName(key, "Firmware")) {
      firmware_ = kv.value;
    } else if (SameName(key, "Sectors")) {
      if (!Number(kv, 0xFFFFFFFFFFFFull, &sectors_)) return false;
    } else if (SameName(key, "Cylinders")) {
      if (!Number(kv, 0xFFFF, &v)) return false;
      cylinders_ = static_cast<std::uint16_t>(v);
    } else if (SameName(key, "Heads")) {
      if (!Number(kv, 0xFFFF, &v)) return false;
      heads_ = static_cast<std::uint16_t>(v);
    } else if (SameName(key, "SectorsPerTrack")) {
      if (!Number(kv, 0xFFFF, &v)) return false;
      sectorsPerTrack_ = static_cast<std::uint16_t>(v);
    } else if (SameName(key, "Major")) {
      if (!Number(kv, 0xFFFF, &v)) return false;
      major_ = static_cast<std::uint16_t>(v);
    } else if (SameName(key, "Minor")) {
      if (!Number(kv, 0xFFFF, &v)) return false;
      minor_ = static_cast<std::uint16_t>(v);
    } else if (SameName(key, "SerialAta")) {
      if (!Number(kv, 1, &v)) return false;
      serialAta_ = v != 0;
    } else if (SameName(key, "SmartSupported")) {
      if (!Number(kv, 1, &v)) return false;
      state->smartSupported = v != 0;
    } else if (SameName(key, "SmartEnabled")) {
      if (!Number(kv, 1, &v)) return false;
      state->smartEnabled = v != 0;
    } else if (SameName(key, "Packet")) {
      if (!Number(kv, 31, &v)) return false;
      state->packet = true;
      packetType_ = static_cast<int>(v);
    } else if (StartsWithName(key, "Word.")) {
      std::uint64_t index = 0;
      if (!ParseNumber(key.substr(5), 255, &index)) {
        return Fail(kv, "word index is not 0..255");
      }
      if (!Number(kv, 0xFFFF, &v)) return false;
      words_.push_back({static_cast<int>(index), static_cast<std::uint16_t>(v)});
    } else if (SameName(key, "IdentifyChecksum")) {
      if (SameName(kv.value, "good")) {
        identifyChecksum_ = 0;
      } else if (SameName(kv.value, "bad")) {
        identifyChecksum_ = 1;
      } else if (SameName(kv.value, "none")) {
        identifyChecksum_ = 2;
      } else {
        return Fail(kv, "expected good, bad or none");
      }
    } else if (StartsWithName(key, "Attribute.")) {
      return ApplyAttribute(kv);
    } else if (SameName(key, "Transport")) {
      if (SameName(kv.value, "nvme")) {
        state->nvme = true;
      } else if (SameName(kv.value, "ata")) {
        state->nvme = false;
      } else {
        return Fail(kv, "expected ata or nvme");
      }
    } else if (StartsWithName(key, "Health.")) {
      for (int i = 0; i < kHealthFieldCount; ++i) {
        if (!SameName(key.substr(7), kHealthFields[i].key)) continue;
        const int bits = 8 * kHealthFields[i].bytes;
        return Number(kv, bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1,
                      &health_[i]);
      }
      return Fail(kv, "unknown health log field");
    } else if (SameName(key, "Fail")) {
      if (!ParseFailList(kv.value, &state->failMask)) {
        return Fail(kv, "unknown command name");
      }
    } else if (SameName(key, "DriverError")) {
      std::vector<std::string_view> t = Tokens(kv.value);
      SimCommand c;
      std::uint64_t driverError = 0;
      std::uint64_t ideError = 0;
      if (t.size() != 3 || !ParseCommand(t[0], &c) || !ParseNumber(t[1], 255, &driverError) ||
          !ParseNumber(t[2], 255, &ideError)) {
        return Fail(kv, "expected: command, driver error byte, IDE error byte");
      }
      state->driverErrorCommand = static_cast<int>(c);
      state->driverError = static_cast<std::uint8_t>(driverError);
      state->ideError = static_cast<std::uint8_t>(ideError);
    } else if (SameName(key, "Status")) {
      std::vector<std::string_view> t = Tokens(kv.value);
      std::uint64_t low = 0;
      std::uint64_t high = 0;
      if (t.size() == 1 && SameName(t[0], "ok")) {
        low = 0x4F, high = 0xC2;
      } else if (t.size() == 1 && SameName(t[0], "exceeded")) {
        low = 0xF4, high = 0x2C;
      } else if (t.size() != 2 || !ParseNumber(t[0], 255, &low) || !ParseNumber(t[1], 255, &high)) {
        return Fail(kv, "expected ok, exceeded or two register bytes");
      }
      state->statusCylinderLow = static_cast<std::uint8_t>(low);
      state->statusCylinderHigh = static_cast<std::uint8_t>(high);
    } else if (SameName(key, "Power")) {
      constexpr struct {
        const char* name;
        std::uint8_t count;
      } kModes[] = {{"active", 0xFF}, {"idle", 0x80}, {"standby", 0x00}, {"sleep", 0x00}};
      bool known = false;
      for (const auto& m : kModes) {
        if (SameName(kv.value, m.name)) state->powerMode = m.count, known = true;
      }
      if (!known) return Fail(kv, "expected active, idle, standby or sleep");
    } else if (SameName(key, "ThresholdsChecksum") || SameName(key, "DataChecksum")) {
      bool bad = SameName(kv.value, "bad");
      if (!bad && !SameName(kv.value, "good")) {
        return Fail(kv, "expected good or bad");
      }
      (SameName(key, "DataChecksum") ? badData_ : badThresholds_) = bad;
    } else {
      return Fail(kv, "unknown key");
    }
    return true;
  }

  bool ApplyAttribute(const KeyValue& kv) {
    std::uint64_t id = 0;
    std::string_view hex = std::string_view(kv.key).substr(10);
    auto hexDigit = [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    if (hex.size() != 2 || !hexDigit(hex[0]) || !hexDigit(hex[1])) {
      return Fail(kv, "attribute id is not two hexadecimal digits 01..FF");
    }
    id = std::strtoul(std::string(hex).c_str(), nullptr, 16);
    if (id == 0) {
      return Fail(kv, "attribute id is not two hexadecimal digits 01..FF");
    }
    std::vector<std::string_view> t = Tokens(kv.value);
    std::uint64_t flags = 0, current = 0, worst = 0, raw = 0, threshold = 0;
    bool hasThreshold = t.size() == 5 && t[4] != "-";
    if (t.size() != 5 || !ParseNumber(t[0], 0xFFFF, &flags) || !ParseNumber(t[1], 255, &current) ||
        !ParseNumber(t[2], 255, &worst) || !ParseNumber(t[3], 0xFFFFFFFFFFFFull, &raw) ||
        (hasThreshold && !ParseNumber(t[4], 255, &threshold))) {
      return Fail(kv, "expected: flags current worst raw threshold|-");
    }
    Attribute a{static_cast<std::uint8_t>(id),
                static_cast<std::uint16_t>(flags),
                static_cast<std::uint8_t>(current),
                static_cast<std::uint8_t>(worst),
                raw,
                hasThreshold ? static_cast<int>(threshold) : -1};
    for (Attribute& old : attributes_) {
      if (old.id == a.id) {
        old = a;
        return true;
      }
    }
    if (attributes_.size() == 30) return Fail(kv, "more than 30 attributes");
    attributes_.push_back(a);
    return true;
  }

  void Build(SimDriveState* s) {
    std::uint8_t* id = s->identify;
    SetWord(id, 0,
            s->packet ? static_cast<std::uint16_t>(0x8000 | (packetType_ << 8) | 0x0080) : 0x0040);
    SetWord(id, 1, cylinders_);
    SetWord(id, 3, heads_);
    SetWord(id, 6, sectorsPerTrack_);
    SetText(id, 10, 20, serial_);
    SetText(id, 23, 8, firmware_);
    SetText(id, 27, 40, model_);
    SetWord(id, 49, 1u << 9);
    std::uint64_t count28 = std::min<std::uint64_t>(sectors_, 0x0FFFFFFF);
    SetWord(id, 60, static_cast<std::uint16_t>(count28));
    SetWord(id, 61, static_cast<std::uint16_t>(count28 >> 16));
    SetWord(id, 80, major_);
    SetWord(id, 81, minor_);
    SetWord(id, 82, s->smartSupported ? 1 : 0);
    std::uint16_t w83 = 0x4000;
    if (sectors_ > 0x0FFFFFFF) {
      w83 |= 1u << 10;
      for (int w = 0; w < 4; ++w) {
        SetWord(id, 100 + w, static_cast<std::uint16_t>(sectors_ >> (16 * w)));
      }
    }
    SetWord(id, 83, w83);
    SetWord(id, 85, s->smartEnabled ? 1 : 0);
    SetWord(id, 87, 0x4000);
    SetWord(id, 222, serialAta_ ? 0x101F : 0);
    for (const auto& [index, value] : words_) SetWord(id, index, value);
    if (identifyChecksum_ != 2) {
      id[510] = 0xA5;
      SealSector(id, identifyChecksum_ == 1);
    }

    SetWord(s->thresholds, 0, 0x0010);
    SetWord(s->data, 0, 0x0010);
    int t = 0;
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
      const Attribute& a = attributes_[i];
      std::uint8_t* e = s->data + 2 + 12 * i;
      e[0] = a.id;
      e[1] = static_cast<std::uint8_t>(a.flags);
      e[2] = static_cast<std::uint8_t>(a.flags >> 8);
      e[3] = a.current;
      e[4] = a.worst;
      for (int k = 0; k < 6; ++k) e[5 + k] = static_cast<std::uint8_t>(a.raw >> (8 * k));
      if (a.threshold >= 0) {
        std::uint8_t* te = s->thresholds + 2 + 12 * t++;
        te[0] = a.id;
        te[1] = static_cast<std::uint8_t>(a.threshold);
      }
    }
    SealSector(s->thresholds, badThresholds_);
    SealSector(s->data, badData_);
  }

  // Identify Controller: serial 4-23, model 24-63, firmware 64-71.
  // Identify Namespace: size, capacity and use (bytes 0-23) in blocks of
  // LBA format 0 (FLBAS byte 26 = 0), 512 bytes (its LBADS, byte 130, 9).
  void BuildNvme(SimDriveState* s) {
    SetNvmeText(s->nvmeController + 4, 20, serial_);
    SetNvmeText(s->nvmeController + 24, 40, model_);
    SetNvmeText(s->nvmeController + 64, 8, firmware_);
    for (int k = 0; k < 3; ++k) SetLittle(s->nvmeNamespace + 8 * k, 8, sectors_);
    s->nvmeNamespace[130] = 9;
    for (int i = 0; i < kHealthFieldCount; ++i) {
      SetLittle(s->healthLog + kHealthFields[i].offset, kHealthFields[i].bytes, health_[i]);
    }
  }

  std::string* error_;
  std::string_view where_;
  std::uint64_t health_[kHealthFieldCount] = {};
  std::string model_, serial_, firmware_;
  std::uint64_t sectors_ = 0;
  std::uint16_t cylinders_ = 16383, heads_ = 16, sectorsPerTrack_ = 63;
  std::uint16_t major_ = 0x007E, minor_ = 0;
  bool serialAta_ = false;
  int packetType_ = 0;
  std::vector<std::pair<int, std::uint16_t>> words_;
  int identifyChecksum_ = 0;  // good, bad, none
  bool badThresholds_ = false, badData_ = false;
  std::vector<Attribute> attributes_;
};

struct Change {
  std::uint32_t second;
  int drive;
  std::string key;
  std::string value;
};

// "Drive3" -> 3; -1 when the text is not a drive name.
int DriveNumber(std::string_view name) {
  if (name.size() != 6 || !StartsWithName(name, "Drive") || name[5] < '0' || name[5] > '9') {
    return -1;
  }
  return name[5] - '0';
}

bool ParseClock(std::string_view text, LocalTime* t) {
  unsigned y, mo, d, h, mi, s;
  char tail;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
          6 ||
      mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
    return false;
  }
  // Day of the week by Zeller's congruence, Sunday = 0.
  unsigned yy = mo < 3 ? y - 1 : y;
  unsigned mm = mo < 3 ? mo + 12 : mo;
  unsigned dow = (d + 13 * (mm + 1) / 5 + yy + yy / 4 - yy / 100 + yy / 400 + 6) % 7;
  *t = LocalTime{static_cast<std::uint16_t>(y),   static_cast<std::uint16_t>(mo),
                 static_cast<std::uint16_t>(dow), static_cast<std::uint16_t>(d),
                 static_cast<std::uint16_t>(h),   static_cast<std::uint16_t>(mi),
                 static_cast<std::uint16_t>(s),   0};
  return true;
}

bool ParsePlatform(const IniSection& section, Scenario* out, std::string* error) {
  for (const IniEntry& e : section.entries) {
    std::uint64_t v = 0;
    auto fail = [&](const char* what) {
      *error = Joined({"[Platform]: ", e.key, " = ", e.value, ": ", what});
      return false;
    };
    if (SameName(e.key, "Family")) {
      if (SameName(e.value, "9x")) {
        out->win9x = true;
      } else if (SameName(e.value, "nt")) {
        out->win9x = false;
      } else {
        return fail("expected nt or 9x");
      }
    } else if (SameName(e.key, "DeviceMap")) {
      if (!ParseNumber(e.value, 255, &v)) return fail("expected a byte");
      out->deviceMap = static_cast<int>(v);
    } else if (SameName(e.key, "Driver")) {
      if (SameName(e.value, "present")) {
        out->driver = SimDriver::kPresent;
      } else if (SameName(e.value, "unloaded")) {
        out->driver = SimDriver::kUnloaded;
      } else if (SameName(e.value, "misplaced")) {
        out->driver = SimDriver::kMisplaced;
      } else if (SameName(e.value, "missing")) {
        out->driver = SimDriver::kMissing;
      } else {
        return fail("expected present, unloaded, misplaced or missing");
      }
    } else if (SameName(e.key, "Uptime")) {
      if (!ParseNumber(e.value, 4294967, &v)) return fail("expected seconds");
      out->uptimeSeconds = static_cast<std::uint32_t>(v);
    } else if (SameName(e.key, "Clock")) {
      if (!ParseClock(e.value, &out->clock)) {
        return fail("expected YYYY-MM-DD HH:MM:SS");
      }
    } else if (SameName(e.key, "KeyChord")) {
      if (!ParseNumber(e.value, 1, &v)) return fail("expected 0 or 1");
      out->keyChord = v != 0;
    } else if (SameName(e.key, "Fail")) {
      if (!ParseFailList(e.value, &out->platformFailMask)) {
        return fail("unknown command name");
      }
    } else {
      return fail("unknown key");
    }
  }
  return true;
}

}  // namespace

const char* SimCommandName(SimCommand command) { return kCommandNames[static_cast<int>(command)]; }

bool ParseScenario(std::string_view text, Scenario* out, std::string* error) {
  *out = Scenario{};
  IniFile ini;
  ini.Parse(text);

  // Drives and the platform first, so that [At S] may stand anywhere.
  KeyList base[10];
  bool defined[10] = {};
  for (const IniSection& section : ini.sections()) {
    int drive = DriveNumber(section.name);
    if (SameName(section.name, "Platform")) {
      if (!ParsePlatform(section, out, error)) return false;
    } else if (drive >= 0) {
      defined[drive] = true;
      for (const IniEntry& e : section.entries) Put(base[drive], e.key, e.value);
    } else if (!StartsWithName(section.name, "At ")) {
      *error = Joined({"[", section.name, "]: unknown section"});
      return false;
    }
  }

  std::vector<Change> changes;
  for (const IniSection& section : ini.sections()) {
    if (!StartsWithName(section.name, "At ")) continue;
    std::uint64_t second = 0;
    if (!ParseNumber(section.name.substr(3), 0xFFFFFFFF, &second)) {
      *error = Joined({"[", section.name, "]: expected [At seconds]"});
      return false;
    }
    for (const IniEntry& e : section.entries) {
      std::size_t dot = e.key.find('.');
      int d = dot == std::string_view::npos ? -1 : DriveNumber(e.key.substr(0, dot));
      if (d < 0 || !defined[d]) {
        *error =
            Joined({"[", section.name, "]: ", e.key, ": expected DriveN.<key> of a defined drive"});
        return false;
      }
      if (SameName(e.key.substr(dot + 1), "Transport")) {
        *error = Joined({"[", section.name, "]: ", e.key, ": a drive keeps its transport"});
        return false;
      }
      changes.push_back({static_cast<std::uint32_t>(second), d, std::string(e.key.substr(dot + 1)),
                         std::string(e.value)});
    }
  }
  std::stable_sort(changes.begin(), changes.end(),
                   [](const Change& a, const Change& b) { return a.second < b.second; });

  std::vector<std::uint32_t> seconds{0};
  for (const Change& c : changes) {
    if (c.second != seconds.back()) seconds.push_back(c.second);
  }

  out->epochs.resize(seconds.size());
  for (std::size_t k = 0; k < seconds.size(); ++k) {
    SimEpoch& epoch = out->epochs[k];
    epoch.second = seconds[k];
    for (int d = 0; d < 10; ++d) {
      SimDriveState& state = epoch.drives[d];
      if (!defined[d]) {
        std::memset(&state, 0, sizeof state);
        continue;
      }
      KeyList keys = base[d];
      bool enabledSetHere = false;
      bool powerSetHere = false;
      for (const Change& c : changes) {
        if (c.second > seconds[k]) break;
        if (c.drive != d) continue;
        Put(keys, c.key, c.value);
        if (c.second == seconds[k] && k > 0 && SameName(c.key, "SmartEnabled")) {
          enabledSetHere = true;
        }
        if (c.second == seconds[k] && k > 0 && SameName(c.key, "Power")) powerSetHere = true;
      }
      std::string where =
          Joined({"[Drive", std::to_string(d), "] from second ", std::to_string(seconds[k])});
      if (!DriveCompiler(error, where).Compile(keys, &state)) return false;
      if (state.nvme && out->win9x) {
        *error = Joined({where, ": Transport = nvme: the 9x family has no NVMe drives"});
        return false;
      }
      state.smartEnabledSet = enabledSetHere;
      state.powerSet = powerSetHere;
    }
  }
  return true;
}

bool LoadScenario(const std::string& path, Scenario* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be opened";
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  return ParseScenario(buffer.str(), out, error);
}

}  // namespace kestrel
