// The install folder's permissions. The utility runs with an administrator's
// rights at every logon, so only administrators may change what lies in its
// folder: a standard user who could replace the executable, or put a library
// beside it, would have it run elevated.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "fw/UniqueHandle.h"
#include "tools/logontask/Accounts.h"
#include "tools/probe/Status.h"

// The platform calls that tests stand in for or record. Real by default:
// Wine keeps no file's security descriptor, makes no junction or symbolic
// link, and answers for every folder above with its own owner.
struct InstallFolderCalls {
  decltype(&SetSecurityInfo) setSecurityInfo = SetSecurityInfo;
  // An item's attributes and reparse tag.
  decltype(&GetFileInformationByHandleEx) getFileInformationByHandleEx =
      GetFileInformationByHandleEx;
  // Where the opened folder really is, past any link above it.
  decltype(&GetFinalPathNameByHandleW) getFinalPathNameByHandle = GetFinalPathNameByHandleW;
  decltype(&GetNamedSecurityInfoW) getNamedSecurityInfo = GetNamedSecurityInfoW;  // the parents'
  // Whether a user account holding rights over a folder above is an
  // administrator's (Wine says every account is).
  decltype(&IsAdministratorAccount) isAdministratorAccount = IsAdministratorAccount;
};

// The folder as Windows names it, whole, without a trailing backslash, and
// with long names where it exists: installers pass it ending in "\." or
// "\", and a person may give short names, while a process's image path and
// a handle's final path have the long ones.
std::wstring FullFolderPath(const std::wstring& folder);

// A folder's owner and the entries that allow something, as the judgement
// of who besides administrators controls it takes them (Status.h);
// inherit-only entries, which are for what is made inside only, when asked.
// S_FALSE when it has no access list: anyone may do anything there.
struct FolderPermissions {
  StatusFacts::Trustee owner;
  std::vector<StatusFacts::Allowed> allowed;
};
HRESULT ReadFolderPermissions(const std::wstring& folder,
                              decltype(&GetNamedSecurityInfoW) getNamedSecurityInfo,
                              bool inheritOnlyToo, FolderPermissions* permissions);

// The folder's security descriptor (LocalFree'd): owned by Administrators,
// protected (nothing inherited from above), full control for Administrators
// and SYSTEM, read and execute for Users, inherited by all inside.
HRESULT BuildInstallFolderDescriptor(CLocalMemory* descriptor);
// Gives an existing folder that descriptor's owner and DACL, replacing what
// it had, then everything inside it that owner and only the entries it
// inherits (their own are removed), so whoever made the folder or put files
// there keeps no say over them. Each item is changed through a handle to
// itself, never through a link. Before changing anything it refuses, with
// HRESULT_FROM_WIN32(ERROR_REPARSE_POINT_ENCOUNTERED), a folder that is a
// link (a junction or a symbolic link) or lies behind one, and, with
// E_ACCESSDENIED, one with a folder above it, up to the drive's root, that
// anyone but administrators (the group, SYSTEM, TrustedInstaller, or an
// administrator's own account) owns or may rename, delete or empty, or
// change the permissions of: they could move the folder away and put their own in
// its place. What it judged goes to report, a line for each folder above
// and for each refusal. Fails, part way, at the first item inside that
// cannot be changed, and on a link inside (it would lead elsewhere).
HRESULT ProtectInstallFolder(const std::wstring& folder, const InstallFolderCalls& calls,
                             std::vector<std::wstring>* report);
