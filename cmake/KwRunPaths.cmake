# Run paths of the installed binaries (included after their install rules).
#
# CMake links a binary that it will install with the build folders in its run
# path plus a trailing separator, and rewrites that at install. The trailing
# separator is an empty entry, which the loader reads as the current folder:
# a library planted where a user runs the build tree's tool would be loaded.
# So each installed binary is linked with its install run path and the
# platform library's build folder, both non-empty and both relative to
# $ORIGIN (no build folder is written into the binary, so two builds in two
# folders give the same file), and its installed copy keeps only the install
# run path.
function(kw_output_dir target kind out)
  get_target_property(dir ${target} ${kind}_OUTPUT_DIRECTORY)
  if(NOT dir)
    get_target_property(dir ${target} BINARY_DIR)
  endif()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()
kw_output_dir(kwplatform LIBRARY kw_platform_dir)
foreach(kw_target KwFilter_JPEG kwjpeg)
  get_target_property(kw_install_rpath ${kw_target} INSTALL_RPATH)
  get_target_property(kw_type ${kw_target} TYPE)
  if(kw_type STREQUAL "EXECUTABLE")
    set(kw_destination ${CMAKE_INSTALL_BINDIR})
    set(kw_component tool)
    kw_output_dir(${kw_target} RUNTIME kw_dir)
  else()
    set(kw_destination ${KW_INSTALL_PLUGINDIR})
    set(kw_component filter)
    kw_output_dir(${kw_target} LIBRARY kw_dir)
  endif()
  file(RELATIVE_PATH kw_to_platform ${kw_dir} ${kw_platform_dir})
  set_target_properties(${kw_target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "${kw_install_rpath};$ORIGIN/${kw_to_platform}")
  set(kw_installed "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${kw_destination}/$<TARGET_FILE_NAME:${kw_target}>")
  install(CODE "file(RPATH_SET FILE \"${kw_installed}\" NEW_RPATH \"${kw_install_rpath}\")"
    COMPONENT ${kw_component})
endforeach()

# The check of every ELF file of the build tree and of an install made from it.
if(KW_BUILD_TESTS)
  add_test(NAME build.RunPathsHaveNoEmptyEntry
    COMMAND ${CMAKE_COMMAND} -DKW_BUILD_DIR=${CMAKE_BINARY_DIR}
      -DKW_PREFIX=${CMAKE_BINARY_DIR}/runpath-install -P ${CMAKE_CURRENT_LIST_DIR}/KwCheckRunPaths.cmake)
  # Alone: other tests copy libraries into the build tree and remove them again.
  set_tests_properties(build.RunPathsHaveNoEmptyEntry PROPERTIES RUN_SERIAL TRUE)
endif()
