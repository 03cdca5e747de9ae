// Whether an account is an administrator's, asked of the machine by name:
// a session's user before the utility is started for them, the owner of a
// folder above the install folder.
#pragma once

#include <windows.h>

#include <string>

// Whether account (domain\user) is in the local Administrators group,
// directly or through a domain group.
HRESULT IsAdministratorAccount(const std::wstring& account, bool* administrator);
