// The version box: the program line and the version line.
#pragma once

#include <string>

#include "app/win32/dialog_window.h"

namespace kestrel {

class AboutDialog final : public DialogWindowOf<AboutDialog> {
 public:
  explicit AboutDialog(std::string versionText) : versionText_(std::move(versionText)) {}

  static const MessageEntry<AboutDialog> kMessages[1];
  static const CommandEntry<AboutDialog> kCommands[1];

 protected:
  BOOL OnInitDialog() override;

 private:
  INT_PTR OnNothing(WPARAM, LPARAM) { return FALSE; }
  void OnNoCommand(UINT) {}
  std::string versionText_;
};

}  // namespace kestrel
