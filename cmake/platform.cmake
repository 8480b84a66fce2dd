# What differs between the platforms the project builds for, kept in one place.

# A library the simulator's folder holds and programs load at run time (a vessel module or
# a companion): named without a prefix, placed in `dir`, exporting only what it marks.
# A shared object is a LIBRARY file, a DLL a RUNTIME one, so both folders are set.
# UNLOADS: the library must really leave the process when its last user frees it.
function(korvan_loadable_library target dir)
  cmake_parse_arguments(arg "UNLOADS" "" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${dir}
    RUNTIME_OUTPUT_DIRECTORY ${dir}
    CXX_VISIBILITY_PRESET hidden)
  if(NOT WIN32)
    # Every symbol resolved at link time, added to, not replacing, the sanitizer link
    # options; empty in the fuzz build. (A DLL cannot have undefined symbols in the first
    # place.)
    target_link_options(${target} PRIVATE ${KORVAN_NO_UNDEFINED})
    # Without unique symbols an ELF library really unloads.
    if(arg_UNLOADS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -fno-gnu-unique)
    endif()
  endif()
endfunction()

# A folder of the build as the build's programs name it. Under Wine the build machine's
# root is drive Z:, so an absolute path gets that drive: without it, a Windows program
# whose current folder lies on another drive would look there.
function(korvan_program_path out path)
  if(WIN32 AND CMAKE_CROSSCOMPILING AND path MATCHES "^/")
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()
