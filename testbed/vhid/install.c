/* orvane_vhid_install.exe: installs the virtual keyboard's drivers into this
 * Wine prefix from orvane_vhid.inf beside it: it creates the bus's root
 * device, once, and installs its driver; the collections the bus presents
 * later take theirs from the same INF. A 64-bit program, as the drivers
 * are: a 32-bit one would be matched against the INF's x86 models and see
 * a redirected system folder. Exit code 0 when done; else a line on
 * standard error says what failed. */
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <newdev.h>
#include <setupapi.h>
#include <stdio.h>

static const WCHAR kBusHardwareId[] = L"ORVANE\\VBUS\0";

static int Fail(const char* what) {
  fprintf(stderr, "orvane_vhid_install: %s failed with error %lu\n", what, GetLastError());
  return 1;
}

int wmain(void) {
  WCHAR inf[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, inf, MAX_PATH);
  SP_DEVINFO_DATA device = {0};
  BOOL reboot = FALSE, made;
  HDEVINFO set;

  while (length && inf[length - 1] != L'\\') --length;
  if (length + 17 > MAX_PATH) return Fail("finding the INF");
  lstrcpyW(inf + length, L"orvane_vhid.inf");

  set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, NULL);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  device.cbSize = sizeof device;
  made = SetupDiCreateDeviceInfoW(set, L"ROOT\\ORVANE_VBUS\\0", &GUID_DEVCLASS_SYSTEM, NULL, NULL, 0, &device);
  if (!made && GetLastError() != ERROR_DEVINST_ALREADY_EXISTS) {
    SetupDiDestroyDeviceInfoList(set);
    return Fail("SetupDiCreateDeviceInfoW");
  }
  if (made && (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, (const BYTE*)kBusHardwareId,
                                                  sizeof kBusHardwareId) ||
               !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))) {
    int code = Fail("registering the bus device");
    SetupDiCallClassInstaller(DIF_REMOVE, set, &device);
    SetupDiDestroyDeviceInfoList(set);
    return code;
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!UpdateDriverForPlugAndPlayDevicesW(NULL, kBusHardwareId, inf, INSTALLFLAG_FORCE, &reboot)) {
    return Fail("UpdateDriverForPlugAndPlayDevicesW");
  }
  return 0;
}
