// Resource identifiers of Orvane_Keyboard_Hid.exe.
#pragma once

#define IDI_APP 128
