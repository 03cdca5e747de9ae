// The simulation build: the utility's own code with every piece of the
// machine that these test machines lack played in software: the keyboard
// (the virtual keyboard's HID platform, linked in), a capture device whose
// mute state persists, and the machine's fan class. The log is on.
#include "app/HidApp.h"
#include "log/Log.h"
#include "testbed/sim/FakeCoreAudio.h"
#include "testbed/sim/FakeWmi.h"

namespace {

const int g_logSwitchedOn = (g_bLogEnabled = 1);

// Outlive the application object and every object they hand out.
CFakeCaptureDevice g_captureDevice;
CFakeGameZone g_fanClass;

SystemCalls SimulatedMachine() {
  SystemCalls calls;
  calls.actions.createAudioEnumerator = g_captureDevice.Factory();
  calls.actions.gameZone.createInstance = g_fanClass.Factory();
  return calls;
}

}  // namespace

CHidApp theApp(SimulatedMachine());
