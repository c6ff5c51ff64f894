// One drive's identity and SMART capability, copied from the drive table
// when the window opens. Modeless; any number may be open; each frees
// itself when its window is gone.
#pragma once

#include "app/win32/dialog_window.h"

namespace kestrel {

class DrivePropertiesDialog final : public DialogWindowOf<DrivePropertiesDialog> {
 public:
  // Opens a new window for drive `drive`, owned by `owner`. The object
  // lives as long as its window.
  static void Open(int drive, HWND owner);

  static const MessageEntry<DrivePropertiesDialog> kMessages[1];
  static const CommandEntry<DrivePropertiesDialog> kCommands[1];

 protected:
  void OnAfterDestroy() override { delete this; }
  BOOL OnInitDialog() override;

 private:
  explicit DrivePropertiesDialog(int drive) : drive_(drive) {}
  INT_PTR OnNothing(WPARAM, LPARAM) { return FALSE; }
  void OnNoCommand(UINT) {}
  int drive_;
};

}  // namespace kestrel
