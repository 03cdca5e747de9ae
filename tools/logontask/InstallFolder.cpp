#include "tools/logontask/InstallFolder.h"

#include <aclapi.h>
#include <sddl.h>

// P: protected; OICI: inherited by files and folders inside; FA: full
// control; 0x1200a9: read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
namespace {

const wchar_t kInstallFolderSddl[] =
    L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

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

HRESULT ProtectInstallFolder(const std::wstring& folder) {
  // Only a folder: a file of that name is not where the utility would lie.
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  CLocalMemory descriptor;
  HRESULT hr = BuildInstallFolderDescriptor(&descriptor);
  if (FAILED(hr)) return hr;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  DWORD error = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl, nullptr);
  return HRESULT_FROM_WIN32(error);
}
