// Window classes for CWnd objects, named by the framework.
#pragma once

#include <windows.h>

// Registers (once per set of arguments) a window class whose procedure is
// CWnd::WndProc and returns its generated name, which stays valid for the
// life of the process. Null when the system refuses the class.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr,
                            HBRUSH background = nullptr, HICON icon = nullptr);
