// A thin window layer on the plain Win32 API: one class per window, built
// from a dialog template, with one static table per class from messages
// and command numbers to member handlers.
//
// A window class derives from DialogWindowOf<Self> and defines
//   static const MessageEntry<Self> kMessages[];
//   static const CommandEntry<Self> kCommands[];
// The base dispatches to them; anything not in a table gets the default
// dialog handling. A message handler's result is the dialog procedure's:
// FALSE hands the message on to the default handling, TRUE (or the value
// such messages as WM_QUERYDRAGICON and WM_DRAWITEM return) ends it. The
// hooks below are the ones the windows replace.
#pragma once

#include <windows.h>

namespace kestrel {

class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  virtual ~DialogWindow() = default;

  HWND hwnd() const { return hwnd_; }

  // Creates the window from template `id` as a modeless dialog. Returns
  // false when the system refused.
  bool CreateModeless(int id, HWND parent);

  // Runs the template as a modal dialog; returns what EndDialog was given.
  INT_PTR RunModal(int id, HWND parent);

 protected:
  // WM_INITDIALOG; the result goes back to the system (TRUE: focus the
  // first control).
  virtual BOOL OnInitDialog() { return TRUE; }
  // The default button (Enter, IDOK) and the cancel action (Esc, IDCANCEL,
  // the close box). By default a modal dialog ends, a modeless one is
  // destroyed.
  virtual void OnDefaultButton();
  virtual void OnCancel();
  // After the window is gone (WM_NCDESTROY): a window that owns its object
  // frees it here.
  virtual void OnAfterDestroy() {}
  // Looks `message` up in the class's tables. True when handled, with the
  // dialog procedure's result in *result.
  virtual bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) = 0;
  // Called before the tables for every message; true when handled.
  virtual bool PreDispatch(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

template <class T>
struct MessageEntry {
  UINT message;
  INT_PTR (T::*handler)(WPARAM, LPARAM);
};

template <class T>
struct CommandEntry {
  UINT first;  // a range of command numbers, first..last
  UINT last;
  void (T::*handler)(UINT command);
};

template <class T>
class DialogWindowOf : public DialogWindow {
 protected:
  bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override {
    T* self = static_cast<T*>(this);
    if (message == WM_COMMAND) {
      UINT command = LOWORD(wParam);
      for (const CommandEntry<T>& c : T::kCommands) {
        if (command >= c.first && command <= c.last) {
          (self->*c.handler)(command);
          *result = 0;
          return true;
        }
      }
    }
    for (const MessageEntry<T>& m : T::kMessages) {
      if (m.message == message) {
        *result = (self->*m.handler)(wParam, lParam);
        return true;
      }
    }
    return false;
  }
};

// The module the resources come from.
HINSTANCE ProgramInstance();

}  // namespace kestrel
