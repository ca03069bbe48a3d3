# w2r_library(<target> HEADERS <public headers> SOURCES <sources>
#             DEPENDS <libraries> [PUBLIC_INCLUDE <dir>])
#
# One static library per folder. Only the listed public headers are
# reachable from other targets, as "<folder>/<header>": they are linked into
# a staging folder of the build tree that is the library's PUBLIC include
# path. Other headers of the folder stay private: a source of the folder
# includes them by bare name, found beside it. DEPENDS are linked PUBLIC:
# list only lower layers.
function(w2r_library target)
  cmake_parse_arguments(L "" "PUBLIC_INCLUDE" "HEADERS;SOURCES;DEPENDS" ${ARGN})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(stage ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${stage})
  file(MAKE_DIRECTORY ${stage}/${folder})
  foreach(header ${L_HEADERS})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${stage}/${folder}/${header} SYMBOLIC)
  endforeach()
  add_library(${target} STATIC ${L_SOURCES})
  target_include_directories(${target} PUBLIC ${stage} ${L_PUBLIC_INCLUDE})
  target_link_libraries(${target} PUBLIC ${L_DEPENDS})
endfunction()
