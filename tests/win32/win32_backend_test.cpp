// The real Windows backend, run under Wine. That its scan finds no drive
// there and says nothing is the end-to-end test's stop box.
#include <windows.h>

#include "ata/ata_platform.h"
#include "scan/scan.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

TEST(Win32Platform, FailedCommandCarriesTheSystemErrorCode) {
  AtaRegisters regs{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
  std::uint8_t sector[512];
  AtaOutcome out =
      DefaultAtaPlatform()->SendCommand(reinterpret_cast<DeviceHandle>(INVALID_HANDLE_VALUE), regs,
                                        0, AtaDataMode::kSectorIn, sector);
  EXPECT_FALSE(out.callSucceeded);
  EXPECT_EQ(out.errorCode, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}

TEST(Win32Platform, FileChecksTakeFilesNotFolders) {
  char exe[MAX_PATH];
  char folder[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  EXPECT_TRUE(DefaultAtaPlatform()->FileExists(exe));
  EXPECT_TRUE(DefaultEnvironment()->IsFile(exe));
  EXPECT_FALSE(DefaultAtaPlatform()->FileExists(folder));
  EXPECT_FALSE(DefaultEnvironment()->IsFile(folder));
}

TEST(Win32Environment, NtFamilyCodePage932CommandLineAndLocalTime) {
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_FALSE(DefaultAtaPlatform()->IsWin9xFamily());
  Environment* env = DefaultEnvironment();
  EXPECT_NE(env->CommandLine().find("kestrel_win32_tests"), std::string_view::npos);
  EXPECT_GE(env->Now().year, 2020);
  EXPECT_FALSE(env->KeyChordHeld());
}

}  // namespace
}  // namespace kestrel
