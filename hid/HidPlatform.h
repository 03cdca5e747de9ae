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
// overlapped, and sharing both, as other clients (the system's own among
// them) hold the key collection open for reading and writing too.
CFileHandle OpenHidInterface(const std::wstring& path,
                             decltype(&CreateFileW) createFile = CreateFileW);

// Capabilities (usage page, usage) and attributes (vendor, product) of an
// opened collection; false when any query fails.
bool bQueryHidCollection(HANDLE device, HidInterfaceFacts* facts);

// Whether an opened collection still answers (its attributes): false once
// its device has gone.
bool bHidHandleAnswers(HANDLE device);

bool bHidSetFeature(HANDLE device, void* report, ULONG length);
