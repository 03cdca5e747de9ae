// The install folder's permissions. The utility runs with an administrator's
// rights at every logon, so only administrators may change what lies in its
// folder: a standard user who could replace the executable, or put a library
// beside it, would have it run elevated.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <string>

#include "fw/UniqueHandle.h"

// The platform call that changes permissions. Real by default; tests record
// what is asked, since Wine keeps no file's security descriptor.
struct InstallFolderCalls {
  decltype(&SetNamedSecurityInfoW) setNamedSecurityInfo = SetNamedSecurityInfoW;
};

// The folder's security descriptor (LocalFree'd): owned by Administrators,
// protected (nothing inherited from above), full control for Administrators
// and SYSTEM, read and execute for Users, inherited by all inside.
HRESULT BuildInstallFolderDescriptor(CLocalMemory* descriptor);
// Gives an existing folder that descriptor's owner and DACL, replacing what
// it had, then everything inside it that owner and only the entries it
// inherits (their own are removed), so whoever made the folder or put files
// there keeps no say over them. Fails, part way, at the first item that
// cannot be changed, and on a link inside (it would lead elsewhere).
HRESULT ProtectInstallFolder(const std::wstring& folder,
                             const InstallFolderCalls& calls = InstallFolderCalls());
