// Writing a file whole or not at all: every fault is caught and named, on a
// full disk, a read-only file system, a missing folder and a folder in the
// file's place, and a failed write leaves the older file untouched.
#include "app/whole_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "app/replay.h"
#include "tests/support/own_mounts.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int FilesIn(const fs::path& folder) {
  return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The reasons as the tools and the message log give them.
struct TReason {
  int Error;
  const char* English;
  const char* Japanese;
};
constexpr TReason kFull{ENOSPC, "the disk is full", "ディスクの空きがありません。"};
constexpr TReason kReadOnly{EROFS, "the file system is read-only",
                            "読み取り専用のファイルシステムです。"};
constexpr TReason kNoFolder{ENOENT, "the folder does not exist", "フォルダがありません。"};
constexpr TReason kFolder{EISDIR, "it is a directory", "同じ名前のフォルダがあります。"};
constexpr TReason kNotFolder{ENOTDIR, "a part of the path is not a folder",
                             "途中にフォルダでないものがあります。"};

void ExpectReason(int error, const TReason& reason) {
  EXPECT_EQ(error, reason.Error);
  EXPECT_EQ(FileFaultEnglish(error).rfind(reason.English, 0), 0u) << FileFaultEnglish(error);
  EXPECT_EQ(FileFaultJapanese(error), reason.Japanese);
}

// Runs body with readOnly an empty read-only file system and full one of a
// single page holding the file "old.csv" with "old". Returns what body
// returns, or nothing where the system lends no user namespaces.
std::optional<std::string> WithSmallFileSystems(const fs::path& readOnly, const fs::path& full,
                                                const std::function<std::string()>& body) {
  return testing::WithOwnMounts(
      [&] {
        if (!testing::MountSmall(readOnly, "4k", true) || !testing::MountSmall(full, "4k")) {
          return false;
        }
        std::ofstream old(full / "old.csv");
        old << "old";
        old.close();
        return static_cast<bool>(old);
      },
      body);
}

TEST(WholeFile, EveryFaultIsCaughtAndNamed) {
  const fs::path folder = testing::TestFilePath("out");
  fs::create_directories(folder / "sub");
  std::ofstream(folder / "file") << "x";
  struct Case {
    std::string Path;
    TReason Reason;
  };
  const Case cases[] = {
      {"/dev/full", kFull},
      {(folder / "missing/out.csv").string(), kNoFolder},
      {(folder / "sub").string(), kFolder},
      {(folder / "file/out.csv").string(), kNotFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    ExpectReason(WriteWholeFile(c.Path, std::string(100000, 'x')), c.Reason);
  }
  // Nothing was left beside: the folder holds what it held.
  EXPECT_EQ(FilesIn(folder), 2);

  // A device is written in place; a file is replaced whole.
  EXPECT_EQ(WriteWholeFile("/dev/null", "x"), 0);
  EXPECT_EQ(WriteWholeFile((folder / "file").string(), "new"), 0);
  EXPECT_EQ(Contents(folder / "file"), "new");
  EXPECT_EQ(FilesIn(folder), 2);
}

TEST(WholeFile, ReadOnlyAndFullFileSystems) {
  const fs::path readOnly = testing::TestFilePath("read-only");
  const fs::path full = testing::TestFilePath("full");
  const std::optional<std::string> outcome = WithSmallFileSystems(readOnly, full, [&] {
    // A file larger than the file system's one page: the old one stays and
    // nothing is left beside it.
    const int onFull = WriteWholeFile((full / "old.csv").string(), std::string(100000, 'x'));
    const int onReadOnly = WriteWholeFile((readOnly / "out.csv").string(), "x");
    return std::to_string(onFull) + " " + Contents(full / "old.csv") + " " +
           std::to_string(FilesIn(full)) + " " + std::to_string(onReadOnly);
  });
  if (!outcome) GTEST_SKIP() << "no user namespaces here to mount a read-only or a full folder";
  int onFull = 0, onReadOnly = 0, files = 0;
  char old[8] = {};
  ASSERT_EQ(std::sscanf(outcome->c_str(), "%d %7s %d %d", &onFull, old, &files, &onReadOnly), 4)
      << *outcome;
  ExpectReason(onFull, kFull);
  EXPECT_STREQ(old, "old");
  EXPECT_EQ(files, 1);
  ExpectReason(onReadOnly, kReadOnly);
}

TEST(WholeFile, SavingTheRunNamesTheReasonInTheLog) {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
  s->Own.UserNo = 5;
  s->ReplayMode = kReplayRecording;
  RecordReplay(*s, s->NextFrameTime);

  // A folder that cannot be made.
  const fs::path file = testing::TestFilePath("file");
  std::ofstream(file) << "x";
  SaveReplay(*s, (file / "replays").string(), "run.vmreplay");
  EXPECT_EQ(s->MessageLog.back(), "自分> 録画を保存できません: " + (file / "replays").string() +
                                      ": " + kNotFolder.Japanese);

  const fs::path readOnly = testing::TestFilePath("read-only");
  const std::optional<std::string> logged =
      WithSmallFileSystems(readOnly, testing::TestFilePath("full"), [&] {
        SaveReplay(*s, readOnly.string(), "run.vmreplay");
        return s->MessageLog.back();
      });
  if (!logged) GTEST_SKIP() << "no user namespaces here to mount a read-only folder";
  EXPECT_EQ(*logged, "自分> 録画を保存できません: " + (readOnly / "run.vmreplay").string() + ": " +
                         kReadOnly.Japanese);
}

}  // namespace
}  // namespace velmora::app
