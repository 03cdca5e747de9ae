#include "osd/OsdImage.h"

std::optional<OsdImageChoice> PickOsdImage(uint32_t kind, int32_t micMuted, int32_t fnLock,
                                           int32_t fanMode) {
  switch (kind) {
    case kOsdMicrophone:
      if (micMuted == 1) return OsdImageChoice{u"MIC", kOsdMicMuted};
      if (micMuted == 0) return OsdImageChoice{u"MIC", kOsdMicOn};
      return std::nullopt;
    case kOsdFnLock:
      return OsdImageChoice{u"FN", fnLock == 1 ? kOsdFnLockOn : kOsdFnLockOff};
    case kOsdSmartFan:
      return OsdImageChoice{u"FAN", fanMode == 2 ? kOsdFanIntelligence : kOsdFanPerformance};
    default:
      return OsdImageChoice{u"", 0};
  }
}

const char16_t* OsdAnnouncement(int32_t imageId) {
  switch (imageId) {
    case kOsdFnLockOff: return u"Fn Lock off";
    case kOsdFnLockOn: return u"Fn Lock on";
    case kOsdMicMuted: return u"Microphone muted";
    case kOsdMicOn: return u"Microphone on";
    case kOsdFanIntelligence: return u"Fan mode Intelligence";
    case kOsdFanPerformance: return u"Fan mode Performance";
    default: return nullptr;
  }
}
