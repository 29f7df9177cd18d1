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

// The longest piece of a data file's text an error message quotes, bytes.
inline constexpr std::size_t kMaxExcerptBytes = 80;

// Text to quote in an error message: as it stands when it is short, else its
// first kMaxExcerptBytes at most (never a broken UTF-8 character) followed by
// "…" and its full length, so that a huge line neither floods the message nor
// passes for a short one.
std::string Excerpt(std::string_view text);

struct DataFileLines {
  std::vector<std::string> Lines;       // UTF-8, without their line ends
  std::optional<DataFileError> Error;  // set when the file cannot be read or converted
};

// The number of lines up to the last one that holds more than blanks and
// control characters: blank lines at the end of a file, which editors tend to
// leave, are no records in any data file.
std::size_t CountUpToLastContent(const std::vector<std::string>& lines);

// Reads a whole text file. Lines end with LF, CR LF or CR; a line end after
// the last line does not start another line, so "a\nb\n" is two lines. Every
// line is converted from CP932; the first line that cannot be is the error.
DataFileLines ReadDataFileLines(const std::filesystem::path& path);

// The same for a file's bytes already in memory; name goes into the error.
DataFileLines SplitDataFileLines(std::string_view bytes, const std::string& name);

}  // namespace velmora::net
