// Kestrel.exe: the program on the machine's own drives.
#include <windows.h>

#include "app/win32/program.h"
#include "ata/ata_platform.h"
#include "records/host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return kestrel::RunProgram(kestrel::DefaultAtaPlatform(), kestrel::DefaultEnvironment());
}
