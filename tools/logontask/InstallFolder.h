// The install folder's permissions. The utility runs with an administrator's
// rights at every logon, so only administrators may change what lies in its
// folder: a standard user who could replace the executable, or put a library
// beside it, would have it run elevated.
#pragma once

#include <windows.h>

#include <string>

#include "fw/UniqueHandle.h"

// The folder's security descriptor (LocalFree'd): protected (nothing
// inherited from above), full control for Administrators and SYSTEM, read
// and execute for Users, inherited by all inside.
HRESULT BuildInstallFolderDescriptor(CLocalMemory* descriptor);
// Gives an existing folder that descriptor's DACL, replacing what it had.
HRESULT ProtectInstallFolder(const std::wstring& folder);
