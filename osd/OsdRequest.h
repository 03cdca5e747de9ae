// The OSD request record: a fixed 1044-byte little-endian block with UTF-16LE
// strings, as the controller receives it. Portable (char16_t, not wchar_t,
// which is 4 bytes on Linux) so the layout is checked natively.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t kOsdRequestSize = 1044;
constexpr size_t kOsdTextUnits = 256;  // per string, the terminating NUL included

// Byte offsets of the fields in the record.
constexpr size_t kOsdTextOffset = 0;
constexpr size_t kOsdImageIdOffset = 512;
constexpr size_t kOsdIntervalOffset = 516;
constexpr size_t kOsdCloseOffset = 520;
constexpr size_t kOsdOpacityOffset = 524;
constexpr size_t kOsdFontSizeOffset = 528;
constexpr size_t kOsdFontNameOffset = 532;

struct OsdRequest {
  std::array<char16_t, kOsdTextUnits> text{};  // empty: hide
  int32_t imageId = 0;
  int32_t intervalMs = 0;  // timer 1's interval; 0: no timer
  int32_t close = 0;
  int32_t opacity = 0;  // 0-255; the image OSD carries it unread
  int32_t fontSize = 0;
  std::array<char16_t, kOsdTextUnits> fontName{};

  bool HasText() const { return text[0] != u'\0'; }
};

using OsdRecord = std::array<uint8_t, kOsdRequestSize>;

// A request as ShowOsd makes it: the given text (cut to 255 units) and
// image, a 100 ms timer, full opacity, 70-point "Arial".
OsdRequest MakeOsdRequest(const char16_t* text, int32_t imageId);

OsdRecord PackOsdRequest(const OsdRequest& request);

// False, leaving *request alone, unless the block is exactly one record.
bool UnpackOsdRequest(const void* data, size_t size, OsdRequest* request);
