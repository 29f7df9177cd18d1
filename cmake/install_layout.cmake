# Where `cmake --install` and the package put the programs, the renderer
# library and the sample installation. The programs find the library and the
# installation relative to their own folder, so an installed tree works under
# any prefix and unpacked anywhere.
#
# The programs go into games/ beside bin/, as Debian keeps games (/usr/games);
# the renderer is a private library in a folder of its own, below the
# architecture's library folder where the system has one
# (/usr/lib/x86_64-linux-gnu/velmora), off the loader's search path.
include(GNUInstallDirs)

set(VELMORA_INSTALL_BINDIR games)
set(VELMORA_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/velmora")
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(VELMORA_INSTALL_RENDERERDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}/velmora")
else()
  set(VELMORA_INSTALL_RENDERERDIR "${CMAKE_INSTALL_LIBDIR}/velmora")
endif()

# The same folders seen from the programs' folder ("../share/velmora").
file(RELATIVE_PATH VELMORA_DATA_FROM_BINDIR
     "/prefix/${VELMORA_INSTALL_BINDIR}" "/prefix/${VELMORA_INSTALL_DATADIR}")
file(RELATIVE_PATH VELMORA_RENDERER_FROM_BINDIR
     "/prefix/${VELMORA_INSTALL_BINDIR}" "/prefix/${VELMORA_INSTALL_RENDERERDIR}")
