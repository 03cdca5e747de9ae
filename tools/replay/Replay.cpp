#include "tools/replay/Replay.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "hid/KeyReport.h"

namespace {

ReplayLine Error(std::string message) {
  ReplayLine line;
  line.kind = ReplayLine::kError;
  line.error = std::move(message);
  return line;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool AllDigits(const std::string& token) {
  return std::all_of(token.begin(), token.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Prints one report's results the way the live reader would act on them.
class CPrintingSink : public IKeyReportSink {
 public:
  explicit CPrintingSink(std::ostream& out) : m_out(out) {}

  void OnReportLine(const std::string& line) override {
    m_out << "  log:   " << line.substr(0, line.find('\n')) << '\n';
  }
  void OnEvent(HotkeyEvent event) override {
    m_event = event;
    m_out << "  event: " << event << " (" << HotkeyEventName(event) << ")\n";
  }
  void OnPost(HotkeyEvent event) override {
    m_posted = true;
    m_out << "  post:  0x" << std::hex << kKeyEventMessage << std::dec << " wParam " << event
          << '\n';
  }
  void OnLog(const std::string& message) override {
    if (m_event && !m_posted) m_out << "  drop:  repeat within " << kRepeatWindowMs << " ms\n";
    m_out << "  log:   " << message << '\n';
  }
  void Finish() {
    if (!m_event) m_out << "  event: none\n";
  }

 private:
  std::ostream& m_out;
  uint32_t m_event = 0;
  bool m_posted = false;
};

}  // namespace

ReplayLine ParseReplayLine(const std::string& text) {
  std::istringstream fields(text);
  std::string token;
  if (!(fields >> token) || token[0] == '#') return ReplayLine{};

  if (token[0] == '-') return Error("negative time '" + token + "'");
  if (!AllDigits(token)) return Error("missing time: '" + token + "' is not milliseconds");
  ReplayLine line;
  line.kind = ReplayLine::kReport;
  for (char c : token) {
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (line.timeMs > (UINT64_MAX - digit) / 10) return Error("time '" + token + "' out of range");
    line.timeMs = line.timeMs * 10 + digit;
  }

  while (fields >> token) {
    if (token.size() % 2 != 0) return Error("odd number of hex digits in '" + token + "'");
    for (size_t i = 0; i < token.size(); i += 2) {
      int high = HexValue(token[i]);
      int low = HexValue(token[i + 1]);
      if (high < 0 || low < 0) return Error("not hex: '" + token + "'");
      if (line.bytes.size() == static_cast<size_t>(kReadBufferSize)) {
        return Error("report longer than " + std::to_string(kReadBufferSize) + " bytes");
      }
      line.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
  }
  if (line.bytes.empty()) return Error("no report bytes after the time");
  return line;
}

int RunReplay(std::istream& in, const std::string& name, std::ostream& out, std::ostream& err) {
  // Like the live reader's buffer: each report overwrites the start of it and
  // bytes beyond a short report stay from the one before.
  uint8_t readBuffer[kReadBufferSize] = {};
  CKeyRepeatFilter filter;
  uint64_t lastTime = 0;
  int bad = 0;

  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    ReplayLine line = ParseReplayLine(text);
    if (line.kind == ReplayLine::kReport && line.timeMs < lastTime) {
      line = Error("time goes backwards (" + std::to_string(line.timeMs) + " after " +
                   std::to_string(lastTime) + ")");
    }
    if (line.kind == ReplayLine::kError) {
      err << name << ':' << number << ": error: " << line.error << '\n';
      ++bad;
      continue;
    }
    if (line.kind == ReplayLine::kSkip) continue;

    lastTime = line.timeMs;
    std::copy(line.bytes.begin(), line.bytes.end(), readBuffer);
    out << "line " << number << " @ " << line.timeMs << " ms\n";
    CPrintingSink sink(out);
    // The tick counter is 32 bits wide and wraps; so does the replayed one.
    ProcessKeyReport(readBuffer, kDefaultReadLength, 0, static_cast<uint32_t>(line.timeMs),
                     filter, sink);
    sink.Finish();
  }
  return bad;
}
