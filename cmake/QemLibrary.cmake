# qem_library(<name> [DEPS <targets>...] [PUBLIC_LIBS <libs>...])
# A static (position-independent) library from the .cpp files of the calling
# folder, registered as part of libqemengine.so.
function(qem_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # empty.cpp lets a folder exist before its first source does.
  add_library(${name} STATIC ${sources} ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_PUBLIC_LIBS})
  set_property(GLOBAL APPEND PROPERTY QEM_ENGINE_LIBRARIES_PROP ${name})
endfunction()
