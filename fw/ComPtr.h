// CComPtr: the one owner of one COM interface reference. Release runs when
// the owner goes, so several owners declared in the order the interfaces are
// obtained give them back in the reverse order. Copying is deleted: a copy
// would need an AddRef that is easy to forget.
//
// CBstr: the one owner of a BSTR.
//
// CVariant: the one owner of a VARIANT, itself a VARIANT so that its fields
// read as they are. VariantClear runs when the owner goes.
//
// ComCreateFn: the shape of CoCreateInstance, for the places where tests and
// the simulation build hand in objects of their own instead of the system's.
#pragma once

#include <objbase.h>

#include <functional>

#include "fw/UniqueHandle.h"

template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  ~CComPtr() { Reset(); }

  CComPtr(const CComPtr&) = delete;
  CComPtr& operator=(const CComPtr&) = delete;
  CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = other.m_p;
      other.m_p = nullptr;
    }
    return *this;
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // For out-parameters: gives up what is held first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  void Reset() {
    if (m_p) {
      T* p = m_p;
      m_p = nullptr;
      p->Release();
    }
  }

 private:
  T* m_p = nullptr;
};

struct BstrTraits {
  using Type = BSTR;
  static Type Empty() { return nullptr; }
  static void Close(Type s) { ::SysFreeString(s); }
};
using CBstr = CUniqueHandle<BstrTraits>;

struct CVariant : VARIANT {
  // Zeroed as well: VariantInit sets only the type, and a callee that
  // answers VT_NULL leaves the value fields as they were.
  CVariant() : VARIANT() { ::VariantInit(this); }
  ~CVariant() { ::VariantClear(this); }
  CVariant(const CVariant&) = delete;
  CVariant& operator=(const CVariant&) = delete;

  // For out-parameters: gives up what is held first.
  VARIANT* Put() {
    ::VariantClear(this);
    return this;
  }
};

using ComCreateFn = std::function<HRESULT(REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                          REFIID iid, LPVOID* object)>;
