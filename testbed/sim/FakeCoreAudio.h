// A virtual capture device behind fake Core Audio objects: the device
// enumerator, the device, its endpoint volume and audio client. The mute
// state belongs to the device, so it persists across endpoint objects as on
// a real machine. Any step can be made to fail; every call and every final
// Release is written to the journal.
//
// The world must outlive the objects it hands out. One thread at a time.
#pragma once

#include <objbase.h>

#include "fw/ComPtr.h"
#include "testbed/sim/FakeCom.h"

class CFakeCaptureDevice {
 public:
  enum class Step {
    kCreateEnumerator,
    kGetDefaultEndpoint,
    kActivateVolume,
    kActivateClient,
    kGetMute,
    kSetMute,
  };

  // What GetDefaultAudioEndpoint answers on a machine without a capture
  // device (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
  static const HRESULT kNoDevice = static_cast<HRESULT>(0x80070490);

  // CoCreateInstance's shape: makes the enumerator of this world.
  ComCreateFn Factory();

  // step fails with hr from its fromCall-th call on.
  void Fail(Step step, HRESULT hr = E_FAIL, int fromCall = 1) {
    m_failures.Fail(step, hr, fromCall);
  }
  int Calls(Step step) const { return m_failures.Calls(step); }

  // The device's mute state; another program may change it at any time.
  BOOL m_muted = FALSE;
  CFakeJournal m_journal;

  // Internal to the fakes.
  HRESULT Enter(Step step) { return m_failures.Enter(step); }

 private:
  CStepFailures<Step> m_failures;
};
