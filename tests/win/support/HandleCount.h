// Open handles of a process, counted from the system's handle table. (Wine's
// GetProcessHandleCount answers 0 for every process; the table is kept.)
#pragma once

#include <windows.h>

#include <vector>

inline int CountProcessHandles(DWORD processId) {
  struct Entry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  const ULONG kSystemHandleInformation = 16;
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
               &needed) != 0) {
    if (buffer.size() >= (64u << 20)) return -1;
    buffer.resize(buffer.size() * 2);
  }
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  int count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].processId == static_cast<USHORT>(processId)) ++count;
  }
  return count;
}
