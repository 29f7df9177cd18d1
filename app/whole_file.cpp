#include "app/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace velmora::app {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxBesideNames = 100;  // hidden names tried beside the file before giving up

// errno after a failed call; a call that failed without setting it counts as
// an input/output fault rather than as a success.
int LastError() {
  return errno != 0 ? errno : EIO;
}

// Writes every byte to an open file and closes it; 0 or the first fault.
int WriteAndClose(std::FILE* file, std::string_view bytes) {
  errno = 0;
  int error = 0;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    error = LastError();
  }
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = LastError();
  return error;
}

}  // namespace

int WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::error_code status;
  const fs::file_status target = fs::status(path, status);
  if (fs::is_directory(target)) return EISDIR;

  // A device or a pipe cannot be replaced by renaming, and needs not be.
  if (fs::exists(target) && !fs::is_regular_file(target)) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return LastError();
    return WriteAndClose(file, bytes);
  }

  // A fresh name beside the file ("x" creates it or fails when taken), so
  // the rename stays within one file system and never meets another writer.
  const fs::path place(path);
  std::string partial;
  std::FILE* file = nullptr;
  for (int n = 0; n < kMaxBesideNames && file == nullptr; ++n) {
    partial = (place.parent_path() /
               ("." + place.filename().string() + "." + std::to_string(n) + ".part"))
                  .string();
    errno = 0;
    file = std::fopen(partial.c_str(), "wbx");
    if (file == nullptr && errno != EEXIST) return LastError();
  }
  if (file == nullptr) return EEXIST;
  int error = WriteAndClose(file, bytes);
  if (error == 0) {
    errno = 0;
    if (std::rename(partial.c_str(), path.c_str()) != 0) error = LastError();
  }
  if (error != 0) std::remove(partial.c_str());
  return error;
}

std::string FileFaultEnglish(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return "the disk is full (no space left)";
    case EROFS:
      return "the file system is read-only";
    case EACCES:
    case EPERM:
      return "permission denied (the file or its folder is not writable)";
    case ENOENT:
      return "the folder does not exist";
    case EISDIR:
      return "it is a directory, not a file";
    case ENOTDIR:
      return "a part of the path is not a folder";
    default:
      return std::strerror(error);
  }
}

std::string FileFaultJapanese(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return "ディスクの空きがありません。";
    case EROFS:
      return "読み取り専用のファイルシステムです。";
    case EACCES:
    case EPERM:
      return "書き込みが許可されていません。";
    case ENOENT:
      return "フォルダがありません。";
    case EISDIR:
      return "同じ名前のフォルダがあります。";
    case ENOTDIR:
      return "途中にフォルダでないものがあります。";
    default:
      return std::string("書き込めません (") + std::strerror(error) + ")。";
  }
}

}  // namespace velmora::app
