// Replays recorded key reports through the reader's own decoding, repeat
// filter and report-line code, and prints what the utility would log and
// post. A recording holds one report per line: "<milliseconds> <hex bytes>",
// for example "120 02 00 10 00 00 00 00 00"; blank lines and lines starting
// with '#' are skipped.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

struct ReplayLine {
  enum Kind { kSkip, kReport, kError };
  Kind kind = kSkip;
  uint64_t timeMs = 0;
  std::vector<uint8_t> bytes;
  std::string error;  // set for kError
};

// Parses one line on its own; the order of times is checked by RunReplay.
ReplayLine ParseReplayLine(const std::string& text);

// Replays every good line; bad lines are reported on err as
// "name:line: error: ..." and skipped. Returns the number of bad lines.
int RunReplay(std::istream& in, const std::string& name, std::ostream& out, std::ostream& err);
