// A fake WMI world holding the machine's gaming-zone class
// VARNEL_GAMEZONE_DATA in root\wmi: the locator, the services (with the
// client-security blanket), the query's enumerator, the one instance, the
// class definition and the method parameter objects. The firmware's fan mode
// is state: GetSmartFanMode answers it in "Data", SetSmartFanMode with a
// VT_I4 "Data" changes it. Any step can be made to fail; every call, with
// its arguments, and every final Release is written to the journal.
//
// The world must outlive the objects it hands out. One thread at a time.
#pragma once

#include <objbase.h>

#include <cstdint>
#include <vector>

#include "fw/ComPtr.h"
#include "testbed/sim/FakeCom.h"

class CFakeGameZone {
 public:
  enum class Step {
    kCreateLocator,
    kConnectServer,
    kSetBlanket,
    kExecQuery,
    kNext,  // fail with WBEM_S_FALSE for a class without an instance
    kGetObject,
    kGetMethod,
    kSpawnInstance,
    kPut,
    kGetPath,  // the instance's __PATH
    kExecMethod,
    kGetData,  // "Data" of the output parameters
  };

  static const wchar_t kInstancePath[];

  // CoCreateInstance's shape: makes the locator of this world.
  ComCreateFn Factory();

  void Fail(Step step, HRESULT hr = static_cast<HRESULT>(0x80041001) /* WBEM_E_FAILED */,
            int fromCall = 1) {
    m_failures.Fail(step, hr, fromCall);
  }
  int Calls(Step step) const { return m_failures.Calls(step); }

  // The mode the firmware holds.
  int32_t m_mode = 2;

  // Each "Data" that SetSmartFanMode received.
  struct Argument {
    VARTYPE type;
    int32_t value;
  };
  std::vector<Argument> m_setArguments;

  CFakeJournal m_journal;

  // Internal to the fakes.
  HRESULT Enter(Step step) { return m_failures.Enter(step); }

 private:
  CStepFailures<Step> m_failures;
};
