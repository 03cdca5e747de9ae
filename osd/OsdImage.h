// Which OSD image a state change asks for. Portable so the table is checked
// natively.
#pragma once

#include <cstdint>
#include <optional>

// The argument of ShowOsd.
enum OsdKind : uint32_t {
  kOsdHide = 0,
  kOsdMicrophone = 1,
  kOsdFnLock = 2,
  kOsdSmartFan = 3,
};

// The images of the OSD bar: bitmap resources 200-203, skin files 204-205.
enum OsdImageId : int32_t {
  kOsdFnLockOff = 200,
  kOsdFnLockOn = 201,
  kOsdMicMuted = 202,
  kOsdMicOn = 203,
  kOsdFanIntelligence = 204,
  kOsdFanPerformance = 205,
};

struct OsdImageChoice {
  const char16_t* text;  // empty: hide the OSD
  int32_t imageId;       // 0 with an empty text
};

// What an image says, in words for screen readers; null for an id we do not
// show.
const char16_t* OsdAnnouncement(int32_t imageId);

// Nothing when the microphone state is unreadable (neither 0 nor 1): then no
// request is made at all. Kinds other than 1-3 hide the OSD.
std::optional<OsdImageChoice> PickOsdImage(uint32_t kind, int32_t micMuted, int32_t fnLock,
                                           int32_t fanMode);
