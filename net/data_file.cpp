#include "net/data_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#include "net/field_reader.h"
#include "net/text_encoding.h"

namespace velmora::net {

std::string DataFileError::Message() const {
  if (Line <= 0) return File + ": " + Reason;
  return File + ": line " + std::to_string(Line) + ": " + Reason;
}

std::string Excerpt(std::string_view text) {
  if (text.size() <= kMaxExcerptBytes) return std::string(text);
  std::size_t cut = kMaxExcerptBytes;
  // Back off the continuation bytes of a character the cut would split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "…(" + std::to_string(text.size()) + " bytes in all)";
}

std::size_t CountUpToLastContent(const std::vector<std::string>& lines) {
  std::size_t count = lines.size();
  while (count > 0 && TrimControl(lines[count - 1]).empty()) --count;
  return count;
}

DataFileLines ReadDataFileLines(const std::filesystem::path& path) {
  DataFileLines result;
  const std::string name = path.string();

  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    result.Error = DataFileError{name, 0, "is a directory, not a file"};
    return result;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    result.Error = DataFileError{name, 0, std::string("cannot open: ") + std::strerror(errno)};
    return result;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    result.Error = DataFileError{name, 0, "read error"};
    return result;
  }

  return SplitDataFileLines(bytes, name);
}

DataFileLines SplitDataFileLines(std::string_view bytes, const std::string& name) {
  DataFileLines result;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of("\r\n");
    const std::string_view raw = rest.substr(0, end);
    if (end == std::string_view::npos) {
      rest = {};
    } else {
      const bool crLf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
      rest.remove_prefix(end + (crLf ? 2 : 1));
    }
    TextConversion line = Cp932ToUtf8(raw);
    if (!line.Ok) {
      result.Error = DataFileError{name, static_cast<int>(result.Lines.size()) + 1,
                                   "invalid Shift-JIS byte sequence at column " +
                                       std::to_string(line.ErrorOffset + 1)};
      return result;
    }
    result.Lines.push_back(std::move(line.Text));
  }
  return result;
}

}  // namespace velmora::net
