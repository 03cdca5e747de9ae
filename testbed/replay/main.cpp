// orvane_replay FILE: replays a recording of key reports (see Replay.h) and
// prints what the utility would log and post. Exit code 0 when every line was
// good, 1 when any line was bad, 2 when the file could not be read.
#include <fstream>
#include <iostream>

#include "testbed/replay/Replay.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: orvane_replay RECORDING\n"
                 "  RECORDING holds one report per line: <milliseconds> <hex bytes>\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "orvane_replay: cannot open '" << argv[1] << "'\n";
    return 2;
  }
  return RunReplay(in, argv[1], std::cout, std::cerr) == 0 ? 0 : 1;
}
