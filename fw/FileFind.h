// CFileFind: does a file or folder matching a name (wildcards allowed) exist?
#pragma once

#include <windows.h>

class CFileFind {
 public:
  // TRUE when something matches; an empty name matches nothing.
  BOOL FindFile(LPCWSTR name);
};
