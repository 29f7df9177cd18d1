// Where the program looks for its installation and its renderer library: an
// installed tree beside the program wins over the working directory, the
// command line wins over both, and a build folder keeps today's behaviour.
#include "ui/install_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"
#include "ui/renderer_binding.h"

namespace velmora::ui {
namespace {

namespace fs = std::filesystem;

// An installed tree under a prefix, laid out as `cmake --install` lays it
// out: the programs in INSTALL_BINDIR, the installation in INSTALL_DATADIR.
struct TTree {
  fs::path Prefix;
  fs::path Bin;   // where the programs lie
  fs::path Data;  // where the installation lies
};

TTree MakeTree(const std::string& name) {
  TTree tree;
  tree.Prefix = testing::TestFilePath(name);
  tree.Bin = tree.Prefix / VELMORA_INSTALL_BINDIR;
  tree.Data = tree.Prefix / VELMORA_INSTALL_DATADIR;
  fs::create_directories(tree.Bin);
  fs::create_directories(tree.Data);
  return tree;
}

TEST(InstallLayout, DataFolderChoice) {
  // A tree with the installation, one whose data folder lacks vehicles.dat,
  // one where vehicles.dat is a folder, and a build folder with nothing beside it.
  const TTree installed = MakeTree("installed");
  std::ofstream(installed.Data / "vehicles.dat") << "20;0;0;0;0;0;0;0;0;0;car\n";
  const TTree empty = MakeTree("empty");
  const TTree folderNamedLikeFile = MakeTree("folder");
  fs::create_directories(folderNamedLikeFile.Data / "vehicles.dat");
  const fs::path buildDir = testing::TestFilePath("build") / "ui";
  fs::create_directories(buildDir);

  struct Case {
    const char* Name;
    std::string Given;       // --data
    std::string ProgramDir;  // the folder of the running program
    std::string Expected;    // empty: stay in the working directory
  };
  const Case cases[] = {
      {"installed, no --data", "", installed.Bin.string(), installed.Data.string()},
      {"installed, --data wins", "/elsewhere", installed.Bin.string(), "/elsewhere"},
      {"installed, relative --data wins", "mine", installed.Bin.string(), "mine"},
      {"data folder without vehicles.dat", "", empty.Bin.string(), ""},
      {"vehicles.dat is a folder", "", folderNamedLikeFile.Bin.string(), ""},
      {"build folder", "", buildDir.string(), ""},
      {"build folder with --data", "data", buildDir.string(), "data"},
      {"program folder unknown", "", "", ""},
      {"program folder unknown with --data", "data", "", "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ChooseDataDir(c.Given, c.ProgramDir), c.Expected);
  }
  EXPECT_EQ(InstalledDataDir(installed.Bin.string()), installed.Data.string());
  EXPECT_EQ(InstalledDataDir(empty.Bin.string()), "");
}

TEST(InstallLayout, RendererWhereTheInstallPutsIt) {
  const TTree tree = MakeTree("tree");
  const fs::path expected = tree.Prefix / VELMORA_INSTALL_RENDERERDIR / kRendererFileName;
  EXPECT_EQ(InstalledRendererPath(tree.Bin.string()), expected.lexically_normal().string());
  EXPECT_EQ(InstalledRendererPath(""), "");
}

TEST(InstallLayout, RendererCandidatesInOrder) {
  const std::string programDir = "/opt/velmora/" VELMORA_INSTALL_BINDIR;
  const std::string installed =
      (fs::path("/opt/velmora") / VELMORA_INSTALL_RENDERERDIR / kRendererFileName).string();

  std::vector<std::string> withProgram = {programDir + "/" + kRendererFileName, installed};
  std::vector<std::string> withoutProgram;
  // The build's own library comes before the loader's search path.
#ifdef PRISMOTH_LIBRARY
  withProgram.push_back(PRISMOTH_LIBRARY);
  withoutProgram.push_back(PRISMOTH_LIBRARY);
#endif
  withProgram.push_back(kRendererFileName);
  withoutProgram.push_back(kRendererFileName);

  struct Case {
    const char* Name;
    std::string Given;
    std::string ProgramDir;
    std::vector<std::string> Expected;
  };
  const Case cases[] = {
      {"given path alone", "/tmp/mine.so", programDir, {"/tmp/mine.so"}},
      {"given path without a program folder", "mine.so", "", {"mine.so"}},
      {"beside the program, installed, build, loader", "", programDir, withProgram},
      {"no program folder: build, loader", "", "", withoutProgram},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(RendererCandidates(c.Given, c.ProgramDir), c.Expected);
  }
}

}  // namespace
}  // namespace velmora::ui
