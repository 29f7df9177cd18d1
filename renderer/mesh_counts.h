// A guard in front of the mesh importer: it sizes its lists from the counts
// written in a .x file before it reads their elements, so one edited number
// could make it allocate gigabytes. A count is only believable when the bytes
// of the file can hold that many elements.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::renderer {

// Every element of a list in a text .x file takes at least one digit and one
// separator.
inline constexpr std::size_t kMinBytesPerElement = 2;

// Checks the whole numbers of a text or binary .x file (`text` is the file's
// content): empty when each could be a count of elements the file holds, else
// why not, naming the file, the line (the byte in a binary file) and the
// count. Compressed files are left to the importer.
std::string CheckMeshCounts(std::string_view text, const std::string& fileName);

// The same for a file; a file that cannot be opened passes (the importer
// reports it).
std::string CheckMeshFileCounts(const std::string& fileName);

}  // namespace velmora::renderer
