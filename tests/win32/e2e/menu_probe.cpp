// The end-to-end driver's eyes inside the program: another process cannot
// read a window's menus, so the driver hooks this DLL into the program's
// window thread (SetWindowsHookEx, WH_CALLWNDPROC). When the main window is
// sent the registered message "KestrelMenuProbe" (WPARAM: a window of the
// driver), it sets that window's text to one line of menu items:
// LPARAM 0 the menu bar, 1 the system menu, otherwise an open popup menu
// window (#32768). Items are joined by "|", a popup's items follow its
// title in braces; "-" is a separator, "*" marks a checked and "~" a
// greyed item.
#include <windows.h>

#include <string>

namespace {

std::string Items(HMENU menu) {
  std::string line;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    char text[256] = {};
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &item);
    if (i != 0) line += "|";
    if (item.fType & MFT_SEPARATOR) {
      line += "-";
      continue;
    }
    if (item.fState & MFS_CHECKED) line += "*";
    if (item.fState & MFS_GRAYED) line += "~";
    line += text;
    if (item.hSubMenu != nullptr) line.append("{").append(Items(item.hSubMenu)).append("}");
  }
  return line;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT kProbe = RegisterWindowMessageA("KestrelMenuProbe");
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == kProbe) {
    HMENU menu = sent->lParam == 0 ? GetMenu(sent->hwnd)
                 : sent->lParam == 1
                     ? GetSystemMenu(sent->hwnd, FALSE)
                     : reinterpret_cast<HMENU>(
                           SendMessageA(reinterpret_cast<HWND>(sent->lParam), MN_GETHMENU, 0, 0));
    std::string line = Items(menu);
    SendMessageA(reinterpret_cast<HWND>(sent->wParam), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(line.c_str()));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
