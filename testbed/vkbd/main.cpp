// orvane_vkbd: plays the keyboard under Wine for tests, demos and people,
// through the virtual keyboard's drivers (installed into the prefix from
// beside this program when they are not there). Reads one command per line
// on standard input and answers each with one line (listings end with "end"):
//   plug [ORDER [MS]]        plug the keyboard in; the system tells the
//                            programs that listen, as for a real one. Its
//                            collections come up in two steps: ORDER
//                            vendor-last (the default) or vendor-first, the
//                            second step MS after the system lists the first
//   unplug                   pull it out
//   press HEX...             send one input report, e.g. "press 02 00 10 00"
//   key NAME                 press and release a special key: settings, snip,
//                            lock, mic, fnlock-off, fnlock-on, fan
//   wait MS                  pause
//   features                 the feature reports taken so far
//   refuse N                 refuse the next N feature reports
//   refused                  how many feature reports were refused so far
//   handles                  the collections the clients hold open
//   quit
// Option --decoys adds interfaces that discovery must pass over.
#include <windows.h>

#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "tools/common/HexBytes.h"
#include "testbed/vkbd/VirtualKeyboard.h"

namespace {

const std::map<std::string, std::vector<uint8_t>> kKeys = {
    {"settings", {0x02, 0x00, 0x01, 0x00}}, {"snip", {0x02, 0x00, 0x02, 0x00}},
    {"lock", {0x02, 0x00, 0x04, 0x00}},     {"mic", {0x02, 0x08, 0x00, 0x00}},
    {"fnlock-off", {0x02, 0x00, 0x10, 0x00}}, {"fnlock-on", {0x02, 0x00, 0x20, 0x00}},
    {"fan", {0x02, 0x00, 0x00, 0x01}},
};
const std::vector<uint8_t> kAllKeysUp = {0x02, 0x00, 0x00, 0x00};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Execute(CVirtualKeyboard& keyboard, const std::string& line) {
  std::istringstream fields(line);
  std::string command;
  if (!(fields >> command)) return "";
  if (command == "plug") {
    std::string order = "vendor-last";
    unsigned long pauseMs = 0;
    fields >> order;
    if ((order != "vendor-last" && order != "vendor-first") || (!(fields >> pauseMs) && !fields.eof())) {
      return "error: plug takes vendor-last or vendor-first, then milliseconds";
    }
    if (keyboard.IsPlugged()) return "error: the keyboard is plugged in already";
    auto first = order == "vendor-first" ? CVirtualKeyboard::Order::kVendorFirst
                                         : CVirtualKeyboard::Order::kVendorLast;
    return keyboard.Plug(0, first, pauseMs) ? "ok" : "error: the system did not list the keyboard";
  }
  if (command == "unplug") {
    return keyboard.Unplug() ? "ok" : "error: the system still lists the keyboard";
  }
  if (command == "press") {
    std::vector<uint8_t> report;
    std::string error;
    if (!ReadHexBytes(fields, 1000, report, error) || report.empty()) {
      return "error: " + (error.empty() ? std::string("no report bytes") : error);
    }
    int reached = keyboard.SendInputReport(report);
    if (reached < 0) return "error: the keyboard sends input report 02 of at most 8 bytes";
    return "sent " + std::to_string(reached);
  }
  if (command == "key") {
    std::string name;
    fields >> name;
    auto key = kKeys.find(name);
    if (key == kKeys.end()) return "error: unknown key '" + name + "'";
    int reached = keyboard.SendInputReport(key->second);
    keyboard.SendInputReport(kAllKeysUp);
    return "sent " + std::to_string(reached);
  }
  if (command == "wait") {
    unsigned long ms = 0;
    if (!(fields >> ms)) return "error: wait takes milliseconds";
    Sleep(ms);
    return "ok";
  }
  if (command == "features") {
    std::string out;
    for (const auto& report : keyboard.FeatureReports()) out += "feature " + FormatHexBytes(report) + "\n";
    return out + "end";
  }
  if (command == "refuse") {
    int count = 0;
    if (!(fields >> count) || count < 0) return "error: refuse takes a count";
    keyboard.RefuseFeatureReports(count);
    return "ok";
  }
  if (command == "refused") return std::to_string(keyboard.RefusedFeatureReports());
  if (command == "handles") {
    std::string out;
    for (const auto& path : keyboard.OpenHandles()) out += "handle " + Narrow(path) + "\n";
    return out + "end";
  }
  return "error: unknown command '" + command + "'";
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t collections = VHID_KEYBOARD;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--decoys") == 0) {
      collections |= VHID_DECOYS;
    } else {
      std::cerr << "usage: orvane_vkbd [--decoys] < commands\n";
      return 2;
    }
  }
  CVirtualKeyboard keyboard(collections);
  if (!keyboard.Error().empty()) {
    std::cout << "error: " << keyboard.Error() << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.rfind("quit", 0) == 0) break;
    std::string answer = Execute(keyboard, line);
    if (!answer.empty()) std::cout << answer << std::endl;
  }
  return 0;
}
