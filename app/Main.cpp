// The one application object of Orvane_Keyboard_Hid.exe; fw/WinMain.cpp
// drives it.
#include "app/HidApp.h"

CHidApp theApp;
