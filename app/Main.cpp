// The one application object of Orvane_Keyboard_Hid.exe; fw/WinMain.cpp
// drives it.
#include "app/HidApp.h"
#include "log/Log.h"

#ifdef ORVANE_DIAGNOSTIC_LOG
// The diagnostic build logs from the start, before the application object
// does anything.
static const int g_logSwitchedOn = (g_bLogEnabled = 1);
#endif

CHidApp theApp;
