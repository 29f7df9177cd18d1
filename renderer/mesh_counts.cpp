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

}  // namespace

std::string CheckMeshCounts(std::string_view text, const std::string& fileName) {
  if (text.substr(0, kMagic.size()) != kMagic ||
      text.substr(kFormatAt, kTextFormat.size()) != kTextFormat) {
    return {};
  }
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
