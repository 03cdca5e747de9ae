#include "testbed/sim/FakeWmi.h"

#include <wbemidl.h>

#include <map>
#include <string>

const wchar_t CFakeGameZone::kInstancePath[] =
    L"\\\\SIM\\root\\wmi:VARNEL_GAMEZONE_DATA.InstanceName=\"ACPI\\\\PNP0C14\\\\GMZN_0\"";

namespace {

const wchar_t kClassName[] = L"VARNEL_GAMEZONE_DATA";
const wchar_t kGetMethod[] = L"GetSmartFanMode";
const wchar_t kSetMethod[] = L"SetSmartFanMode";

std::string Pointer(const void* p) { return p ? "set" : "null"; }
std::string Number(long value) { return std::to_string(value); }

struct Property {
  VARTYPE type = VT_NULL;
  LONG number = 0;
  std::wstring text;
};

// Every object of the class: instance, class definition, method signature
// or method parameters, told apart by name and contents.
class CFakeWbemObject : public CFakeComObject<IWbemClassObject> {
 public:
  CFakeWbemObject(CFakeGameZone* world, std::string name,
                  std::map<std::wstring, Property> properties = {})
      : CFakeComObject(&world->m_journal, std::move(name)),
        m_world(world),
        m_properties(std::move(properties)) {}

  const std::map<std::wstring, Property>& Properties() const { return m_properties; }

  STDMETHODIMP Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                   LONG* flavor) override {
    m_journal->calls.push_back(m_name + " Get " + Narrow(name) + " " + Number(flags));
    HRESULT hr = S_OK;
    if (m_name == "instance") hr = m_world->Enter(CFakeGameZone::Step::kGetPath);
    if (m_name == "output parameters") hr = m_world->Enter(CFakeGameZone::Step::kGetData);
    if (hr != S_OK) return hr;
    auto found = m_properties.find(name);
    if (found == m_properties.end()) return WBEM_E_NOT_FOUND;
    if (type) *type = found->second.type == VT_BSTR ? CIM_STRING : CIM_SINT32;
    if (flavor) *flavor = 0;
    VariantInit(value);
    value->vt = found->second.type;
    if (value->vt == VT_BSTR) value->bstrVal = SysAllocString(found->second.text.c_str());
    if (value->vt == VT_I4) value->lVal = found->second.number;
    return S_OK;
  }

  STDMETHODIMP Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override {
    m_journal->calls.push_back(m_name + " Put " + Narrow(name) + " " + Number(flags) + " vt " +
                               Number(value->vt) + " value " + Number(value->lVal) + " type " +
                               Number(type));
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kPut);
    if (hr != S_OK) return hr;
    auto found = m_properties.find(name);
    if (found == m_properties.end()) return WBEM_E_NOT_FOUND;
    found->second.type = value->vt;
    found->second.number = value->lVal;
    return S_OK;
  }

  STDMETHODIMP GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                         IWbemClassObject** out) override {
    m_journal->calls.push_back(m_name + " GetMethod " + Narrow(name) + " " + Number(flags) +
                               " out " + Pointer(out));
    if (in) *in = nullptr;
    if (out) *out = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kGetMethod);
    if (hr != S_OK) return hr;
    if (std::wstring(name) == kGetMethod) return S_OK;  // takes no input: no signature
    if (std::wstring(name) != kSetMethod) return WBEM_E_NOT_FOUND;
    if (in) *in = new CFakeWbemObject(m_world, "input signature", {{L"Data", Property{}}});
    return S_OK;
  }

  STDMETHODIMP SpawnInstance(LONG flags, IWbemClassObject** instance) override {
    m_journal->calls.push_back(m_name + " SpawnInstance " + Number(flags));
    *instance = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kSpawnInstance);
    if (hr != S_OK) return hr;
    *instance = new CFakeWbemObject(m_world, "input parameters", m_properties);
    return S_OK;
  }

  STDMETHODIMP GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
  STDMETHODIMP Delete(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return E_NOTIMPL; }
  STDMETHODIMP BeginEnumeration(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndEnumeration() override { return E_NOTIMPL; }
  STDMETHODIMP GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SpawnDerivedClass(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP EndMethodEnumeration() override { return E_NOTIMPL; }
  STDMETHODIMP GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }

 private:
  CFakeGameZone* const m_world;
  std::map<std::wstring, Property> m_properties;
};

