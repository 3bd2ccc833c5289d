# The installed SDK as host developers find it: a CMake package configuration
# (find_package(KwFilter_JPEG CONFIG)) with imported targets, and a pkg-config
# file. Both locate everything relative to their own place, so an installed
# tree may be moved to any prefix (the pkg-config file unless KW_RELOCATABLE_PC
# is OFF). Included from cmake/KwInstall.cmake.
include(CMakePackageConfigHelpers)

set(KW_SDK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KwFilter_JPEG)

# KwFilter_JPEG::platform   the platform layer (COM runtime, BSTR/VARIANT, registry)
# KwFilter_JPEG::interfaces the interfaces of the type library and their GUIDs
# KwFilter_JPEG::host       the reference host engine (data objects, documents, nodes,
#                           raster blocks, the attribute class "VelEngine.KwAttribute")
# KwFilter_JPEG::filter     the filter module itself, for its path (hosts load it through COM)
# KwFilter_JPEG::kwjpeg     the tool, which also registers the filter
# One include folder for all: headers are named <kwfilter/...>.
set_target_properties(kwplatform PROPERTIES EXPORT_NAME platform)
target_include_directories(kwplatform INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(kwinterfaces PROPERTIES EXPORT_NAME interfaces)
target_include_directories(kwinterfaces INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(kwhost PROPERTIES EXPORT_NAME host)
# The engine's headers use C++17; a host that links it says so to its compiler.
target_compile_features(kwhost INTERFACE cxx_std_17)
# The engine's headers, installed one folder below those of the interfaces (KwInstall.cmake).
kw_install_sdk_headers(kwfilter/host ${KW_HOST_ENGINE_HEADERS})
set_target_properties(KwFilter_JPEG PROPERTIES EXPORT_NAME filter)

install(EXPORT KwFilter_JPEGTargets
  NAMESPACE KwFilter_JPEG::
  FILE KwFilter_JPEGTargets.cmake
  DESTINATION ${KW_SDK_CMAKE_DIR}
  COMPONENT dev)
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
  DESTINATION ${KW_SDK_CMAKE_DIR}
  COMPONENT dev)

# pkg-config: by default the prefix is found from the file's own folder
# (${pcfiledir}), so that an installed tree can be moved; a distribution's
# package names its fixed paths instead (scripts/package).
option(KW_RELOCATABLE_PC "The pkg-config file finds its prefix from its own folder" ON)
set(KW_SDK_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(KW_RELOCATABLE_PC)
  file(RELATIVE_PATH kw_pc_to_prefix /${KW_SDK_PC_DIR} /)
  string(REGEX REPLACE "/$" "" kw_pc_to_prefix "${kw_pc_to_prefix}")
  set(KW_PC_PREFIX "\${pcfiledir}/${kw_pc_to_prefix}")
  set(KW_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(KW_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(KW_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(KW_PC_LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
  set(KW_PC_INCLUDEDIR ${CMAKE_INSTALL_FULL_INCLUDEDIR})
endif()
configure_file(cmake/kwfilter-jpeg.pc.in ${CMAKE_CURRENT_BINARY_DIR}/sdk/kwfilter-jpeg.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sdk/kwfilter-jpeg.pc DESTINATION ${KW_SDK_PC_DIR} COMPONENT dev)
