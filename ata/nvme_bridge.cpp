#include "ata/nvme_bridge.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kestrel {

namespace {

constexpr std::uint64_t kRawMax = (std::uint64_t{1} << 48) - 1;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint16_t kSmartRevision = 0x0010;

// NVMe data is little-endian.
std::uint64_t Little(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// A 128-bit counter held to the raw value's 48 bits.
std::uint64_t Counter(const std::uint8_t* p) {
  for (int i = 6; i < 16; ++i) {
    if (p[i] != 0) return kRawMax;
  }
  return Little(p, 6);
}

void CopyAscii(char* out, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    // Identify strings are ASCII padded with blanks; a NUL or other control
    // byte (a drive that pads with zeros) ends up as a blank.
    out[i] = p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : ' ';
  }
  out[n] = '\0';
}

void SetWord(std::uint8_t* sector, int index, std::uint16_t value) {
  sector[2 * index] = static_cast<std::uint8_t>(value);
  sector[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

// ATA identify texts: two characters a word, the first in the high byte.
void SetText(std::uint8_t* sector, int firstWord, const char* text, std::size_t chars) {
  for (std::size_t i = 0; i < chars; i += 2) {
    SetWord(sector, firstWord + static_cast<int>(i / 2),
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(text[i]) << 8 |
                                       static_cast<std::uint8_t>(text[i + 1])));
  }
}

// The last byte makes the sector's bytes sum to 0 (mod 256).
void Seal(std::uint8_t* sector) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 511; ++i) sum = static_cast<std::uint8_t>(sum + sector[i]);
  sector[511] = static_cast<std::uint8_t>(-sum);
}

struct Entry {
  std::uint8_t id;
  std::uint8_t current;
  std::uint8_t threshold;
  std::uint64_t raw;
};

// The attribute table the health log stands for, in id order. Current
// values are 100 where the log has no health figure of its own.
int Entries(const NvmeHealth& h, Entry* out) {
  const int celsius = h.temperatureKelvin > 273 ? h.temperatureKelvin - 273 : 0;
  // A current value of 0 is never judged: spare used up reads as 1, at
  // or below any threshold the drive sets. Without a threshold (0, as
  // emulated controllers report) there is nothing to judge it by.
  const std::uint8_t spare = h.spareThreshold == 0
                                 ? std::min<std::uint8_t>(h.availableSpare, 100)
                                 : std::clamp<std::uint8_t>(h.availableSpare, 1, 100);
  const std::uint8_t life = static_cast<std::uint8_t>(100 - std::min<int>(h.percentageUsed, 99));
  const Entry entries[] = {
      {0x01, 100, 0, h.criticalWarning},
      {0x02, 100, 0, static_cast<std::uint64_t>(celsius)},
      {0x03, spare, std::min<std::uint8_t>(h.spareThreshold, 100), h.availableSpare},
      {0x04, 100, 0, h.spareThreshold},
      {0x05, life, 0, h.percentageUsed},
      {0x06, 100, 0, h.dataUnitsRead},
      {0x07, 100, 0, h.dataUnitsWritten},
      {0x08, 100, 0, h.hostReads},
      {0x09, 100, 0, h.hostWrites},
      {0x0A, 100, 0, h.busyMinutes},
      {0x0B, 100, 0, h.powerCycles},
      {0x0C, 100, 0, h.powerOnHours},
      {0x0D, 100, 0, h.unsafeShutdowns},
      {0x0E, 100, 0, h.mediaErrors},
      {0x0F, 100, 0, h.errorLogEntries},
      {0x10, 100, 0, h.warningTemperatureMinutes},
      {0x11, 100, 0, h.criticalTemperatureMinutes},
  };
  std::copy(std::begin(entries), std::end(entries), out);
  return static_cast<int>(std::size(entries));
}

constexpr int kEntries = 17;

AtaOutcome Refused(std::uint32_t errorCode) {
  AtaOutcome out{};
  out.errorCode = errorCode;
  return out;
}

}  // namespace

bool ParseNvmeIdentity(const std::uint8_t* controller, const std::uint8_t* ns, NvmeIdentity* out) {
  CopyAscii(out->serial, controller + 4, 20);
  CopyAscii(out->firmware, controller + 64, 8);
  CopyAscii(out->model, controller + 24, 40);
  if (std::all_of(out->model, out->model + 40, [](char c) { return c == ' '; })) return false;

  // The size in logical blocks, and the block size of the format in use
  // (FLBAS bits 3-0 select one of the LBA formats from byte 128 on).
  const std::uint64_t blocks = Little(ns, 8);
  const int format = ns[26] & 0x0F;
  const int shift = ns[128 + 4 * format + 2];
  if (shift < 9 || shift > 16) return false;
  out->sectors =
      blocks > (~std::uint64_t{0} >> (shift - 9)) ? ~std::uint64_t{0} : blocks << (shift - 9);
  return true;
}

NvmeHealth ParseNvmeHealth(const std::uint8_t* log) {
  NvmeHealth h{};
  h.criticalWarning = log[0];
  h.temperatureKelvin = static_cast<std::uint16_t>(Little(log + 1, 2));
  h.availableSpare = log[3];
  h.spareThreshold = log[4];
  h.percentageUsed = log[5];
  h.dataUnitsRead = Counter(log + 32);
  h.dataUnitsWritten = Counter(log + 48);
  h.hostReads = Counter(log + 64);
  h.hostWrites = Counter(log + 80);
  h.busyMinutes = Counter(log + 96);
  h.powerCycles = Counter(log + 112);
  h.powerOnHours = Counter(log + 128);
  h.unsafeShutdowns = Counter(log + 144);
  h.mediaErrors = Counter(log + 160);
  h.errorLogEntries = Counter(log + 176);
  h.warningTemperatureMinutes = static_cast<std::uint32_t>(Little(log + 192, 4));
  h.criticalTemperatureMinutes = static_cast<std::uint32_t>(Little(log + 196, 4));
  return h;
}

