// The microphone key: flip the mute state of the default capture endpoint
// (multimedia role) through Core Audio, read it back, and find out whether
// another installed component shows that state instead of our OSD.
//
// Window thread only. Each call initialises COM on the calling thread
// (single-threaded apartment) and leaves it initialised; the main window
// uninitialises it once when it is destroyed.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fw/ComPtr.h"

// Reads the state, then sets the opposite. Stops at the first step that
// fails and gives back every interface it obtained (audio client, endpoint
// volume, device, enumerator), whatever happened.
void ToggleMicMute(const ComCreateFn& create = CoCreateInstance);

// 1 muted, 0 live, -1 when any step failed. Takes the same steps as the
// toggle with fresh objects, the audio client's activation included.
int32_t ReadMicMute(const ComCreateFn& create = CoCreateInstance);

// The registry and file-system calls of the presence tests, so tests can
// watch them while they still reach the real registry and disk.
struct PresenceCalls {
  decltype(&RegOpenKeyExW) openKey = RegOpenKeyExW;
  int (*access)(const char* path, int mode);

  PresenceCalls();
};

// True when a component that reports the microphone state itself is
// installed: a GDDLK service or an on-screen-display message client key
// (under HKLM, then HKCU), or one of two executables.
bool CheckMicCompanion(const PresenceCalls& calls = PresenceCalls());
