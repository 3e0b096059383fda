# qv_add_translations(<target> <tsv files...>)
# Compiles translation tables into <target> as Qt resources under ":/translations/<file name>", so
# that TVRNLang finds them wherever the library or executable runs. Every table is named after its
# window or data module and these names are unique in the process (all resources share one tree).
function(qv_add_translations target)
  if(NOT ARGN)
    message(FATAL_ERROR "qv_add_translations(${target}): no translation files given")
  endif()
  foreach(file IN LISTS ARGN)
    get_filename_component(abs "${file}" ABSOLUTE)
    get_filename_component(name "${abs}" NAME)
    set_source_files_properties("${abs}" PROPERTIES QT_RESOURCE_ALIAS "${name}")
    list(APPEND abs_files "${abs}")
  endforeach()
  qt_add_resources(${target} "${target}_translations" PREFIX "/translations" FILES ${abs_files})
endfunction()
