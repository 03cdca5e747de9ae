// Any block as an OSD request: only a block of exactly one record unpacks,
// nothing is read beyond it, and packing what was unpacked gives the block
// back but for what follows each string's terminator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "osd/OsdRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);  // exactly size bytes for the sanitizer
  block.shrink_to_fit();
  OsdRequest request;
  bool unpacked = UnpackOsdRequest(block.data(), block.size(), &request);
  if (unpacked != (size == kOsdRequestSize)) std::abort();
  if (!unpacked) return 0;
  OsdRecord packed = PackOsdRequest(request);
  if (std::memcmp(packed.data() + kOsdImageIdOffset, block.data() + kOsdImageIdOffset,
                  kOsdFontNameOffset - kOsdImageIdOffset) != 0) {
    std::abort();
  }
  return 0;
}
