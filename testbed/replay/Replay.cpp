#include "testbed/replay/Replay.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "hid/KeyReport.h"
#include "tools/common/HexBytes.h"
#include "tools/common/ReportPrinter.h"

namespace {

ReplayLine Error(std::string message) {
  ReplayLine line;
  line.kind = ReplayLine::kError;
  line.error = std::move(message);
  return line;
}

bool AllDigits(const std::string& token) {
  return std::all_of(token.begin(), token.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

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

  std::string error;
  if (!ReadHexBytes(fields, kReadBufferSize, line.bytes, error)) return Error(error);
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
    CReportPrinter sink(out);
    // The tick counter is 32 bits wide and wraps; so does the replayed one.
    ProcessKeyReport(readBuffer, kDefaultReadLength, 0, static_cast<uint32_t>(line.timeMs),
                     filter, sink);
    sink.Finish();
  }
  return bad;
}
