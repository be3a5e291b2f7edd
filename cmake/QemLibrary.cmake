# qem_library(<name> [DEPS <targets>...] [PRIVATE_DEPS <targets>...] [PUBLIC_LIBS <libs>...])
# A static (position-independent) library from the .cpp files of the calling
# folder, registered as part of libqemengine.so.
#
# The build holds the layers: a library sees the headers of its own folder
# and of the libraries it depends on, and nothing else. Each folder's headers
# are reached through links in <build>/include/<name>/<folder>/, so that
# #include "scene/X.h" compiles only where qem_scene is a dependency (the
# source tree's root is on no library's include path). DEPS are libraries of
# folders that come earlier in QEM_FOLDERS, the layer order; their headers
# are visible to this library and to its users. PRIVATE_DEPS are linked but
# their headers stay hidden from this library's users.
function(qem_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;PUBLIC_LIBS" ${ARGN})
  foreach(dep IN LISTS ARG_DEPS ARG_PRIVATE_DEPS)
    if(NOT TARGET ${dep})
      message(FATAL_ERROR "${name} may not use ${dep}: a library uses only the folders before it in QEM_FOLDERS")
    endif()
  endforeach()

  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(exposed ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${exposed})
  file(MAKE_DIRECTORY ${exposed}/${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(header IN LISTS headers)
    get_filename_component(file ${header} NAME)
    file(CREATE_LINK ${header} ${exposed}/${folder}/${file} SYMBOLIC)
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # empty.cpp lets a folder exist before its first source does.
  add_library(${name} STATIC ${sources} ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(${name} PUBLIC ${exposed})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_property(GLOBAL APPEND PROPERTY QEM_ENGINE_LIBRARIES_PROP ${name})
endfunction()
