// A stream of reports at fuzzed times through the reader's processing,
// checked against a plain model of the repeat filter: an event is posted
// exactly when the model says so, and only for a report that names a key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "hid/KeyReport.h"

namespace {

class CCheckingSink : public IKeyReportSink {
 public:
  void OnReportLine(const char* line) override {
    size_t length = std::strlen(line);
    if (length == 0 || line[length - 1] != '\n') std::abort();
  }
  void OnEvent(HotkeyEvent) override {}
  void OnPost(HotkeyEvent event) override { posted = event; }
  void OnLog(const char*) override {}
  std::optional<uint32_t> posted;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t buffer[kReadBufferSize] = {};
  CKeyRepeatFilter filter;
  uint32_t now = 0;
  uint32_t modelLast = 0, modelTick = 0;
  // Each step: two bytes of time step, then four report bytes.
  for (size_t at = 0; at + 6 <= size; at += 6) {
    now += static_cast<uint32_t>(data[at] | (data[at + 1] << 8)) * 3;  // wraps too
    std::memcpy(buffer, data + at + 2, 4);
    CCheckingSink sink;
    ProcessKeyReport(buffer, kDefaultReadLength, 0x1A4, now, filter, sink);

    std::optional<HotkeyEvent> event = DecodeKeyReport(buffer);
    bool expectPost = event && !(*event == modelLast && now - modelTick < kRepeatWindowMs);
    if (expectPost) {
      modelLast = *event;
      modelTick = now;
    }
    if (expectPost != sink.posted.has_value()) std::abort();
    if (sink.posted && *sink.posted != *event) std::abort();
  }
  return 0;
}
