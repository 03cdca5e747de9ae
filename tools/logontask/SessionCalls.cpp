// The machine orvane_logon_task ends and starts the utility on: the real
// one. The task tool's test build links a stand-in instead.
#include "tools/logontask/Sessions.h"

const SessionCalls g_sessionCalls;