class CFakeInstanceEnum : public CFakeComObject<IEnumWbemClassObject> {
 public:
  explicit CFakeInstanceEnum(CFakeGameZone* world)
      : CFakeComObject(&world->m_journal, "enumerator"), m_world(world) {}

  STDMETHODIMP Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                    ULONG* returned) override {
    m_journal->calls.push_back("Next " + Number(timeout) + " " + Number(count));
    *returned = 0;
    objects[0] = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kNext);
    if (hr != S_OK) return hr;
    if (m_delivered) return WBEM_S_FALSE;  // the class has one instance
    m_delivered = true;
    Property path{VT_BSTR, 0, CFakeGameZone::kInstancePath};
    objects[0] = new CFakeWbemObject(m_world, "instance", {{L"__PATH", path}});
    *returned = 1;
    return S_OK;
  }
  STDMETHODIMP Reset() override { return E_NOTIMPL; }
  STDMETHODIMP NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP Skip(LONG, ULONG) override { return E_NOTIMPL; }

 private:
  CFakeGameZone* const m_world;
  bool m_delivered = false;
};

class CFakeServices : public CFakeComObject<IWbemServices, IClientSecurity> {
 public:
  explicit CFakeServices(CFakeGameZone* world)
      : CFakeComObject(&world->m_journal, "services"), m_world(world) {}

  // What CoSetProxyBlanket calls.
  STDMETHODIMP SetBlanket(IUnknown* proxy, DWORD authn, DWORD authz, OLECHAR* principal,
                          DWORD level, DWORD impersonation, void* identity,
                          DWORD capabilities) override {
    bool self = proxy == static_cast<IUnknown*>(static_cast<IWbemServices*>(this));
    m_journal->calls.push_back("SetBlanket " + std::string(self ? "services" : "other") + " " +
                               Number(authn) + " " + Number(authz) + " " + Narrow(principal) +
                               " " + Number(level) + " " + Number(impersonation) + " " +
                               Pointer(identity) + " " + Number(capabilities));
    return m_world->Enter(CFakeGameZone::Step::kSetBlanket);
  }
  STDMETHODIMP QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, void**,
                            DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

