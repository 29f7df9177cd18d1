# Where `cmake --install` and the package put the programs, the renderer
# library and the sample installation. The programs find the library and the
# installation relative to their own folder, so an installed tree works under
# any prefix and unpacked anywhere.
include(GNUInstallDirs)

set(VELMORA_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/velmora")
set(VELMORA_INSTALL_RENDERERDIR "${CMAKE_INSTALL_LIBDIR}/velmora")

# The same folders seen from the programs' folder ("../share/velmora").
file(RELATIVE_PATH VELMORA_DATA_FROM_BINDIR
     "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${VELMORA_INSTALL_DATADIR}")
file(RELATIVE_PATH VELMORA_RENDERER_FROM_BINDIR
     "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${VELMORA_INSTALL_RENDERERDIR}")
