// Writing a file whole or not at all, and why a write failed, in the words of
// the command-line tools (English) and of the message log (Japanese).
#pragma once

#include <string>
#include <string_view>

namespace velmora::app {

// Writes bytes as the file at path, whole or not at all. A regular file, or
// a new one, is written beside its place under a fresh hidden name and moved
// into place only once every byte is written and the file is closed, so a
// failed write leaves what was there untouched and no partial file behind.
// Anything else at path but a folder (a device such as /dev/null or
// /dev/full, a pipe) is written in place. Returns 0, or the errno value of
// the first fault: EISDIR when path is a folder.
int WriteWholeFile(const std::string& path, std::string_view bytes);

// What an errno value from a file operation means to the user: the disk is
// full, the file system is read-only, writing is not permitted, the folder is
// missing, the path is a folder, a part of the path is no folder; any other
// fault in the system's words.
std::string FileFaultEnglish(int error);
std::string FileFaultJapanese(int error);

}  // namespace velmora::app
