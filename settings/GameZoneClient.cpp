#include "settings/GameZoneClient.h"

#include <wbemidl.h>

#include <cstdarg>
#include <cstdio>

#include "log/Log.h"

namespace {

const wchar_t kNamespace[] = L"root\\wmi";
const wchar_t kClass[] = L"VARNEL_GAMEZONE_DATA";
const wchar_t kQuery[] = L"Select * from VARNEL_GAMEZONE_DATA";
const wchar_t kQueryLanguage[] = L"WQL";
const wchar_t kGetMethod[] = L"GetSmartFanMode";
const wchar_t kSetMethod[] = L"SetSmartFanMode";
const wchar_t kDataProperty[] = L"Data";
const wchar_t kPathProperty[] = L"__PATH";

enum class Sink { kStdoutAndLog, kStdoutOnly };

// One trace message, written as it is (no line feed added) to standard
// output and then, as one line, to the log.
void TraceV(Sink sink, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
void TraceV(Sink sink, const char* format, va_list args) {
  char message[1024];
  if (std::vsnprintf(message, sizeof message, format, args) < 0) return;
  std::fputs(message, stdout);
  if (sink == Sink::kStdoutAndLog) LogWrite("%s", message);
}

void TraceTo(Sink sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceTo(Sink sink, const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceV(sink, format, args);
  va_end(args);
}

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceV(Sink::kStdoutAndLog, format, args);
  va_end(args);
}

unsigned Hex(HRESULT hr) { return static_cast<unsigned>(hr); }

// The state of one call, from COM security to the method's result. Its
// destructor is the clean-up on every way out.
class CGameZoneCall {
 public:
  CGameZoneCall(const GameZoneCalls& calls, const wchar_t* method)
      : m_calls(calls), m_methodName(method) {}
  ~CGameZoneCall();
  CGameZoneCall(const CGameZoneCall&) = delete;
  CGameZoneCall& operator=(const CGameZoneCall&) = delete;

  // Connection, instance, class definition and the method's input
  // signature. False at the first failing step, its lines written.
  bool Open(Sink outOfMemorySink);

  // The instance's object path into path; false (traced) when it fails.
  bool GetInstancePath(VARIANT* path);

  const GameZoneCalls& m_calls;
  const wchar_t* m_methodName;
  bool m_comInitialized = false;
  BSTR m_namespace = nullptr;
  BSTR m_class = nullptr;
  BSTR m_method = nullptr;
  BSTR m_query = nullptr;
  BSTR m_queryLanguage = nullptr;
  BSTR m_data = nullptr;
  CComPtr<IWbemLocator> m_locator;
  CComPtr<IWbemServices> m_services;
  CComPtr<IEnumWbemClassObject> m_enumerator;
  CComPtr<IWbemClassObject> m_instance;
  CComPtr<IWbemClassObject> m_classDefinition;
  CComPtr<IWbemClassObject> m_inSignature;
  CComPtr<IWbemClassObject> m_inParameters;
  CComPtr<IWbemClassObject> m_outParameters;
};

CGameZoneCall::~CGameZoneCall() {
  for (BSTR text : {m_namespace, m_class, m_method, m_query, m_queryLanguage, m_data}) {
    SysFreeString(text);
  }
  // The class definition, signature and parameters first, the connection
  // last; the enumerator, instance and output go back too.
  m_classDefinition.Reset();
  m_inSignature.Reset();
  m_inParameters.Reset();
  m_outParameters.Reset();
  m_instance.Reset();
  m_enumerator.Reset();
  m_locator.Reset();
  m_services.Reset();
  // Only a successful CoInitialize of ours is undone: an unmatched
  // CoUninitialize would take COM away from our caller.
  if (m_comInitialized) CoUninitialize();
}

bool CGameZoneCall::Open(Sink outOfMemorySink) {
  HRESULT hr = m_calls.initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  // Fails once the process's security is set (a second call): harmless.
  if (FAILED(hr)) {
    Trace("CoInitializeSecurity returned 0x%x:", Hex(hr));
    Trace("\n[-] Err: CoInitializeSecurity");
  }

  m_namespace = m_calls.allocString(kNamespace);
  m_class = m_calls.allocString(kClass);
  m_method = m_calls.allocString(m_methodName);
  m_query = m_calls.allocString(kQuery);
  m_queryLanguage = m_calls.allocString(kQueryLanguage);
  m_data = m_calls.allocString(kDataProperty);
  if (!m_namespace || !m_class || !m_method || !m_data) {
    TraceTo(outOfMemorySink, "SysAllocString failed. Out of memory. ");
    TraceTo(outOfMemorySink, " [-] Err: xxx");
    return false;
  }

  hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    Trace("CoInitialize returned 0x%x:", Hex(hr));
    Trace(" [-] Err: CoInitialize");
    return false;
  }
  m_comInitialized = true;

  hr = m_calls.createInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              m_locator.PutVoid());
  if (FAILED(hr)) {
    Trace("CoCreateInstance returned 0x%x:", Hex(hr));
    Trace(" [-] Err: CoCreateInstance");
    return false;
  }

