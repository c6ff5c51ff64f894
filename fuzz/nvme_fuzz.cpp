// The NVMe bridge over any bytes a device may return: Identify Controller
// and Namespace data and the health log read, the ATA sectors built of
// them (and the identity sector decoded as the scan decodes it), then one
// channel command answered from a device that returns those bytes.
//
// Input: a byte of fetches that fail (bit 0 Identify Controller, 1 Identify
// Namespace, 2 the health log), a byte choosing the command, then the
// health log (512 bytes), Identify Namespace bytes 0-191 and Identify
// Controller bytes from 0 on; what the input lacks reads as zeros.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "ata/nvme_bridge.h"
#include "fuzz/fuzz_support.h"
#include "records/drive_table.h"
#include "scan/identity.h"

using namespace kestrel;
using namespace kestrel::fuzz;

namespace {

constexpr std::uint64_t kRawMax = (std::uint64_t{1} << 48) - 1;

// A device that answers with the input's bytes, or fails with an error
// code of its own per fetch.
class InputNvme final : public NvmeAdmin {
 public:
  bool IdentifyController(std::uint8_t* data, std::uint32_t* error) override {
    return Answer(0, controller, kNvmeIdentifySize, data, error);
  }
  bool IdentifyNamespace(std::uint8_t* data, std::uint32_t* error) override {
    return Answer(1, ns, kNvmeIdentifySize, data, error);
  }
  bool ReadHealthLog(std::uint8_t* data, std::uint32_t* error) override {
    return Answer(2, log, kNvmeHealthLogSize, data, error);
  }

  std::uint8_t fails = 0;
  std::uint8_t controller[kNvmeIdentifySize] = {};
  std::uint8_t ns[kNvmeIdentifySize] = {};
  std::uint8_t log[kNvmeHealthLogSize] = {};

 private:
  bool Answer(int which, const std::uint8_t* bytes, std::size_t n, std::uint8_t* data,
              std::uint32_t* error) const {
    if (fails & (1u << which)) {
      *error = 0x100u + static_cast<std::uint32_t>(which);
      return false;
    }
    std::memcpy(data, bytes, n);
    return true;
  }
};

std::uint8_t Sum(const std::uint8_t* sector) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 512; ++i) sum = static_cast<std::uint8_t>(sum + sector[i]);
  return sum;
}

void CheckText(const char* text, std::size_t n, const char* what) {
  Check(std::strlen(text) == n, what);
  for (std::size_t i = 0; i < n; ++i) Check(text[i] >= 0x20 && text[i] < 0x7F, what);
}

void CheckIdentitySector(const NvmeIdentity& id, const std::uint8_t* sector) {
  Check(Sum(sector) == 0 && sector[510] == 0xA5, "identity sector sealed");
  std::uint64_t sectors = 0;
  for (int w = 3; w >= 0; --w) sectors = sectors << 16 | IdentifyWord(sector, 100 + w);
  Check(sectors == id.sectors, "words 100-103 hold the size");
  const std::uint32_t count28 = IdentifyWord(sector, 60) | IdentifyWord(sector, 61) << 16;
  Check(count28 == (id.sectors < 0x0FFFFFFF ? id.sectors : 0x0FFFFFFF),
        "words 60-61 cut at 28 bits");
  DriveRecord r{};
  std::memcpy(r.identify, sector, 512);
  DecodeIdentity(r);
  CheckField(r.modelNumber, sizeof r.modelNumber, "model terminated");
  CheckField(r.capacityText, sizeof r.capacityText, "capacity terminated");
  Check(std::string_view(id.model).find(r.modelNumber) != std::string_view::npos,
        "the decoded model is the identity's");
}

