#include "renderer/mesh_counts.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace velmora::renderer {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The text format's header: "xof 0303txt 0032".
constexpr std::string_view kMagic = "xof ";
constexpr std::size_t kFormatAt = 8;
constexpr std::string_view kTextFormat = "txt ";
constexpr std::size_t kHeaderSize = 16;  // ends with the float size, no count
// More digits than any believable count: the value is not read further.
constexpr std::size_t kMaxCountDigits = 18;

// Tokens of the binary format and what follows them.
constexpr std::string_view kBinaryFormat = "bin ";
constexpr std::string_view kDoubleFloats = "0064";
constexpr std::size_t kFloatSizeAt = 12;
constexpr uint16_t kTokenName = 1;        // dword length, then the bytes
constexpr uint16_t kTokenString = 2;      // dword length, the bytes, a word terminator
constexpr uint16_t kTokenInteger = 3;     // one dword
constexpr uint16_t kTokenGuid = 5;        // 16 bytes
constexpr uint16_t kTokenIntegerList = 6; // dword count, then the dwords
constexpr uint16_t kTokenFloatList = 7;   // dword count, then the floats
constexpr uint16_t kFirstPlainToken = 0x0A;  // punctuation and keywords: nothing follows
constexpr uint16_t kLastPlainToken = 0x3F;
constexpr std::size_t kGuidBytes = 16;

uint32_t Dword(std::string_view text, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(text[at + i])) << (8 * i);
  }
  return value;
}

std::string Refusal(const std::string& fileName, uint64_t count, std::size_t size, std::size_t at) {
  return fileName + ": byte " + std::to_string(at) + ": the count " + std::to_string(count) +
         " is more than the " + std::to_string(size) + " bytes of the file can hold";
}

// The binary format: every whole number (a single one or a list element) may
// be a count, and every list must fit the bytes after it. The scan stops
// quietly at anything it does not know: the importer reports that.
std::string CheckBinaryCounts(std::string_view text, const std::string& fileName) {
  const std::size_t n = text.size();
  const std::size_t floatBytes = text.substr(kFloatSizeAt, 4) == kDoubleFloats ? 8 : 4;
  const uint64_t limit = n / kMinBytesPerElement;
  std::size_t at = kHeaderSize;
  while (at + 2 <= n) {
    const auto token = static_cast<uint16_t>(static_cast<unsigned char>(text[at]) |
                                             static_cast<unsigned char>(text[at + 1]) << 8);
    at += 2;
    if (token >= kFirstPlainToken && token <= kLastPlainToken) continue;
    if (token == kTokenGuid) {
      at += kGuidBytes;
      continue;
    }
    if (at + 4 > n) return {};
    const uint32_t value = Dword(text, at);
    at += 4;
    if (token == kTokenName || token == kTokenString) {
      if (value > n - at) return {};
      at += value + (token == kTokenString ? 2 : 0);
    } else if (token == kTokenInteger) {
      if (value > limit) return Refusal(fileName, value, n, at - 4);
    } else if (token == kTokenIntegerList || token == kTokenFloatList) {
      const uint64_t bytes = static_cast<uint64_t>(value) * (token == kTokenFloatList ? floatBytes : 4);
      if (bytes > n - at) return Refusal(fileName, value, n, at - 4);
      if (token == kTokenIntegerList) {
        for (uint32_t i = 0; i < value; ++i, at += 4) {
          const uint32_t element = Dword(text, at);
          if (element > limit) return Refusal(fileName, element, n, at);
        }
      } else {
        at += static_cast<std::size_t>(bytes);
      }
    } else {
      return {};
    }
  }
  return {};
}

}  // namespace

std::string CheckMeshCounts(std::string_view text, const std::string& fileName) {
  if (text.size() < kHeaderSize || text.substr(0, kMagic.size()) != kMagic) return {};
  if (text.substr(kFormatAt, kBinaryFormat.size()) == kBinaryFormat) {
    return CheckBinaryCounts(text, fileName);
  }
  if (text.substr(kFormatAt, kTextFormat.size()) != kTextFormat) return {};
  std::size_t line = 1;
  std::size_t i = kHeaderSize;
  const std::size_t n = text.size();
  auto skipTo = [&](char end) {
    while (i < n && text[i] != end) {
      if (text[i] == '\n') ++line;
      ++i;
    }
  };
  while (i < n) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (c == '#' || (c == '/' && i + 1 < n && text[i + 1] == '/')) {
      skipTo('\n');  // a comment
    } else if (c == '"') {
      ++i;
      skipTo('"');  // a file name or other string
      ++i;
    } else if (c == '<') {
      skipTo('>');  // a template's GUID
      ++i;
    } else if (IsWordChar(c) && !IsDigit(c)) {
      while (i < n && IsWordChar(text[i])) ++i;  // a name, digits and all
    } else if (IsDigit(c)) {
      const std::size_t start = i;
      uint64_t value = 0;
      while (i < n && IsDigit(text[i])) {
        if (i - start < kMaxCountDigits) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        ++i;
      }
      const bool fraction = i < n && (text[i] == '.' || text[i] == 'e' || text[i] == 'E');
      const bool inWord = i < n && IsWordChar(text[i]);
      if (fraction || inWord) {
        while (i < n && (IsWordChar(text[i]) || text[i] == '.' || text[i] == '-' ||
                         text[i] == '+')) {
          ++i;
        }
        continue;
      }
      // Measured against the whole file, not the bytes after the number: an
      // index near the end of the file is no count, but still less than one.
      if (value > n / kMinBytesPerElement) {
        return fileName + ": line " + std::to_string(line) + ": the count " +
               std::string(text.substr(start, i - start)) + " is more than the " +
               std::to_string(n) + " bytes of the file can hold";
      }
    } else {
      ++i;
    }
  }
  return {};
}

std::string CheckMeshFileCounts(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) return {};
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return CheckMeshCounts(text, fileName);
}

}  // namespace velmora::renderer
