// The package's custom actions, each failing as a broken one would, for the
// installer tests: Wine counts an action whose function is missing as done.
#include <windows.h>

#include <msi.h>

#define FAILING_ACTION(name) \
  extern "C" __declspec(dllexport) UINT __stdcall name(MSIHANDLE) { return ERROR_INSTALL_FAILURE; }

FAILING_ACTION(EndHere)
FAILING_ACTION(End)
FAILING_ACTION(Start)
FAILING_ACTION(Protect)
FAILING_ACTION(Register)
FAILING_ACTION(Remove)