  hr = m_locator->ConnectServer(m_namespace, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                m_services.Put());
  Trace(" ConnectServer returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: ConnectServer");
    return false;
  }

  hr = CoSetProxyBlanket(m_services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                         RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (hr != S_OK) {
    Trace(" [-] Err: CoSetProxyBlanket");
    return false;
  }

  hr = m_services->ExecQuery(m_queryLanguage, m_query,
                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             m_enumerator.Put());
  if (hr != S_OK) {
    Trace(" [-] Err: ExecQuery");
    return false;
  }

  // WBEM_S_FALSE (1) when the class has no instance: a failure too.
  ULONG returned = 0;
  hr = m_enumerator->Next(WBEM_INFINITE, 1, m_instance.Put(), &returned);
  if (hr != S_OK) {
    Trace(" [-] Err: Next");
    return false;
  }

  hr = m_services->GetObject(m_class, 0, nullptr, m_classDefinition.Put(), nullptr);
  Trace(" GetObject returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: GetObject");
    return false;
  }

  hr = m_classDefinition->GetMethod(m_method, 0, m_inSignature.Put(), nullptr);
  Trace(" GetMethod returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: GetMethod");
    return false;
  }
  return true;
}

bool CGameZoneCall::GetInstancePath(VARIANT* path) {
  VariantInit(path);
  HRESULT hr = m_instance->Get(kPathProperty, 0, path, nullptr, nullptr);
  Trace(" pObj Get returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: Get");
    VariantClear(path);
    return false;
  }
  return true;
}

}  // namespace

GameZoneCalls::GameZoneCalls()
    : createInstance(CoCreateInstance),
      initializeSecurity(CoInitializeSecurity),
      allocString(SysAllocString) {}

int32_t CGameZoneClient::GetSmartFanMode() const {
  CGameZoneCall call(m_calls, kGetMethod);
  if (!call.Open(Sink::kStdoutOnly)) return -1;

  VARIANT path;
  if (!call.GetInstancePath(&path)) return -1;
  HRESULT hr = call.m_services->ExecMethod(path.bstrVal, call.m_method, 0, nullptr, nullptr,
                                           call.m_outParameters.Put(), nullptr);
  VariantClear(&path);
  Trace(" ExecMethod returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: ExecMethod");
    return -1;
  }

  // The value field as it is, whatever the type (a 32-bit property arrives as
  // VT_I4); zeroed first so an empty answer reads 0 rather than garbage.
  VARIANT data = {};
  if (!call.m_outParameters ||
      FAILED(call.m_outParameters->Get(call.m_data, 0, &data, nullptr, nullptr))) {
    return -1;
  }
  int32_t mode = data.lVal;
  VariantClear(&data);
  return mode;
}

void CGameZoneClient::SetSmartFanMode(int32_t mode) const {
  CGameZoneCall call(m_calls, kSetMethod);
  if (!call.Open(Sink::kStdoutAndLog)) return;

  // A method without input has no signature to spawn from.
  HRESULT hr = call.m_inSignature ? call.m_inSignature->SpawnInstance(0, call.m_inParameters.Put())
                                  : E_POINTER;
  Trace(" SpawnInstance returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: SpawnInstance");
    return;
  }

  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_I4;
  argument.lVal = mode;
  hr = call.m_inParameters->Put(call.m_data, 0, &argument, 0);
  VariantClear(&argument);
  Trace(" Put ArgName0 returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: Put ArgName0");
    return;
  }

  VARIANT path;
  if (!call.GetInstancePath(&path)) return;
  hr = call.m_services->ExecMethod(path.bstrVal, call.m_method, 0, nullptr,
                                   call.m_inParameters.Get(), call.m_outParameters.Put(), nullptr);
  VariantClear(&path);
  Trace(" ExecMethod returned 0x%x:", Hex(hr));
  if (hr != S_OK) {
    Trace(" [-] Err: ExecMethod");
  } else {
    Trace("Terminating normally ");
  }
}
