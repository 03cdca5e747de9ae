#include "actions/GameZoneClient.h"

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
void TraceTo(Sink sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceTo(Sink sink, const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (length < 0) return;
  std::fputs(message, stdout);
  if (sink == Sink::kStdoutAndLog) LogWrite("%s", message);
}

// One step's trace, both ways: "<returned> 0x<hr>:" when the step has that
// line, then its error line unless hr is S_OK. True when it is.
bool Step(HRESULT hr, const char* returned, const char* error) {
  if (returned) TraceTo(Sink::kStdoutAndLog, "%s 0x%x:", returned, static_cast<unsigned>(hr));
  if (hr != S_OK) TraceTo(Sink::kStdoutAndLog, "%s", error);
  return hr == S_OK;
}

// Only a successful CoInitialize of ours is undone: an unmatched
// CoUninitialize would take COM away from our caller.
struct ComInitTraits {
  using Type = bool;
  static Type Empty() { return false; }
  static void Close(Type) { CoUninitialize(); }
};

// The state of one call, from COM security to the method's result. Members
// go back in the reverse of their order here: the strings, then the class
// definition, signature and parameters, the instance and enumerator, the
// connection last and COM after it.
class CGameZoneCall {
 public:
  CGameZoneCall(const GameZoneCalls& calls, const wchar_t* method)
      : m_calls(calls), m_methodName(method) {}

  // Connection, instance, class definition and the method's input
  // signature. False at the first failing step, its lines written.
  bool Open(Sink outOfMemorySink);

  // Runs the method on the instance with in as its input (null for none),
  // its output into m_outParameters. False at the first failing step, its
  // lines written.
  bool Execute(IWbemClassObject* in);

  const GameZoneCalls& m_calls;
  const wchar_t* m_methodName;
  CUniqueHandle<ComInitTraits> m_comInitialized;
  CComPtr<IWbemServices> m_services;
  CComPtr<IWbemLocator> m_locator;
  CComPtr<IEnumWbemClassObject> m_enumerator;
  CComPtr<IWbemClassObject> m_instance;
  CComPtr<IWbemClassObject> m_outParameters;
  CComPtr<IWbemClassObject> m_inParameters;
  CComPtr<IWbemClassObject> m_inSignature;
  CComPtr<IWbemClassObject> m_classDefinition;
  CBstr m_data;
  CBstr m_queryLanguage;
  CBstr m_query;
  CBstr m_method;
  CBstr m_class;
  CBstr m_namespace;
};

bool CGameZoneCall::Open(Sink outOfMemorySink) {
  HRESULT hr = m_calls.initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  // Fails once the process's security is set (a second call): harmless.
  if (FAILED(hr)) Step(hr, "CoInitializeSecurity returned", "\n[-] Err: CoInitializeSecurity");

  m_namespace.Reset(m_calls.allocString(kNamespace));
  m_class.Reset(m_calls.allocString(kClass));
  m_method.Reset(m_calls.allocString(m_methodName));
  m_query.Reset(m_calls.allocString(kQuery));
  m_queryLanguage.Reset(m_calls.allocString(kQueryLanguage));
  m_data.Reset(m_calls.allocString(kDataProperty));
  if (!m_namespace || !m_class || !m_method || !m_data) {
    TraceTo(outOfMemorySink, "SysAllocString failed. Out of memory. ");
    TraceTo(outOfMemorySink, " [-] Err: xxx");
    return false;
  }

  hr = CoInitialize(nullptr);
  if (FAILED(hr)) return Step(hr, "CoInitialize returned", " [-] Err: CoInitialize");
  m_comInitialized.Reset(true);

  hr = m_calls.createInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              m_locator.PutVoid());
  if (FAILED(hr)) return Step(hr, "CoCreateInstance returned", " [-] Err: CoCreateInstance");

  hr = m_locator->ConnectServer(m_namespace.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                m_services.Put());
  if (!Step(hr, " ConnectServer returned", " [-] Err: ConnectServer")) return false;

  hr = CoSetProxyBlanket(m_services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                         RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (!Step(hr, nullptr, " [-] Err: CoSetProxyBlanket")) return false;

  hr = m_services->ExecQuery(m_queryLanguage.Get(), m_query.Get(),
                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                             m_enumerator.Put());
  if (!Step(hr, nullptr, " [-] Err: ExecQuery")) return false;

  // WBEM_S_FALSE (1) when the class has no instance: a failure too.
  ULONG returned = 0;
  hr = m_enumerator->Next(WBEM_INFINITE, 1, m_instance.Put(), &returned);
  if (!Step(hr, nullptr, " [-] Err: Next")) return false;

  hr = m_services->GetObject(m_class.Get(), 0, nullptr, m_classDefinition.Put(), nullptr);
  if (!Step(hr, " GetObject returned", " [-] Err: GetObject")) return false;

  hr = m_classDefinition->GetMethod(m_method.Get(), 0, m_inSignature.Put(), nullptr);
  return Step(hr, " GetMethod returned", " [-] Err: GetMethod");
}

bool CGameZoneCall::Execute(IWbemClassObject* in) {
  CVariant path;
  HRESULT hr = m_instance->Get(kPathProperty, 0, path.Put(), nullptr, nullptr);
  if (!Step(hr, " pObj Get returned", " [-] Err: Get")) return false;

  hr = m_services->ExecMethod(path.bstrVal, m_method.Get(), 0, nullptr, in, m_outParameters.Put(),
                              nullptr);
  return Step(hr, " ExecMethod returned", " [-] Err: ExecMethod");
}

}  // namespace

GameZoneCalls::GameZoneCalls()
    : createInstance(CoCreateInstance),
      initializeSecurity(CoInitializeSecurity),
      allocString(SysAllocString) {}

int32_t CGameZoneClient::GetSmartFanMode() const {
  CGameZoneCall call(m_calls, kGetMethod);
  if (!call.Open(Sink::kStdoutOnly) || !call.Execute(nullptr)) return -1;

  // The value field as it is, whatever the type (a 32-bit property arrives as
  // VT_I4); the owner is zeroed, so an empty answer reads 0 rather than garbage.
  CVariant data;
  if (!call.m_outParameters ||
      FAILED(call.m_outParameters->Get(call.m_data.Get(), 0, data.Put(), nullptr, nullptr))) {
    return -1;
  }
  return data.lVal;
}

void CGameZoneClient::SetSmartFanMode(int32_t mode) const {
  CGameZoneCall call(m_calls, kSetMethod);
  if (!call.Open(Sink::kStdoutAndLog)) return;

  // A method without input has no signature to spawn from.
  HRESULT hr = call.m_inSignature ? call.m_inSignature->SpawnInstance(0, call.m_inParameters.Put())
                                  : E_POINTER;
  if (!Step(hr, " SpawnInstance returned", " [-] Err: SpawnInstance")) return;

  CVariant argument;
  argument.vt = VT_I4;
  argument.lVal = mode;
  hr = call.m_inParameters->Put(call.m_data.Get(), 0, &argument, 0);
  if (!Step(hr, " Put ArgName0 returned", " [-] Err: Put ArgName0")) return;

  if (call.Execute(call.m_inParameters.Get())) {
    TraceTo(Sink::kStdoutAndLog, "Terminating normally ");
  }
}
