// The machine orvane_logon_task asks whether setup may start the utility:
// the real one. The task tool's test build links a stand-in instead.
#include "tools/logontask/SetupStart.h"

const SetupStartCalls g_setupStartCalls;
