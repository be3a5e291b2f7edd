# Installation: the program, the engine library, and the headers that
# extension modules are built against (the module interface and the script
# machine with its registration API):
#   bin/qem
#   lib/libqemengine.so -> libqemengine.so.2 -> libqemengine.so.2.0.4
#   include/qem/engine/ExternModule.h
#   include/qem/vm/*.h
# A module is then built with the same compiler as the engine:
#   g++ -std=c++17 -shared -fPIC -I<prefix>/include/qem module.cpp \
#       -L<prefix>/lib -lqemengine -Wl,-rpath,'$ORIGIN' -o module.dll
install(TARGETS qem qemengine
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/engine/ExternModule.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qem/engine)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/vm/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qem/vm
        FILES_MATCHING PATTERN "*.h")
