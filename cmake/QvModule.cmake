# qv_add_module(<name> OUTPUT_DIRECTORY <dir> SOURCES <files...> LIBS <targets...>)
# A plug-in module: a shared library loaded with dlopen that exports InitProc and nothing else
# (hidden visibility, and a version script for what headers of exported classes would still export).
function(qv_add_module name)
  cmake_parse_arguments(M "" "OUTPUT_DIRECTORY" "SOURCES;LIBS" ${ARGN})
  set(exports ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  file(WRITE ${exports} "{\n  global: InitProc;\n  local: *;\n};\n")
  add_library(${name} MODULE ${M_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${M_OUTPUT_DIRECTORY} LINK_DEPENDS ${exports})
  target_link_options(${name} PRIVATE -Wl,--version-script=${exports} -Wl,--no-undefined)
  target_link_libraries(${name} PRIVATE ${M_LIBS})
endfunction()
