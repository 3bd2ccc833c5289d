# The installed SDK as host developers find it: a CMake package configuration
# (find_package(KwFilter_JPEG CONFIG)) with imported targets, and a pkg-config
# file. Both locate everything relative to their own place, so an installed
# tree may be moved to any prefix. Included from the top-level install section.
include(CMakePackageConfigHelpers)

set(KW_SDK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KwFilter_JPEG)
set(KW_SDK_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kwfilter)

# KwFilter_JPEG::platform   the platform layer (COM runtime, BSTR/VARIANT, registry)
# KwFilter_JPEG::interfaces the interfaces of the type library and their GUIDs
# KwFilter_JPEG::host       the reference host engine (data objects, documents, nodes,
#                           raster blocks, the attribute class "VelEngine.KwAttribute")
# KwFilter_JPEG::filter     the filter library itself, for its path (hosts load it through COM)
# KwFilter_JPEG::kwjpeg     the tool, which also registers the filter
set_target_properties(kwplatform PROPERTIES EXPORT_NAME platform)
target_include_directories(kwplatform INTERFACE $<INSTALL_INTERFACE:${KW_SDK_INCLUDE_DIR}>)
set_target_properties(kwinterfaces PROPERTIES EXPORT_NAME interfaces)
target_include_directories(kwinterfaces INTERFACE $<INSTALL_INTERFACE:${KW_SDK_INCLUDE_DIR}>)
if(TARGET kwhost)
  set_target_properties(kwhost PROPERTIES EXPORT_NAME host)
  target_include_directories(kwhost INTERFACE $<INSTALL_INTERFACE:${KW_SDK_INCLUDE_DIR}/host>)
  # The engine's headers use C++17; a host that links it says so to its compiler.
  target_compile_features(kwhost INTERFACE cxx_std_17)
  install(DIRECTORY host/engine/ DESTINATION ${KW_SDK_INCLUDE_DIR}/host FILES_MATCHING PATTERN "*.h")
endif()
if(TARGET KwFilter_JPEG)
  set_target_properties(KwFilter_JPEG PROPERTIES EXPORT_NAME filter)
endif()

install(EXPORT KwFilter_JPEGTargets
  NAMESPACE KwFilter_JPEG::
  FILE KwFilter_JPEGTargets.cmake
  DESTINATION ${KW_SDK_CMAKE_DIR})
configure_package_config_file(cmake/KwFilter_JPEGConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/sdk/KwFilter_JPEGConfig.cmake
  INSTALL_DESTINATION ${KW_SDK_CMAKE_DIR})
# The package version is the product version; hosts built for 4.x take any 4.x.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/sdk/KwFilter_JPEGConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/sdk/KwFilter_JPEGConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/sdk/KwFilter_JPEGConfigVersion.cmake
  DESTINATION ${KW_SDK_CMAKE_DIR})

# pkg-config: the prefix is found from the file's own folder (${pcfiledir}).
set(KW_SDK_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH KW_SDK_PC_TO_PREFIX /${KW_SDK_PC_DIR} /)
string(REGEX REPLACE "/$" "" KW_SDK_PC_TO_PREFIX "${KW_SDK_PC_TO_PREFIX}")
configure_file(cmake/kwfilter-jpeg.pc.in ${CMAKE_CURRENT_BINARY_DIR}/sdk/kwfilter-jpeg.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sdk/kwfilter-jpeg.pc DESTINATION ${KW_SDK_PC_DIR})
