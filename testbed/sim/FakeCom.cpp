#include "testbed/sim/FakeCom.h"

std::string GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

std::string Narrow(const wchar_t* text) {
  if (!text) return "null";
  std::string narrow;
  for (; *text; ++text) narrow.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return narrow;
}
