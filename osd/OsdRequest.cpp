#include "osd/OsdRequest.h"

namespace {

void PutInt(OsdRecord& record, size_t offset, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt(const uint8_t* bytes, size_t offset) {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return static_cast<int32_t>(bits);
}

void PutText(OsdRecord& record, size_t offset, const std::array<char16_t, kOsdTextUnits>& text) {
  for (size_t i = 0; i < kOsdTextUnits; ++i) {
    record[offset + 2 * i] = static_cast<uint8_t>(text[i]);
    record[offset + 2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

void GetText(const uint8_t* bytes, size_t offset, std::array<char16_t, kOsdTextUnits>* text) {
  for (size_t i = 0; i < kOsdTextUnits; ++i) {
    (*text)[i] = static_cast<char16_t>(bytes[offset + 2 * i] | bytes[offset + 2 * i + 1] << 8);
  }
}

void CopyText(const char16_t* from, std::array<char16_t, kOsdTextUnits>* to) {
  to->fill(u'\0');
  for (size_t i = 0; i + 1 < kOsdTextUnits && from[i]; ++i) (*to)[i] = from[i];
}

}  // namespace

OsdRequest MakeOsdRequest(const char16_t* text, int32_t imageId) {
  OsdRequest request;
  CopyText(text, &request.text);
  request.imageId = imageId;
  request.intervalMs = 100;
  request.close = 0;
  request.opacity = 255;
  request.fontSize = 70;
  CopyText(u"Arial", &request.fontName);
  return request;
}

OsdRecord PackOsdRequest(const OsdRequest& request) {
  OsdRecord record{};
  PutText(record, kOsdTextOffset, request.text);
  PutInt(record, kOsdImageIdOffset, request.imageId);
  PutInt(record, kOsdIntervalOffset, request.intervalMs);
  PutInt(record, kOsdCloseOffset, request.close);
  PutInt(record, kOsdOpacityOffset, request.opacity);
  PutInt(record, kOsdFontSizeOffset, request.fontSize);
  PutText(record, kOsdFontNameOffset, request.fontName);
  return record;
}

bool UnpackOsdRequest(const void* data, size_t size, OsdRequest* request) {
  if (!data || size != kOsdRequestSize) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  GetText(bytes, kOsdTextOffset, &request->text);
  request->imageId = GetInt(bytes, kOsdImageIdOffset);
  request->intervalMs = GetInt(bytes, kOsdIntervalOffset);
  request->close = GetInt(bytes, kOsdCloseOffset);
  request->opacity = GetInt(bytes, kOsdOpacityOffset);
  request->fontSize = GetInt(bytes, kOsdFontSizeOffset);
  GetText(bytes, kOsdFontNameOffset, &request->fontName);
  return true;
}
