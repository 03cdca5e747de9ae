#include "tools/logontask/InstallFolder.h"

#include <sddl.h>

#include <algorithm>

// O:BA: owned by Administrators; P: protected; AI: auto-inherited; OICI:
// inherited by files and folders inside; FA: full control; 0x1200a9: read
// and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
namespace {

const wchar_t kInstallFolderSddl[] =
    L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

const DWORD kErrorReparsePointEncountered = 4395;  // mingw's winerror.h lacks it

// The rights over a folder above that let their holder move the install
// folder away: deleting or renaming the folder itself, or what is inside it,
// its permissions, its owner, and all of them at once.
const uint32_t kMoveRights = DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// The names the probe's judgement gives, as the lines have them.
std::wstring Wide(const std::string& text) {
  int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], size);
  wide.resize(size - 1);
  return wide;
}

HRESULT RefuseLink(const std::wstring& line, std::vector<std::wstring>* report) {
  report->push_back(line + L" - refused");
  return HRESULT_FROM_WIN32(kErrorReparsePointEncountered);
}

// "\\?\C:\A\" and "C:\A" are one folder; a drive's root keeps its backslash.
std::wstring Plain(std::wstring path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// The item itself, not what a link leads to, with the rights to read its
// kind and to set its owner and permissions. Backup semantics open folders.
CFileHandle OpenItself(const std::wstring& path) {
  return CFileHandle(CreateFileW(path.c_str(),
                                 READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr));
}

// An opened item's attributes, and whether it is a link: a reparse point
// whose tag is a name surrogate (a junction or a symbolic link) leads
// elsewhere, while a compressed, deduplicated or cloud file is one that
// keeps its data where it is.
HRESULT ReadItem(HANDLE item, const InstallFolderCalls& calls, DWORD* attributes, bool* link) {
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!calls.getFileInformationByHandleEx(item, FileAttributeTagInfo, &info, sizeof info)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  *attributes = info.FileAttributes;
  *link = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          IsReparseTagNameSurrogate(info.ReparseTag);
  return S_OK;
}

// Where an opened item really is, as a drive path.
HRESULT ReadFinalPath(HANDLE item, const InstallFolderCalls& calls, std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = calls.getFinalPathNameByHandle(item, &buffer[0], buffer.size(), VOLUME_NAME_DOS);
  if (length >= buffer.size()) {  // too small: length is the size it needs
    buffer.resize(length);
    length = calls.getFinalPathNameByHandle(item, &buffer[0], buffer.size(), VOLUME_NAME_DOS);
  }
  if (length == 0 || length >= buffer.size()) return HRESULT_FROM_WIN32(GetLastError());
  buffer.resize(length);
  *path = Plain(buffer);
  return S_OK;
}

// A SID's string and its account's name ("domain\name", or the name alone
// for those without a domain); false when it has no string.
bool ReadTrustee(PSID sid, StatusFacts::Trustee* trustee) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return false;
  CLocalMemory owned(text);
  trustee->sid = text;
  char name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    trustee->name = domain[0] ? std::string(domain) + "\\" + name : name;
  }
  return true;
}

// An administrator's own account controls a folder as the group does; any
// other group holds standard users.
bool IsAnAdministratorsAccount(const std::string& sidText, const InstallFolderCalls& calls) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(sidText.c_str(), &sid)) return false;
  CLocalMemory ownedSid(sid);
  wchar_t name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use = SidTypeUnknown;
  bool administrator = false;
  return LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) &&
         use == SidTypeUser &&
         SUCCEEDED(calls.isAdministratorAccount(std::wstring(domain) + L"\\" + name, &administrator)) &&
         administrator;
}

// Who besides administrators could move what lies in a folder, by name and
// SID; empty when nobody. An inherit-only entry is for what is inside only, so it
// counts there when that is checked, not here.
HRESULT WhoElseCanMoveInside(const std::wstring& folder, uint32_t rights,
                             const InstallFolderCalls& calls, std::wstring* who) {
  FolderPermissions permissions;
  HRESULT hr = ReadFolderPermissions(folder, calls.getNamedSecurityInfo, false, &permissions);
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE) {
    *who = L"anyone (it has no access list)";
    return S_OK;
  }
  std::vector<StatusFacts::Trustee> others = OthersWith(rights, permissions.owner, permissions.allowed);
  others.erase(std::remove_if(others.begin(), others.end(),
                              [&calls](const StatusFacts::Trustee& other) {
                                return IsAnAdministratorsAccount(other.sid, calls);
                              }),
               others.end());
  *who = Wide(Named(others));
  return S_OK;
}

// Each folder above path, nearest first, to the drive's root ("C:\", since
// "C:" alone names the drive's current folder), with a line for each.
HRESULT CheckParents(const std::wstring& path, const InstallFolderCalls& calls,
                     std::vector<std::wstring>* report) {
  HRESULT verdict = S_OK;
  for (size_t end = path.rfind(L'\\'); end != std::wstring::npos && end > 0;
       end = path.rfind(L'\\', end - 1)) {
    std::wstring parent = path.substr(0, end);
    if (parent.find(L'\\') == std::wstring::npos) parent += L'\\';
    std::wstring who;
    // A drive's root cannot be renamed, so deleting it moves nothing: a
    // second drive's root lets Authenticated Users do so.
    const bool root = parent.size() == 3;
    HRESULT hr = WhoElseCanMoveInside(parent, root ? kMoveRights & ~DELETE : kMoveRights, calls, &who);
    if (FAILED(hr)) return hr;
    if (who.empty()) {
      report->push_back(L"parent " + parent +
                        L": only administrators can move what is inside - accepted");
    } else {
      report->push_back(L"parent " + parent + L": " + who + L" can move what is inside - refused");
      verdict = E_ACCESSDENIED;
    }
  }
  return verdict;
}

