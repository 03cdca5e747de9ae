#include "fw/FileFind.h"

#include "fw/UniqueHandle.h"

BOOL CFileFind::FindFile(LPCWSTR name) {
  WIN32_FIND_DATAW found;
  return CFindHandle(FindFirstFileW(name, &found)).IsValid();
}
