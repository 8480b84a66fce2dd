# The Windows build, cross-compiled with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) and run
# under Wine: the libraries the build machine has only as sources or headers, and the
# emulator that runs the test programs and korvan-sim.exe.

# GoogleTest from Debian's sources (libgtest-dev ships them in /usr/src/googletest), built
# with the cross compiler and without this project's warning options.
set(KORVAN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${KORVAN_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "${KORVAN_GTEST_SOURCE}: no GoogleTest sources (install libgtest-dev: bash scripts/setup.sh windows)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KORVAN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Header-only libraries of the build machine serve the target as they are. Only their own
# folders are put on the include path: the build machine's /usr/include must not be.
set(KORVAN_SHARED_HEADERS ${CMAKE_BINARY_DIR}/shared-headers)
foreach(entry IN ITEMS "nlohmann_json::nlohmann_json|nlohmann|nlohmann-json3-dev"
                       "CLI11::CLI11|CLI|libcli11-dev")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 target)
  list(GET entry 1 folder)
  list(GET entry 2 package)
  if(NOT IS_DIRECTORY /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder}: missing (install ${package}: bash scripts/setup.sh windows)")
  endif()
  file(MAKE_DIRECTORY ${KORVAN_SHARED_HEADERS})
  file(CREATE_LINK /usr/include/${folder} ${KORVAN_SHARED_HEADERS}/${folder} SYMBOLIC)
  string(REPLACE "::" "_" library ${target})
  add_library(${library} INTERFACE)
  target_include_directories(${library} SYSTEM INTERFACE ${KORVAN_SHARED_HEADERS})
  add_library(${target} ALIAS ${library})
endforeach()

# Wine runs the programs: quiet, never asking anything, in a prefix of this build's own
# that is made once here (wineboot takes some seconds), finding the host runtime's DLL.
find_program(KORVAN_WINE wine)
if(KORVAN_WINE)
  set(KORVAN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(KORVAN_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
  korvan_program_path(KORVAN_WINE_DLL_PATH ${KORVAN_RUN_LIB})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${KORVAN_WINE_RUN} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  if(NOT EXISTS ${KORVAN_WINE_PREFIX}/system.reg)
    message(STATUS "Preparing the Wine prefix ${KORVAN_WINE_PREFIX}")
    execute_process(COMMAND ${KORVAN_WINE_RUN} wineboot --init RESULT_VARIABLE wineboot_result
                    OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${KORVAN_WINE_RUN} --wait-server)
    if(NOT EXISTS ${KORVAN_WINE_PREFIX}/system.reg)
      message(FATAL_ERROR "wineboot could not prepare ${KORVAN_WINE_PREFIX} (${wineboot_result})")
    endif()
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVAN_WINE_RUN})
else()
  message(WARNING "Wine is not installed: the Windows programs build, but no test can run "
                  "(bash scripts/setup.sh windows installs it)")
endif()
