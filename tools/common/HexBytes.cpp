#include "tools/common/HexBytes.h"

#include <cctype>
#include <cstdio>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ReadHexBytes(std::istream& in, size_t maxBytes, std::vector<uint8_t>& bytes,
                  std::string& error) {
  std::string token;
  while (in >> token) {
    if (token.size() % 2 != 0) {
      error = "odd number of hex digits in '" + token + "'";
      return false;
    }
    for (size_t i = 0; i < token.size(); i += 2) {
      int high = HexValue(token[i]);
      int low = HexValue(token[i + 1]);
      if (high < 0 || low < 0) {
        error = "not hex: '" + token + "'";
        return false;
      }
      if (bytes.size() == maxBytes) {
        error = "report longer than " + std::to_string(maxBytes) + " bytes";
        return false;
      }
      bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
  }
  return true;
}

std::string FormatHexBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (uint8_t value : bytes) {
    std::snprintf(byte, sizeof byte, text.empty() ? "%02x" : " %02x", value);
    text += byte;
  }
  return text;
}
