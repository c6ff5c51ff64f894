#include "app/win32/about_dialog.h"

#include <cstdio>

#include "app/program_texts.h"
#include "resources/resource.h"

namespace kestrel {

// Neither table has entries of its own; one inert entry each keeps the
// arrays non-empty.
const MessageEntry<AboutDialog> AboutDialog::kMessages[1] = {{WM_NULL, &AboutDialog::OnNothing}};
const CommandEntry<AboutDialog> AboutDialog::kCommands[1] = {{0, 0, &AboutDialog::OnNoCommand}};

BOOL AboutDialog::OnInitDialog() {
  SetWindowTextA(hwnd(), "Kestrelのバージョン情報");
  char program[128];
  std::snprintf(program, sizeof program, "%s %s", kProgramTitle, "Solo");
  SetDlgItemTextA(hwnd(), IDC_ABOUT_PROGRAM, program);
  SetDlgItemTextA(hwnd(), IDC_ABOUT_VERSION, versionText_.c_str());
  return TRUE;
}

}  // namespace kestrel
