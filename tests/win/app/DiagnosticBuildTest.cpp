// Only the diagnostic build writes the log, from its start on.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "tests/win/support/LogCapture.h"
#include "tests/win/support/StartedProgram.h"

namespace {

// Starts the program, lets it make its window, and closes it again.
void RunBriefly(const wchar_t* program) {
  CStartedProgram started(0, program);
  HWND window = started.WaitForWindow();
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(started.WaitForExit(), 0u);
}

TEST(DiagnosticBuild, NormalBuildWritesNoLogAndTheDiagnosticBuildDoes) {
  CLogCapture log;  // an empty file to start from
  g_bLogEnabled = 0;
  RunBriefly(L"Orvane_Keyboard_Hid.exe");
  EXPECT_EQ(GetFileAttributesA("C:\\LOG\\Orvane_Keyboard.log"), INVALID_FILE_ATTRIBUTES);

  RunBriefly(L"Orvane_Keyboard_Hid_diag.exe");
  auto messages = log.Messages();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "OnCreate over"), messages.end());
}

}  // namespace
