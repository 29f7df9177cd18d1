// Reading the program's CP932 data files as numbered UTF-8 lines, and the
// error that every loader reports: which file, which line, what was wrong.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::net {

struct DataFileError {
  std::string File;    // the path as the loader was given it
  int Line = 0;        // 1-based physical line; 0 when the file as a whole failed
  std::string Reason;  // what was wrong, in words

  // "vehicles.dat: line 3: field 5 is not an integer: 'abc'"
  std::string Message() const;
};

struct DataFileLines {
  std::vector<std::string> Lines;       // UTF-8, without their line ends
  std::optional<DataFileError> Error;  // set when the file cannot be read or converted
};

// Reads a whole text file. Lines end with LF, CR LF or CR; a line end after
// the last line does not start another line, so "a\nb\n" is two lines. Every
// line is converted from CP932; the first line that cannot be is the error.
DataFileLines ReadDataFileLines(const std::filesystem::path& path);

// The same for a file's bytes already in memory; name goes into the error.
DataFileLines SplitDataFileLines(std::string_view bytes, const std::string& name);

}  // namespace velmora::net