void BuildIdentifySector(const NvmeIdentity& identity, std::uint8_t* sector) {
  std::memset(sector, 0, 512);
  SetWord(sector, 0, 0x0040);  // a fixed, non-removable device
  SetText(sector, 10, identity.serial, 20);
  SetText(sector, 23, identity.firmware, 8);
  SetText(sector, 27, identity.model, 40);
  SetWord(sector, 49, 1u << 9);  // LBA
  const std::uint64_t count28 = std::min<std::uint64_t>(identity.sectors, 0x0FFFFFFF);
  SetWord(sector, 60, static_cast<std::uint16_t>(count28));
  SetWord(sector, 61, static_cast<std::uint16_t>(count28 >> 16));
  // SMART supported and on; words 83 and 87 valid (bits 15-14 = 01), 83
  // with the 48-bit address set where the size needs it.
  SetWord(sector, 82, 1);
  SetWord(sector, 83, identity.sectors > 0x0FFFFFFF ? 0x4400 : 0x4000);
  SetWord(sector, 85, 1);
  SetWord(sector, 87, 0x4000);
  for (int w = 0; w < 4; ++w) {
    SetWord(sector, 100 + w, static_cast<std::uint16_t>(identity.sectors >> (16 * w)));
  }
  sector[510] = 0xA5;
  Seal(sector);
}

void BuildSmartDataSector(const NvmeHealth& health, std::uint8_t* sector) {
  std::memset(sector, 0, 512);
  SetWord(sector, 0, kSmartRevision);
  Entry entries[kEntries];
  const int n = Entries(health, entries);
  for (int i = 0; i < n; ++i) {
    std::uint8_t* e = sector + 2 + 12 * i;
    e[0] = entries[i].id;
    e[1] = 0x02;  // advisory, updated on line
    e[3] = entries[i].current;
    e[4] = entries[i].current;
    const std::uint64_t raw = std::min(entries[i].raw, kRawMax);
    for (int k = 0; k < 6; ++k) e[5 + k] = static_cast<std::uint8_t>(raw >> (8 * k));
  }
  Seal(sector);
}

void BuildThresholdsSector(const NvmeHealth& health, std::uint8_t* sector) {
  std::memset(sector, 0, 512);
  SetWord(sector, 0, kSmartRevision);
  Entry entries[kEntries];
  const int n = Entries(health, entries);
  for (int i = 0; i < n; ++i) {
    sector[2 + 12 * i] = entries[i].id;
    sector[3 + 12 * i] = entries[i].threshold;
  }
  Seal(sector);
}

AtaOutcome AnswerAsAta(NvmeAdmin& device, const AtaRegisters& regs, AtaDataMode mode,
                       std::uint8_t* sector) {
  AtaOutcome out{};
  out.callSucceeded = true;
  std::uint32_t error = 0;
  if (regs.command == 0xEC && mode == AtaDataMode::kSectorIn) {  // IDENTIFY DEVICE
    std::uint8_t controller[kNvmeIdentifySize];
    std::uint8_t ns[kNvmeIdentifySize];
    NvmeIdentity identity;
    if (!device.IdentifyController(controller, &error)) return Refused(error);
    if (!device.IdentifyNamespace(ns, &error)) return Refused(error);
    if (!ParseNvmeIdentity(controller, ns, &identity)) return Refused(kErrorInvalidParameter);
    BuildIdentifySector(identity, sector);
    // A drive whose health log does not read is a drive without SMART: the
    // scan lists it so and leaves it, rather than keeping a drive with no
    // attributes whose every reading would fail.
    std::uint8_t log[kNvmeHealthLogSize];
    if (!device.ReadHealthLog(log, &error)) {
      SetWord(sector, 82, 0);
      SetWord(sector, 85, 0);
      Seal(sector);
    }
    return out;
  }
  if (regs.command != 0xB0 || regs.cylinderLow != 0x4F || regs.cylinderHigh != 0xC2) {
    return Refused(kErrorInvalidParameter);  // IDENTIFY PACKET DEVICE among them
  }
  switch (regs.features) {
    case 0xD8:  // ENABLE OPERATIONS: the health log is always there
      return out;
    case 0xD0:    // READ DATA
    case 0xD1:    // READ THRESHOLDS
    case 0xDA: {  // RETURN STATUS
      std::uint8_t log[kNvmeHealthLogSize];
      if (!device.ReadHealthLog(log, &error)) return Refused(error);
      const NvmeHealth health = ParseNvmeHealth(log);
      if (regs.features == 0xDA) {
        out.returned = regs;
        const bool failing = health.criticalWarning != 0;
        out.returned.cylinderLow = failing ? 0xF4 : 0x4F;
        out.returned.cylinderHigh = failing ? 0x2C : 0xC2;
      } else if (mode != AtaDataMode::kSectorIn) {
        return Refused(kErrorInvalidParameter);
      } else if (regs.features == 0xD0) {
        BuildSmartDataSector(health, sector);
      } else {
        BuildThresholdsSector(health, sector);
      }
      return out;
    }
    default:
      return Refused(kErrorInvalidParameter);
  }
}

}  // namespace kestrel
