# Installation, laid out as users of a Linux library expect:
#   bin/qem
#   <libdir>/libqemengine.so -> libqemengine.so.2 -> libqemengine.so.2.0.4
#   <libdir>/pkgconfig/qemengine.pc
#   include/qem/engine/ModuleExports.h  the module interface for outside hosts
#   include/qem/engine/VmContainer.h    the host side of data-out
#   include/qem/engine/ExternModule.h   the extension-module interface
#   include/qem/vm/*.h                  the script machine and its registration API
# A module or host is then built with the same compiler as the engine:
#   g++ -std=c++17 -shared -fPIC module.cpp $(pkg-config --cflags --libs qemengine) \
#       -Wl,-rpath,'$ORIGIN' -o module.dll
install(TARGETS qem qemengine
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/engine/ModuleExports.h ${PROJECT_SOURCE_DIR}/engine/VmContainer.h
              ${PROJECT_SOURCE_DIR}/engine/ExternModule.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qem/engine)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/vm/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qem/vm
        FILES_MATCHING PATTERN "*.h")

# The pkg-config file finds the prefix from its own place, so the tree may
# be installed under any prefix (cmake --install --prefix).
file(RELATIVE_PATH QEM_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/qemengine.pc.in ${CMAKE_BINARY_DIR}/qemengine.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qemengine.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
