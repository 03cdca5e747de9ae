// Report bytes written as hex by people and tools: "02 00 10 00" or "020010".
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Appends the bytes of the remaining fields of in to bytes, at most maxBytes
// in all. On a bad field, returns false and says why in error.
bool ReadHexBytes(std::istream& in, size_t maxBytes, std::vector<uint8_t>& bytes,
                  std::string& error);

std::string FormatHexBytes(const std::vector<uint8_t>& bytes);
