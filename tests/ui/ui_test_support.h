// Shared pieces of the shell's tests: the offscreen application, a folder of
// data files for one test, and a small box mesh the real renderer can load.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "net/text_encoding.h"
#include "tests/support/temp_file.h"

namespace velmora::testing {

// The one application object of the test process, on the offscreen platform.
// It lives to the end of the process: destroying it among the static objects
// at exit would pull the platform out from under windows Qt still tracks.
inline QApplication& App() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// Runs the event loop until the condition holds, or for at most patienceMs;
// whether it holds. The patience only keeps a broken run from hanging: it is
// no measure of how fast anything should be.
inline bool Await(const std::function<bool()>& condition, int patienceMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < patienceMs) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return condition();
}

// Writes a data file (UTF-8 text stored as CP932) into the test's folder.
inline std::filesystem::path WriteDataFile(const std::string& name, const std::string& utf8) {
  return WriteTestFile(name, net::Utf8ToCp932(utf8).Text);
}

// A red block 2 m wide, 0.5 m tall and 2 m long, 3 m ahead of the reference
// point: the bonnet the driver sees below the horizon. A DirectX text mesh.
inline std::string BoxMesh() {
  return "xof 0302txt 0064\n"
         "Mesh {\n"
         " 8;\n"
         " -1.0;0.0;3.0;, 1.0;0.0;3.0;, 1.0;0.0;5.0;, -1.0;0.0;5.0;,\n"
         " -1.0;0.5;3.0;, 1.0;0.5;3.0;, 1.0;0.5;5.0;, -1.0;0.5;5.0;;\n"
         " 12;\n"
         " 3;4,5,6;, 3;4,6,7;, 3;0,2,1;, 3;0,3,2;,\n"
         " 3;0,1,5;, 3;0,5,4;, 3;3,7,6;, 3;3,6,2;,\n"
         " 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;;\n"
         " MeshMaterialList {\n"
         "  1;\n"
         "  12;\n"
         "  0,0,0,0,0,0,0,0,0,0,0,0;;\n"
         "  Material {\n"
         "   1.0;0.0;0.0;1.0;;\n"
         "   0.0;\n"
         "   0.0;0.0;0.0;;\n"
         "   0.0;0.0;0.0;;\n"
         "  }\n"
         " }\n"
         "}\n";
}

// A small installation: a car type with the box shape, a green ground patch
// and a white line; returns its folder.
inline std::filesystem::path WriteSmallInstallation() {
  WriteTestFile("box.x", BoxMesh());
  WriteTestFile("box_rough.x", BoxMesh());
  WriteDataFile("vehicles.dat", "20;-600;2600;-400;1200;0;3000;1300;0;-1000;car\tbox\n");
  WriteDataFile("ground.dat", "-100000;-100000;100000;100000;0;0;$208020\n");
  return WriteDataFile("objects.dat", "Line\t0;0;0;100000;-10;5000;FFFFFF\n").parent_path();
}

}  // namespace velmora::testing
