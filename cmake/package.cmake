# The add-on a pilot installs: a zip laid out as the simulator's folders, named and
# labelled with the project's version (cpack --preset windows, or scripts/package.sh).
set(KORVAN_RUN_TREE_SOURCE ${CMAKE_SOURCE_DIR}/sim/run_tree)
set(KORVAN_PACKAGE_TEXTS ${CMAKE_BINARY_DIR}/package-texts)

# The DLLs and the program; the import libraries stay out of the package.
install(TARGETS Korvan cvelmessage RUNTIME DESTINATION Modules ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(TARGETS korvan_host korvan-sim RUNTIME DESTINATION . ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${KORVAN_RUN_TREE_SOURCE}/Config/Vessels/Korvan.cfg ${KORVAN_RUN_TREE_SOURCE}/Config/Vessels/KorvanB.cfg
        DESTINATION Config/Vessels)
install(DIRECTORY ${KORVAN_RUN_TREE_SOURCE}/Scenarios/Korvan/ DESTINATION Scenarios/Korvan
        FILES_MATCHING PATTERN "*.scn" PATTERN "*.txt")

# The vessel's own data, as the build generated it into the run tree (assets/). Files under
# names of the vessel's own go where the module looks for them; those under names the
# simulator or other add-ons may already use (the dummy mesh, the exhaust and particle
# textures) wait in a folder of their own with a note, so that unpacking overwrites nothing.
function(korvan_package_generated destination)
  list(TRANSFORM ARGN PREPEND ${KORVAN_RUN_TREE}/ OUTPUT_VARIABLE files)
  install(FILES ${files} DESTINATION ${destination})
endfunction()
korvan_package_generated(Meshes Meshes/Korvan.msh Meshes/Korvan.glb Meshes/Korvan.obj Meshes/Korvan.mtl)
korvan_package_generated(Textures Textures/Korvan_hull.dds)
korvan_package_generated(Sound/Korvan
  Sound/Korvan/gear.wav Sound/Korvan/stg2sep.wav Sound/Korvan/fasep.wav Sound/Korvan/jet.wav)
korvan_package_generated(Korvan-shared/Meshes Meshes/dummy.msh)
korvan_package_generated(Korvan-shared/Textures
  Textures/Contrail2.dds Textures/Exhaust_atsme.dds Textures/exhaust_atrcs.dds)
configure_file(${CMAKE_SOURCE_DIR}/packaging/shared-files.txt.in ${KORVAN_PACKAGE_TEXTS}/Korvan-shared/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${KORVAN_PACKAGE_TEXTS}/Korvan-shared/README.txt DESTINATION Korvan-shared)

configure_file(${CMAKE_SOURCE_DIR}/packaging/install-note.txt.in ${KORVAN_PACKAGE_TEXTS}/Korvan_install.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${KORVAN_PACKAGE_TEXTS}/Korvan_install.txt DESTINATION .)

# Packing builds only what the package holds (scripts/package.sh builds those targets).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Korvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Korvan-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)  # unpacked straight into the simulator's folder
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