  STDMETHODIMP ExecQuery(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                         IEnumWbemClassObject** enumerator) override {
    m_journal->calls.push_back("ExecQuery " + Narrow(language) + " " + Narrow(query) + " " +
                               Number(flags) + " " + Pointer(context));
    *enumerator = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kExecQuery);
    if (hr != S_OK) return hr;
    if (!language || !query || std::wstring(language) != L"WQL" ||
        _wcsicmp(query, L"Select * from VARNEL_GAMEZONE_DATA") != 0) {
      return WBEM_E_INVALID_QUERY;
    }
    *enumerator = new CFakeInstanceEnum(m_world);
    return S_OK;
  }

  STDMETHODIMP GetObject(const BSTR path, LONG flags, IWbemContext* context,
                         IWbemClassObject** object, IWbemCallResult** result) override {
    m_journal->calls.push_back("GetObject " + Narrow(path) + " " + Number(flags) + " " +
                               Pointer(context) + " " + Pointer(result));
    if (object) *object = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kGetObject);
    if (hr != S_OK) return hr;
    if (!path || std::wstring(path) != kClassName) return WBEM_E_NOT_FOUND;
    *object = new CFakeWbemObject(m_world, "class definition");
    return S_OK;
  }

  STDMETHODIMP ExecMethod(const BSTR path, const BSTR method, LONG flags, IWbemContext* context,
                          IWbemClassObject* in, IWbemClassObject** out,
                          IWbemCallResult** result) override {
    m_journal->calls.push_back("ExecMethod " + Narrow(path) + " " + Narrow(method) + " " +
                               Number(flags) + " " + Pointer(context) + " in " + Pointer(in) +
                               " out " + Pointer(out) + " " + Pointer(result));
    if (out) *out = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kExecMethod);
    if (hr != S_OK) return hr;
    if (!path || std::wstring(path) != CFakeGameZone::kInstancePath) {
      return WBEM_E_INVALID_OBJECT_PATH;
    }
    std::wstring name = method ? method : L"";
    if (name == kGetMethod) {
      Property data{VT_I4, m_world->m_mode, L""};
      if (out) *out = new CFakeWbemObject(m_world, "output parameters", {{L"Data", data}});
      return S_OK;
    }
    if (name == kSetMethod) {
      auto* parameters = dynamic_cast<CFakeWbemObject*>(in);
      if (!parameters) return WBEM_E_INVALID_PARAMETER;
      const Property& data = parameters->Properties().at(L"Data");
      m_world->m_setArguments.push_back({data.type, data.number});
      if (data.type == VT_I4) m_world->m_mode = data.number;
      if (out) *out = new CFakeWbemObject(m_world, "output parameters");
      return S_OK;
    }
    return WBEM_E_INVALID_METHOD;
  }

  STDMETHODIMP OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                             IWbemCallResult**) override { return E_NOTIMPL; }
  STDMETHODIMP CancelAsyncCall(IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryObjectSink(LONG, IWbemObjectSink**) override { return E_NOTIMPL; }
  STDMETHODIMP GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
  STDMETHODIMP PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
  STDMETHODIMP PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                     IEnumWbemClassObject**) override { return E_NOTIMPL; }
  STDMETHODIMP ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                          IWbemObjectSink*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                               IWbemObjectSink*) override { return E_NOTIMPL; }

 private:
  CFakeGameZone* const m_world;
};

class CFakeLocator : public CFakeComObject<IWbemLocator> {
 public:
  explicit CFakeLocator(CFakeGameZone* world)
      : CFakeComObject(&world->m_journal, "locator"), m_world(world) {}

  STDMETHODIMP ConnectServer(const BSTR resource, const BSTR user, const BSTR password,
                             const BSTR locale, LONG flags, const BSTR authority,
                             IWbemContext* context, IWbemServices** services) override {
    m_journal->calls.push_back("ConnectServer " + Narrow(resource) + " " + Narrow(user) + " " +
                               Narrow(password) + " " + Narrow(locale) + " " + Number(flags) +
                               " " + Narrow(authority) + " " + Pointer(context));
    *services = nullptr;
    HRESULT hr = m_world->Enter(CFakeGameZone::Step::kConnectServer);
    if (hr != S_OK) return hr;
    if (!resource || _wcsicmp(resource, L"root\\wmi") != 0) return WBEM_E_INVALID_NAMESPACE;
    *services = new CFakeServices(m_world);
    return S_OK;
  }

 private:
  CFakeGameZone* const m_world;
};

}  // namespace

ComCreateFn CFakeGameZone::Factory() {
  return [this](REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    m_journal.calls.push_back("CoCreateInstance " + GuidText(clsid) + " " + Pointer(outer) + " " +
                              Number(context) + " " + GuidText(iid));
    *object = nullptr;
    if (clsid != CLSID_WbemLocator) return REGDB_E_CLASSNOTREG;
    if (iid != IID_IWbemLocator) return E_NOINTERFACE;
    HRESULT hr = Enter(Step::kCreateLocator);
    if (hr != S_OK) return hr;
    *object = static_cast<IWbemLocator*>(new CFakeLocator(this));
    return S_OK;
  };
}
