// The HID class driver and device-installer calls that discovery makes
// (HidPlatformWin.cpp), apart from the rest of the link.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "fw/UniqueHandle.h"
#include "hid/HidInterfaceRules.h"

GUID HidClassGuid();

// Device paths of the present HID interfaces, in enumeration order.
std::vector<std::wstring> EnumerateHidInterfacePaths(const GUID& hidGuid);

// An interface opened as discovery opens each: for reading and writing,
// shared, overlapped.
CFileHandle OpenHidInterface(const std::wstring& path);

// Capabilities (usage page, usage) and attributes (vendor, product) of an
// opened collection; false when any query fails.
bool bQueryHidCollection(HANDLE device, HidInterfaceFacts* facts);

bool bHidSetFeature(HANDLE device, void* report, ULONG length);
