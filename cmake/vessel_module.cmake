# The vessel module: every source of the module's folders, built once as objects, then
# linked into the shared library Modules/Korvan and into a static library for the tests.
set(KORVAN_MODULE_DIRS vessel flight mechanisms guidance hud stages sound)
set(KORVAN_MODULE_SOURCES)
foreach(dir IN LISTS KORVAN_MODULE_DIRS)
  file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND KORVAN_MODULE_SOURCES ${dir_sources})
endforeach()

add_library(korvan_vessel_objects OBJECT ${KORVAN_MODULE_SOURCES})
target_include_directories(korvan_vessel_objects PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(korvan_vessel_objects PUBLIC korvan_host)
set_target_properties(korvan_vessel_objects PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

add_library(Korvan SHARED $<TARGET_OBJECTS:korvan_vessel_objects>)
target_link_libraries(Korvan PRIVATE korvan_host)
korvan_loadable_library(Korvan ${KORVAN_RUN_MODULES})
# An ELF module finds the host runtime in the run tree's lib/; a DLL finds it already loaded
# by the program.
set_target_properties(Korvan PROPERTIES
  BUILD_RPATH "$ORIGIN/../lib"
  INSTALL_RPATH "$ORIGIN/../lib")

add_library(korvan_vessel_static STATIC $<TARGET_OBJECTS:korvan_vessel_objects>)
target_include_directories(korvan_vessel_static PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(korvan_vessel_static PUBLIC korvan_host)
