// Move-only owners for Win32 handles. Each traits type says what "empty" is
// and how the handle is given back, so clean-up follows scope order.
// Copying is deleted: two owners of one handle would close it twice.
#pragma once

#include <windows.h>

template <typename Traits>
class CUniqueHandle {
 public:
  using Type = typename Traits::Type;

  CUniqueHandle() = default;
  explicit CUniqueHandle(Type value) : m_value(value) {}
  ~CUniqueHandle() { Reset(); }

  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;
  CUniqueHandle(CUniqueHandle&& other) noexcept : m_value(other.Release()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const { return m_value; }
  bool IsValid() const { return m_value != Traits::Empty(); }
  explicit operator bool() const { return IsValid(); }

  // Gives up ownership without closing.
  Type Release() {
    Type value = m_value;
    m_value = Traits::Empty();
    return value;
  }

  void Reset(Type value = Traits::Empty()) {
    if (m_value != Traits::Empty()) Traits::Close(m_value);
    m_value = value;
  }

 private:
  Type m_value = Traits::Empty();
};

// Kernel objects whose failure value is NULL: events, threads, mutexes.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};

// Files and devices: CreateFileW fails with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};

struct DevNotifyTraits {
  using Type = HDEVNOTIFY;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::UnregisterDeviceNotification(h); }
};

// Memory the system allocated for the caller with LocalAlloc.
struct LocalMemoryTraits {
  using Type = void*;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::LocalFree(h); }
};

using CKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CRegKey = CUniqueHandle<RegKeyTraits>;
using CModule = CUniqueHandle<ModuleTraits>;
using CDevNotify = CUniqueHandle<DevNotifyTraits>;
using CLocalMemory = CUniqueHandle<LocalMemoryTraits>;

// Windows that an object owns outright. The system may have destroyed one
// already with its owner window, hence the check.
struct WindowTraits {
  using Type = HWND;
  static Type Empty() { return nullptr; }
  static void Close(Type h) {
    if (::IsWindow(h)) ::DestroyWindow(h);
  }
};

using CUniqueWindow = CUniqueHandle<WindowTraits>;
