#include "tools/logontask/Accounts.h"

#include <lm.h>

HRESULT IsAdministratorAccount(const std::wstring& account, bool* administrator) {
  BYTE* groups = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS status = NetUserGetLocalGroups(nullptr, account.c_str(), 0, LG_INCLUDE_INDIRECT,
                                                &groups, MAX_PREFERRED_LENGTH, &read, &total);
  if (status != NERR_Success) return HRESULT_FROM_WIN32(status);
  auto* list = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(groups);
  *administrator = false;
  for (DWORD i = 0; i < read && !*administrator; ++i) {
    // By SID: the group's name is in the system's language.
    BYTE sid[SECURITY_MAX_SID_SIZE];
    wchar_t domain[256];
    DWORD sidSize = sizeof sid, domainSize = 256;
    SID_NAME_USE use;
    *administrator = LookupAccountNameW(nullptr, list[i].lgrui0_name, sid, &sidSize, domain,
                                        &domainSize, &use) &&
                     IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
  }
  NetApiBufferFree(groups);
  return S_OK;
}
