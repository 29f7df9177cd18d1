// Folders that stop root as well, which permission bits do not: a small
// file system that can be filled, a read-only one, a read-only view of a
// folder. They are mounted in a child process with a user and a mount
// namespace of its own, and vanish with it.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

namespace velmora::testing {

// A file system of `size` (as mount's size= option) at folder.
inline bool MountSmall(const std::filesystem::path& folder, const std::string& size,
                       bool readOnly = false) {
  std::filesystem::create_directories(folder);
  return mount("velmora", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
               ("size=" + size).c_str()) == 0;
}

// The folder as it is, read-only.
inline bool MountReadOnlyView(const std::filesystem::path& folder) {
  return mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
         mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// Fills the file system at folder to its last byte with a file named "filler".
inline void Fill(const std::filesystem::path& folder) {
  std::FILE* file = std::fopen((folder / "filler").c_str(), "wb");
  if (file == nullptr) return;
  const std::string block(4096, 'f');
  while (std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
         std::fflush(file) == 0) {
  }
  for (char c = 'f'; std::fwrite(&c, 1, 1, file) == 1 && std::fflush(file) == 0;) {
  }
  std::fclose(file);
}

// Runs body in a child process with namespaces of its own, after mounts()
// has mounted what the test needs. Returns what body returns, or nothing
// where the system lends no user namespaces.
inline std::optional<std::string> WithOwnMounts(const std::function<bool()>& mounts,
                                                const std::function<std::string()>& body) {
  int pipe[2];
  if (::pipe(pipe) != 0) return std::nullopt;
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  const pid_t child = fork();
  if (child < 0) {
    close(pipe[0]);
    close(pipe[1]);
    return std::nullopt;
  }
  if (child == 0) {
    close(pipe[0]);
    const auto put = [](const char* file, const std::string& text) {
      std::ofstream out(file);
      out << text;
      out.close();
      return static_cast<bool>(out);
    };
    const bool isolated = unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
                          put("/proc/self/setgroups", "deny") &&
                          put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                          put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") &&
                          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                          mounts();
    if (!isolated) _exit(77);
    const std::string result = body();
    const bool sent =
        write(pipe[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
    _exit(sent ? 0 : 1);
  }
  close(pipe[1]);
  std::string result;
  char buffer[256];
  for (ssize_t n; (n = read(pipe[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
  close(pipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return result;
}

}  // namespace velmora::testing
