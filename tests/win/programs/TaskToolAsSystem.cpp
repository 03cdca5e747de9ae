// orvane_logon_task for the installer tests, built with this in place of
// its real machine: it runs as SYSTEM in session 0.
#include "tests/win/support/LocalSystemInSessionZero.h"

const SetupStartCalls g_setupStartCalls = LocalSystemInSessionZero();
