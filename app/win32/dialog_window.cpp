#include "app/win32/dialog_window.h"

namespace kestrel {

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

bool DialogWindow::CreateModeless(int id, HWND parent) {
  modal_ = false;
  HWND created = CreateDialogParamA(ProgramInstance(), MAKEINTRESOURCEA(id), parent, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
  return created != nullptr;
}

INT_PTR DialogWindow::RunModal(int id, HWND parent) {
  modal_ = true;
  return DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(id), parent, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void DialogWindow::OnDefaultButton() {
  if (modal_) {
    EndDialog(hwnd_, IDOK);
  } else {
    DestroyWindow(hwnd_);
  }
}

void DialogWindow::OnCancel() {
  if (modal_) {
    EndDialog(hwnd_, IDCANCEL);
  } else {
    DestroyWindow(hwnd_);
  }
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;

  INT_PTR result = 0;
  if (self->PreDispatch(message, wParam, lParam, &result)) return result;
  if (self->Dispatch(message, wParam, lParam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      return self->OnInitDialog();
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        self->OnDefaultButton();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        self->OnCancel();
        return TRUE;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, DWLP_USER, 0);
      self->hwnd_ = nullptr;
      self->OnAfterDestroy();
      return FALSE;
  }
  return FALSE;
}

}  // namespace kestrel
