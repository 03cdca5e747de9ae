// A library of no use but its name and place: beside the tests, where a
// bare-name load must not find it once the search is restricted.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
