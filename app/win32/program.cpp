#include "app/win32/program.h"

#include <windows.h>

#include <commctrl.h>

#include "app/win32/main_window.h"
#include "app/win32/win32_sink.h"
#include "records/host.h"
#include "resources/resource.h"

namespace kestrel {

namespace {

// The class atom of dialog windows ("#32770").
constexpr ULONG_PTR kDialogClassAtom = 32770;

}  // namespace

int RunProgram(AtaPlatform* ata, Environment* env) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  Win32Sink sink;
  InstallServices(Services{ata, env, &sink});
  MainWindow window;
  InstallMonitorHost(&window);
  if (!window.CreateModeless(IDD_MAINWINDOW, nullptr)) return 1;

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Every dialog window has the dialog keys (Tab, Enter, Esc): the main
    // window with its panel, and each modeless drive window, whose Enter
    // and Esc close it.
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && GetClassLongPtrA(root, GCW_ATOM) == kDialogClassAtom &&
        IsDialogMessageA(root, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  InstallMonitorHost(nullptr);
  return 0;
}

}  // namespace kestrel
