// The title other programs find the utility's main window by: its companion
// programs, the probe, and the task tool that asks it to end.
#pragma once

constexpr wchar_t kMainWindowTitle[] = L"Orvane_Keyboard_Hid";