void CheckHealthSectors(const NvmeHealth& h) {
  const std::uint64_t counters[] = {
      h.dataUnitsRead, h.dataUnitsWritten, h.hostReads,       h.hostWrites,  h.busyMinutes,
      h.powerCycles,   h.powerOnHours,     h.unsafeShutdowns, h.mediaErrors, h.errorLogEntries};
  for (std::uint64_t c : counters) Check(c <= kRawMax, "a counter is held to 48 bits");
  std::uint8_t data[512], thresholds[512];
  BuildSmartDataSector(h, data);
  BuildThresholdsSector(h, thresholds);
  Check(Sum(data) == 0 && Sum(thresholds) == 0, "SMART sectors sealed");
  for (int i = 0; i < 17; ++i) {
    const std::uint8_t* e = data + 2 + 12 * i;
    Check(e[0] == i + 1 && thresholds[2 + 12 * i] == i + 1, "ids 01-11 in order");
    // Judged values, but the spare of a drive without a spare threshold,
    // which has nothing to be judged by.
    const bool unjudgedSpare = i == 2 && thresholds[3 + 12 * i] == 0;
    Check((e[3] >= 1 || unjudgedSpare) && e[3] <= 100 && e[3] == e[4],
          "current = worst within 1..100: judged");
    Check(thresholds[3 + 12 * i] == 0 || i == 2, "only the spare has a threshold");
  }
  const int celsius = h.temperatureKelvin > 273 ? h.temperatureKelvin - 273 : 0;
  Check((data[2 + 12 + 5] | data[2 + 12 + 6] << 8) == celsius, "temperature in Celsius");
  Check(data[2 + 12 * 17] == 0, "no 18th entry");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  InputNvme device;
  device.fails = data[0];
  std::size_t at = 2;
  auto take = [&](std::uint8_t* out, std::size_t n) {
    const std::size_t k = size - at < n ? size - at : n;
    std::memcpy(out, data + at, k);
    at += k;
  };
  take(device.log, kNvmeHealthLogSize);
  take(device.ns, 192);
  take(device.controller, kNvmeIdentifySize);

  NvmeIdentity id;
  const bool identified = ParseNvmeIdentity(device.controller, device.ns, &id);
  if (identified) {
    CheckText(id.model, 40, "model: 40 printable characters");
    CheckText(id.serial, 20, "serial: 20 printable characters");
    CheckText(id.firmware, 8, "firmware: 8 printable characters");
    Check(id.model[std::strspn(id.model, " ")] != '\0', "an accepted model is not blank");
    std::uint8_t sector[512];
    BuildIdentifySector(id, sector);
    CheckIdentitySector(id, sector);
  }
  const NvmeHealth health = ParseNvmeHealth(device.log);
  Check(health.criticalWarning == device.log[0], "critical warning is byte 0");
  CheckHealthSectors(health);

  // The channel's commands, and some it does not send: the registers the
  // channel would use, then features and the command from the input.
  static const struct {
    std::uint8_t command, features;
    AtaDataMode mode;
  } kCommands[] = {
      {0xEC, 0, AtaDataMode::kSectorIn},    {0xA1, 0, AtaDataMode::kSectorIn},
      {0xB0, 0xD8, AtaDataMode::kNone},     {0xB0, 0xD0, AtaDataMode::kSectorIn},
      {0xB0, 0xD1, AtaDataMode::kSectorIn}, {0xB0, 0xDA, AtaDataMode::kReturnRegisters},
      {0xB0, 0xD0, AtaDataMode::kNone},     {0xB0, 0xD9, AtaDataMode::kNone}};
  const auto& c = kCommands[data[1] % std::size(kCommands)];
  const bool smart = c.command == 0xB0;
  AtaRegisters regs{};
  regs.features = c.features;
  regs.cylinderLow = smart ? 0x4F : 0;
  regs.cylinderHigh = smart ? 0xC2 : 0;
  regs.driveHead = 0xA0;
  regs.command = c.command;
  std::uint8_t sector[512];
  std::memset(sector, 0xEE, sizeof sector);
  const AtaOutcome out = AnswerAsAta(device, regs, c.mode, sector);
  Check(out.callSucceeded == (out.errorCode == 0), "an error code exactly when the call failed");
  // Which call must fail, with which code: a fetch's own, or 87.
  std::uint32_t expected = 87;
  if (c.command == 0xEC) {
    expected = device.fails & 1 ? 0x100 : device.fails & 2 ? 0x101 : identified ? 0 : 87;
  } else if (smart && c.features == 0xD8) {
    expected = 0;
  } else if (smart && c.features != 0xD9) {
    expected = device.fails & 4 ? 0x102 : c.mode == AtaDataMode::kNone ? 87 : 0;
  }
  Check(out.errorCode == expected, "each failure has its fetch's error code");
  Check(out.driverError == 0 && out.ideError == 0, "the bridge reports no driver error");
  if (!out.callSucceeded) return 0;
  if (c.command == 0xEC) {
    Check(Sum(sector) == 0, "identity sector sealed");
    Check((IdentifyWord(sector, 82) & 1) == ((device.fails & 4) == 0), "SMART as the log reads");
  }
  if (c.features == 0xDA) {
    const bool failing = health.criticalWarning != 0;
    Check(out.returned.cylinderLow == (failing ? 0xF4 : 0x4F) &&
              out.returned.cylinderHigh == (failing ? 0x2C : 0xC2),
          "status exceeded exactly while a critical warning is set");
  }
  if (c.mode == AtaDataMode::kSectorIn) Check(Sum(sector) == 0, "a sector answered is sealed");
  return 0;
}
