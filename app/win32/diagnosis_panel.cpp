#include "app/win32/diagnosis_panel.h"

#include <shellapi.h>

#include "report/health_report.h"
#include "resources/resource.h"

namespace kestrel {

namespace {

HCURSOR HandCursor() {
  static HCURSOR cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
  return cursor;
}

HCURSOR ArrowCursor() {
  static HCURSOR cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  return cursor;
}

// Installed on each button: the hand over the button, then the button's
// own procedure, kept in its user data.
LRESULT CALLBACK HandCursorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MOUSEMOVE) SetCursor(HandCursor());
  auto own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return CallWindowProcA(own, hwnd, message, wParam, lParam);
}

}  // namespace

const DiagnosisPanel::ButtonSprite DiagnosisPanel::kSprites[3] = {
    {IDC_DIAGNOSE, 62, 147, 224, 63, 0},
    {IDC_SERVICE_LINK, 293, 0, 59, 31, 554},
    {IDC_CLUB_LINK, 169, 248, 144, 18, 613},
};

const MessageEntry<DiagnosisPanel> DiagnosisPanel::kMessages[4] = {
    {WM_DRAWITEM, &DiagnosisPanel::OnDrawItem},
    {WM_ERASEBKGND, &DiagnosisPanel::OnEraseBackground},
    {WM_MOUSEMOVE, &DiagnosisPanel::OnMouseMove},
    {WM_DESTROY, &DiagnosisPanel::OnDestroy},
};

const CommandEntry<DiagnosisPanel> DiagnosisPanel::kCommands[2] = {
    {IDC_DIAGNOSE, IDC_DIAGNOSE, &DiagnosisPanel::OnDiagnose},
    {IDC_SERVICE_LINK, IDC_CLUB_LINK, &DiagnosisPanel::OnLink},
};

BOOL DiagnosisPanel::OnInitDialog() {
  for (const ButtonSprite& s : kSprites) {
    HWND button = GetDlgItem(hwnd(), s.control);
    if (button == nullptr) continue;
    SetWindowLongPtrA(button, GWLP_USERDATA, GetWindowLongPtrA(button, GWLP_WNDPROC));
    SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HandCursorProc));
    SetWindowPos(button, nullptr, s.x, s.y, s.width, s.height,
                 SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  }
  strip_ = static_cast<HBITMAP>(LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(IDB_BUTTONS),
                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  return FALSE;
}

INT_PTR DiagnosisPanel::OnDrawItem(WPARAM, LPARAM lParam) {
  const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  const ButtonSprite* sprite = nullptr;
  for (const ButtonSprite& s : kSprites) {
    if (static_cast<int>(item->CtlID) == s.control) sprite = &s;
  }
  if (sprite == nullptr || strip_ == nullptr) return TRUE;
  int row = (item->itemState & ODS_SELECTED) ? 2 : (item->itemState & ODS_FOCUS) ? 1 : 0;
  HDC memory = CreateCompatibleDC(item->hDC);
  HGDIOBJ old = SelectObject(memory, strip_);
  const RECT& r = item->rcItem;
  StretchBlt(item->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, sprite->stripX,
             row * sprite->height, sprite->width, sprite->height, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  return TRUE;
}

INT_PTR DiagnosisPanel::OnMouseMove(WPARAM, LPARAM) {
  SetCursor(ArrowCursor());
  return 0;
}

INT_PTR DiagnosisPanel::OnDestroy(WPARAM, LPARAM) {
  if (strip_ != nullptr) DeleteObject(strip_);
  strip_ = nullptr;
  return 0;
}

void DiagnosisPanel::OnDiagnose(UINT) { WriteHealthReport(); }

void DiagnosisPanel::OnLink(UINT command) {
  char address[1024];
  if (GetDlgItemTextA(hwnd(), static_cast<int>(command), address, sizeof address) <= 0) return;
  ShellExecuteA(nullptr, nullptr, address, nullptr, "", SW_SHOWNORMAL);
}

}  // namespace kestrel
