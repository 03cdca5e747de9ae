// Registration for the HID device-interface notifications the system sends
// when the keyboard's collections come and go, as the utility registers
// its window once it has opened the keyboard.
#pragma once

#include <windows.h>
#include <dbt.h>

#include "fw/UniqueHandle.h"

inline CDevNotify RegisterHidNotifications(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
  return CDevNotify(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}
