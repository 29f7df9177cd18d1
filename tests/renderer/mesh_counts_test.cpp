#include "renderer/mesh_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

namespace velmora::renderer {
namespace {

const std::string kHeader = "xof 0303txt 0032\n";

// A text mesh of `size` bytes in all whose vertex count reads `count`.
std::string MeshOfSize(const std::string& count, std::size_t size) {
  std::string text = kHeader + "Mesh {\n " + count + ";\n 0;0;0;,\n";
  text.resize(std::max(size, text.size()), ' ');
  return text;
}

TEST(MeshCounts, ACountMustFitTwoBytesPerElementOfTheFile) {
  constexpr std::size_t kSize = 1000;  // bytes of each test file
  const std::size_t limit = kSize / kMinBytesPerElement;
  struct Case {
    std::size_t count;
    bool refused;
  } cases[] = {{limit - 1, false}, {limit, false}, {limit + 1, true}, {2000000000, true}};
  for (const Case& c : cases) {
    const std::string problem = CheckMeshCounts(MeshOfSize(std::to_string(c.count), kSize), "m.x");
    EXPECT_EQ(!problem.empty(), c.refused) << c.count << ": " << problem;
  }
  EXPECT_EQ(CheckMeshCounts(MeshOfSize("2000000000", kSize), "m.x"),
            "m.x: line 3: the count 2000000000 is more than the 1000 bytes of the file can hold");
  // Digits past any believable count are still refused, not wrapped round.
  EXPECT_FALSE(CheckMeshCounts(MeshOfSize(std::string(40, '9'), kSize), "m.x").empty());
  EXPECT_FALSE(CheckMeshCounts(MeshOfSize("18446744073709551617", kSize), "m.x").empty());
}

TEST(MeshCounts, OnlyWholeNumbersOutsideNamesStringsAndCommentsCount) {
  struct Case {
    const char* body;
    bool refused;
  } cases[] = {
      {"Mesh { 99999.5; }", false},                         // a fraction
      {"Mesh { 1e99999; }", false},                         // an exponent
      {"Mesh Part99999999 { }", false},                     // a name
      {"TextureFilename { \"99999999.png\"; }", false},     // a string
      {"template X { <99999999-0000-11cf-8f52-004033359400> }", false},  // a GUID
      {"// 99999999\n", false},                             // comments
      {"# 99999999\n", false},
      {"Mesh { -99999999; }", true},                        // a sign does not hide it
      {"Mesh { 3;0,1,99999999;; }", true},
  };
  for (const Case& c : cases) {
    const std::string text = kHeader + c.body;
    EXPECT_EQ(!CheckMeshCounts(text, "m.x").empty(), c.refused) << c.body;
  }
  // Compressed files are the importer's own business.
  EXPECT_TRUE(CheckMeshCounts("xof 0303bzip0032 99999999", "m.x").empty());
}

// Little-endian pieces of the binary format.
std::string Word(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Dword(uint32_t v) { return Word(static_cast<uint16_t>(v & 0xFFFF)) + Word(static_cast<uint16_t>(v >> 16)); }

// A binary file of exactly `size` bytes: the header, the tokens, then
// punctuation tokens (nothing follows them) as filling.
std::string BinaryOfSize(const std::string& tokens, std::size_t size) {
  std::string text = "xof 0303bin 0032" + tokens;
  while (text.size() + 2 <= size) text += Word(0x0A);
  return text;
}

TEST(MeshCounts, BinaryFilesAreCheckedNumberByNumber) {
  constexpr std::size_t kSize = 1000;  // bytes of each test file
  constexpr uint32_t kLimit = kSize / kMinBytesPerElement;
  const uint16_t kInteger = 3, kIntegerList = 6, kFloatList = 7, kName = 1;
  struct Case {
    const char* what;
    std::string tokens;
    bool refused;
  } cases[] = {
      {"a count at the limit", Word(kIntegerList) + Dword(1) + Dword(kLimit), false},
      {"a count one above", Word(kIntegerList) + Dword(1) + Dword(kLimit + 1), true},
      {"a single number one above", Word(kInteger) + Dword(kLimit + 1), true},
      {"a single number at the limit", Word(kInteger) + Dword(kLimit), false},
      {"a list longer than the file", Word(kIntegerList) + Dword(kSize), true},
      {"floats that fit", Word(kFloatList) + Dword(2) + Dword(0) + Dword(0), false},
      {"floats that do not", Word(kFloatList) + Dword(kSize / 4), true},
      {"a name, then a huge count", Word(kName) + Dword(3) + "Box" + Word(kInteger) + Dword(2000000000), true},
      {"a name longer than the file", Word(kName) + Dword(kSize), false},  // the importer's error
  };
  for (const Case& c : cases) {
    const std::string problem = CheckMeshCounts(BinaryOfSize(c.tokens, kSize), "b.x");
    EXPECT_EQ(!problem.empty(), c.refused) << c.what << ": " << problem;
  }
  EXPECT_EQ(CheckMeshCounts(BinaryOfSize(Word(kInteger) + Dword(2000000000), kSize), "b.x"),
            "b.x: byte 18: the count 2000000000 is more than the 1000 bytes of the file can hold");
}

TEST(MeshCounts, EveryMeshOfTheInstallationPasses) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_DATA_DIR)) {
    if (entry.path().extension() != ".x") continue;
    ++files;
    EXPECT_EQ(CheckMeshFileCounts(entry.path().string()), "");
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmora::renderer
