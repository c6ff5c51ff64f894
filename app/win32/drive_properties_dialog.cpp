#include "app/win32/drive_properties_dialog.h"

#include "app/shell/shell_model.h"
#include "records/drive_table.h"
#include "resources/resource.h"

namespace kestrel {

const MessageEntry<DrivePropertiesDialog> DrivePropertiesDialog::kMessages[1] = {
    {WM_NULL, &DrivePropertiesDialog::OnNothing}};
const CommandEntry<DrivePropertiesDialog> DrivePropertiesDialog::kCommands[1] = {
    {0, 0, &DrivePropertiesDialog::OnNoCommand}};

void DrivePropertiesDialog::Open(int drive, HWND owner) {
  auto* dialog = new DrivePropertiesDialog(drive);
  // A window that cannot be made leaves nothing open.
  if (!dialog->CreateModeless(IDD_DRIVEPROPERTIES, owner)) {
    delete dialog;
    return;
  }
  ShowWindow(dialog->hwnd(), SW_SHOW);
}

BOOL DrivePropertiesDialog::OnInitDialog() {
  // Without the table there is nothing to show: the window closes again
  // at once (LockDriveTable has said why).
  DriveTable* table = LockDriveTable();
  if (table == nullptr) {
    PostMessageA(hwnd(), WM_COMMAND, IDCANCEL, 0);
    return TRUE;
  }
  const DriveRecord& r = table->records[drive_];
  SetWindowTextA(hwnd(), PropertiesCaption(DriveBadge(r), drive_).c_str());
  SetDlgItemTextA(hwnd(), IDC_PROP_MODEL, r.modelNumber);
  SetDlgItemTextA(hwnd(), IDC_PROP_SERIAL, r.serialNumber);
  SetDlgItemTextA(hwnd(), IDC_PROP_FIRMWARE, r.firmwareRevision);
  SetDlgItemTextA(hwnd(), IDC_PROP_CAPACITY, r.capacityText);
  SetDlgItemTextA(hwnd(), IDC_PROP_ATA, AtaVersionText(r).c_str());
  SetDlgItemTextA(hwnd(), IDC_PROP_SMART, SmartFunctionText(r.status).c_str());
  SetDlgItemTextA(hwnd(), IDC_PROP_COMMENT, r.comment);
  UnlockDriveTable();
  return TRUE;
}

}  // namespace kestrel
