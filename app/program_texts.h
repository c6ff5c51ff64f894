// Texts of the program shell shared by every front end (code page 932).
#pragma once

namespace kestrel {

// The main window's title, and the caption of every box the shell shows.
inline constexpr char kProgramTitle[] = "Kestrelハードディスク故障診断プログラム";

// Shown when no present drive has SMART attributes; the program then ends.
inline constexpr char kNoSmartDriveMessage[] =
    "S.M.A.R.T.情報が取得できません。管理者権限で\n"
    "Kestrelを起動してから診断を行なって下さい。";

}  // namespace kestrel