// Gives everything below folder the owner and only what it inherits,
// parents before their contents so each inherits its new permissions.
HRESULT ResetContents(const std::wstring& folder, PSID owner, const InstallFolderCalls& calls,
                      std::vector<std::wstring>* report) {
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
    std::wstring path = folder + L"\\" + name;
    CFileHandle item = OpenItself(path);
    if (!item) return HRESULT_FROM_WIN32(GetLastError());
    DWORD attributes = 0;
    bool link = false;
    HRESULT hr = ReadItem(item.Get(), calls, &attributes, &link);
    if (FAILED(hr)) return hr;
    // A link would lead the changes, and the utility, to whatever it points at.
    if (link) return RefuseLink(path + L" is a link (junction or symbolic link)", report);
    DWORD error = calls.setSecurityInfo(item.Get(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                            UNPROTECTED_DACL_SECURITY_INFORMATION,
                                        owner, nullptr, &inheritedOnly, nullptr);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      hr = ResetContents(path, owner, calls, report);
      if (FAILED(hr)) return hr;
    }
  } while (FindNextFileW(find.Get(), &found));
  DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT ReadFolderPermissions(const std::wstring& folder,
                              decltype(&GetNamedSecurityInfoW) getNamedSecurityInfo,
                              bool inheritOnlyToo, FolderPermissions* permissions) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = getNamedSecurityInfo(folder.c_str(), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                     nullptr, &dacl, nullptr, &descriptor);
  CLocalMemory owned(descriptor);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  if (!ReadTrustee(owner, &permissions->owner)) return HRESULT_FROM_WIN32(GetLastError());
  if (!dacl) return S_FALSE;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return HRESULT_FROM_WIN32(GetLastError());
    // A callback entry allows as a plain one does, on a condition.
    if ((header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
         header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) ||
        (!inheritOnlyToo && (header->AceFlags & INHERIT_ONLY_ACE))) {
      continue;
    }
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    StatusFacts::Allowed entry;
    entry.rights = ace->Mask;
    if (!ReadTrustee(&ace->SidStart, &entry.trustee)) return HRESULT_FROM_WIN32(GetLastError());
    permissions->allowed.push_back(entry);
  }
  return S_OK;
}

std::wstring FullFolderPath(const std::wstring& folder) {
  std::wstring full(GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr), L'\0');
  DWORD length = GetFullPathNameW(folder.c_str(), full.size(), &full[0], nullptr);
  if (length == 0 || length >= full.size()) return Plain(folder);
  full.resize(length);
  std::wstring longPath(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
  length = GetLongPathNameW(full.c_str(), &longPath[0], longPath.size());
  if (length == 0 || length >= longPath.size()) return Plain(full);  // not there (yet)
  longPath.resize(length);
  return Plain(longPath);
}

HRESULT BuildInstallFolderDescriptor(CLocalMemory* descriptor) {
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInstallFolderSddl, SDDL_REVISION_1,
                                                            &made, nullptr)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  descriptor->Reset(made);
  return S_OK;
}

HRESULT ProtectInstallFolder(const std::wstring& folder, const InstallFolderCalls& calls,
                             std::vector<std::wstring>* report) {
  // As the final path has it, to compare.
  const std::wstring path = FullFolderPath(folder);
  CFileHandle handle = OpenItself(path);
  if (!handle) return HRESULT_FROM_WIN32(GetLastError());
  DWORD attributes = 0;
  bool link = false;
  HRESULT hr = ReadItem(handle.Get(), calls, &attributes, &link);
  if (FAILED(hr)) return hr;
  // The logon task would run whatever the link's name leads to later.
  if (link) return RefuseLink(path + L" is a link (junction or symbolic link)", report);
  // Only a folder: a file of that name is not where the utility would lie.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  // A link above it: the folder reached is not the one the task would name.
  std::wstring reached;
  hr = ReadFinalPath(handle.Get(), calls, &reached);
  if (FAILED(hr)) return hr;
  if (CompareStringOrdinal(reached.c_str(), -1, path.c_str(), -1, TRUE) != CSTR_EQUAL) {
    return RefuseLink(path + L" lies behind a link (junction or symbolic link): it is " + reached,
                      report);
  }
  hr = CheckParents(path, calls, report);
  if (FAILED(hr)) return hr;
  CLocalMemory descriptor;
  hr = BuildInstallFolderDescriptor(&descriptor);
  if (FAILED(hr)) return hr;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  // The owner too: an owner may always change the permissions back.
  DWORD error = calls.setSecurityInfo(
      handle.Get(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  return ResetContents(path, owner, calls, report);
}
