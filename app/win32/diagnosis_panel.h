// The diagnosis panel: a transparent child over the title picture with
// three picture buttons drawn from one strip (normal, focused and pressed
// rows): "診断" writes and opens the health report, the other two open
// the maker's pages named by their captions.
#pragma once

#include "app/win32/dialog_window.h"

namespace kestrel {

class DiagnosisPanel final : public DialogWindowOf<DiagnosisPanel> {
 public:
  static const MessageEntry<DiagnosisPanel> kMessages[4];
  static const CommandEntry<DiagnosisPanel> kCommands[2];

  // Where a button sits and where its pictures are in the strip (pixels).
  struct ButtonSprite {
    int control;
    int x, y, width, height;
    int stripX;
  };
  static const ButtonSprite kSprites[3];

 protected:
  BOOL OnInitDialog() override;

 private:
  INT_PTR OnDrawItem(WPARAM, LPARAM);
  INT_PTR OnEraseBackground(WPARAM, LPARAM) { return TRUE; }
  INT_PTR OnMouseMove(WPARAM, LPARAM);
  INT_PTR OnDestroy(WPARAM, LPARAM);
  void OnDiagnose(UINT);
  void OnLink(UINT command);

  HBITMAP strip_ = nullptr;
};

}  // namespace kestrel
