#include "tools/logontask/InstallFolder.h"

#include <sddl.h>

// O:BA: owned by Administrators; P: protected; AI: auto-inherited; OICI:
// inherited by files and folders inside; FA: full control; 0x1200a9: read
// and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
namespace {

const wchar_t kInstallFolderSddl[] =
    L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

const DWORD kErrorReparsePointEncountered = 4395;  // mingw's winerror.h lacks it

// Gives everything below folder the owner and only what it inherits,
// parents before their contents so each inherits its new permissions.
HRESULT ResetContents(const std::wstring& folder, PSID owner, const InstallFolderCalls& calls) {
  WIN32_FIND_DATAW found;
  CFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return HRESULT_FROM_WIN32(GetLastError());
  ACL inheritedOnly;  // no entries of its own
  if (!InitializeAcl(&inheritedOnly, sizeof inheritedOnly, ACL_REVISION)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    // A link would lead the changes to whatever it points at, outside.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return HRESULT_FROM_WIN32(kErrorReparsePointEncountered);
    }
    std::wstring path = folder + L"\\" + name;
    DWORD error = calls.setNamedSecurityInfo(
        &path[0], SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
            UNPROTECTED_DACL_SECURITY_INFORMATION,
        owner, nullptr, &inheritedOnly, nullptr);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      HRESULT hr = ResetContents(path, owner, calls);
      if (FAILED(hr)) return hr;
    }
  } while (FindNextFileW(find.Get(), &found));
  DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT BuildInstallFolderDescriptor(CLocalMemory* descriptor) {
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallFolderSddl, SDDL_REVISION_1,
                                                            &made, nullptr)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  descriptor->Reset(made);
  return S_OK;
}

HRESULT ProtectInstallFolder(const std::wstring& folder, const InstallFolderCalls& calls) {
  // Only a folder: a file of that name is not where the utility would lie.
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  CLocalMemory descriptor;
  HRESULT hr = BuildInstallFolderDescriptor(&descriptor);
  if (FAILED(hr)) return hr;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  // The owner too: an owner may always change the permissions back.
  DWORD error = calls.setNamedSecurityInfo(
      const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  return ResetContents(folder, owner, calls);
}
