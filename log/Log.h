// Diagnostic log: one line per message, appended to C:\LOG\Orvane_Keyboard.log.
// Off unless g_bLogEnabled is exactly 1; the diagnostic build turns it on at
// start. Callable from any thread; each line is appended whole.
#pragma once

#include <string>

// 1 switches the log on; any other value is off.
extern int g_bLogEnabled;

// printf-style; "%S" takes a wide string. Never fails towards the caller.
// The printf archetype is the one that gcc and clang both check for mingw
// targets, and both take "%S" there as a wchar_t*.
void LogWrite(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Stamps text and appends it as a line; mode 1 starts the file afresh.
void LogAppendLine(const wchar_t* text, int mode);

// text in the ANSI code page, as the log's lines are written.
std::string ToAnsi(const std::wstring& text);

// Creates what is missing of "C:\" + relativePath. 0 when the file itself
// could be created at once, 1 when the folders were walked instead.
int EnsureLogFolder(const wchar_t* relativePath);
