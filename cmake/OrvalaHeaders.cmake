# Include rules that the build enforces: a target reaches another library's
# headers only through the libraries it links (directly or transitively).
#
# No target gets src/ as an include directory. Instead each library has an
# include root of its own in the build tree, <build>/include/<target>, holding
# symbolic links named after what it publishes (include/orvala_plot/plot ->
# src/plot), and that root is the library's PUBLIC include directory. Includes
# keep their spelling ("plot/Histogrm.h"), and one that names a library the
# target does not link fails to compile.

# orvala_public_headers(<target> <path>...)
# Publishes each <path> (a folder or a single header, relative to src/) of
# <target> under the target's include root.
function(orvala_public_headers target)
  set(root "${CMAKE_BINARY_DIR}/include/${target}")
  # Start each configure from an empty root, so that a link published by an
  # earlier configure does not keep an include working. Removal does not
  # follow the links into src/.
  get_property(fresh GLOBAL PROPERTY ORVALA_HEADER_ROOTS)
  if(NOT target IN_LIST fresh)
    file(REMOVE_RECURSE "${root}")
    set_property(GLOBAL APPEND PROPERTY ORVALA_HEADER_ROOTS ${target})
  endif()
  foreach(path IN LISTS ARGN)
    set(source "${CMAKE_SOURCE_DIR}/src/${path}")
    if(NOT EXISTS "${source}")
      message(FATAL_ERROR "orvala_public_headers(${target}): src/${path} does not exist")
    endif()
    set(link "${root}/${path}")
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${source}" "${link}" SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
