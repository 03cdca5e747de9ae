// Any bytes as a recording: the replay reads them without a crash, and each
// line is either replayed or reported, never both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "testbed/replay/Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  int bad = RunReplay(in, "fuzz", out, err);
  size_t errors = 0;
  for (size_t at = err.str().find(": error: "); at != std::string::npos;
       at = err.str().find(": error: ", at + 1)) {
    ++errors;
  }
  if (static_cast<size_t>(bad) != errors) std::abort();
  return 0;
}
