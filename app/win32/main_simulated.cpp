// KestrelSim.exe: the same program on simulated drives, for demonstrations
// and tests. The scenario is the file named by KESTREL_SCENARIO, else
// "scenario.ini" beside the executable; its changes come in real seconds.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/program_texts.h"
#include "app/win32/program.h"
#include "sim/sim_drives.h"

namespace {

std::string ScenarioPath() {
  if (const char* named = std::getenv("KESTREL_SCENARIO"); named != nullptr && *named != '\0') {
    return named;
  }
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
  std::string path(module, n < sizeof module ? n : 0);
  std::size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "scenario.ini";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kestrel::Scenario scenario;
  std::string error;
  if (!kestrel::LoadScenario(ScenarioPath(), &scenario, &error)) {
    MessageBoxA(nullptr, error.c_str(), kestrel::kProgramTitle, MB_OK | MB_ICONSTOP);
    return 1;
  }
  kestrel::SimDrives drives(std::move(scenario));
  drives.SetCommandLine(GetCommandLineA());
  drives.FollowRealTime();
  return kestrel::RunProgram(&drives, &drives);
}
