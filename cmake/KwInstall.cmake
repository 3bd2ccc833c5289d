# The install rules of the native build, by component (included from the top
# level; scripts/package makes one Debian package of each component):
#   platform  libkwplatform.so.N.N.N and its SONAME link
#   filter    the filter module, in the private plugin folder
#   tool      kwjpeg and its man page
#   dev       the development link, the static libraries, the headers,
#             the CMake and pkg-config files and the example host
install(TARGETS kwplatform EXPORT KwFilter_JPEGTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT platform NAMELINK_COMPONENT dev)
install(TARGETS kwinterfaces kwhost EXPORT KwFilter_JPEGTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
set_target_properties(KwFilter_JPEG PROPERTIES INSTALL_RPATH "$ORIGIN/..")
install(TARGETS KwFilter_JPEG EXPORT KwFilter_JPEGTargets
  LIBRARY DESTINATION ${KW_INSTALL_PLUGINDIR} COMPONENT filter)
set_target_properties(kwjpeg PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS kwjpeg EXPORT KwFilter_JPEGTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
install(FILES docs/kwjpeg.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
include(${CMAKE_CURRENT_LIST_DIR}/KwRunPaths.cmake)

# Headers, all under include/kwfilter and included as <kwfilter/...>. No
# source file: the GUIDs are defined once, in libkwinterfaces.a (the target
# KwFilter_JPEG::interfaces), as a MIDL GUID file is compiled once into a
# Windows host, and the header keeps the same extern "C" declarations there.
# KwFilter_JPEG.h is the header widl generates from the IDL; it includes the
# stand-ins of posix/sdk for the Windows SDK headers (src/CMakeLists.txt).
# In the tree headers name each other from the root of src/ ("com/KwComPtr.h",
# "interfaces/KwFilter_JPEG.h") and the platform header by its plain name;
# the installed copies name them <kwfilter/...>, which the SDK's one include
# folder finds from include/kwfilter and include/kwfilter/host alike.
function(kw_install_sdk_headers destination)
  set(kw_installed)
  foreach(kw_header IN LISTS ARGN)
    get_filename_component(kw_name ${kw_header} NAME)
    file(READ ${kw_header} kw_text)
    string(REGEX REPLACE "#include \"(com|interfaces)/([A-Za-z0-9_]+\\.h)\"" "#include <kwfilter/\\2>"
           kw_text "${kw_text}")
    string(REPLACE "#include \"KwPlatform.h\"" "#include <kwfilter/KwPlatform.h>" kw_text "${kw_text}")
    # Written only when changed, so that an install copies no header anew.
    file(WRITE ${PROJECT_BINARY_DIR}/sdk/new/${destination}/${kw_name} "${kw_text}")
    configure_file(${PROJECT_BINARY_DIR}/sdk/new/${destination}/${kw_name}
                   ${PROJECT_BINARY_DIR}/sdk/${destination}/${kw_name} COPYONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kw_header})
    list(APPEND kw_installed ${PROJECT_BINARY_DIR}/sdk/${destination}/${kw_name})
  endforeach()
  install(FILES ${kw_installed} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${destination} COMPONENT dev)
endfunction()
kw_install_sdk_headers(kwfilter ${PROJECT_SOURCE_DIR}/src/interfaces/KwFilterInterfaces.h
  ${PROJECT_SOURCE_DIR}/src/com/KwComPtr.h ${PROJECT_SOURCE_DIR}/src/com/KwAutomation.h
  ${PROJECT_SOURCE_DIR}/src/com/KwComObjectBase.h)
install(FILES src/interfaces/KwFilter_JPEG.idl ${KW_INSTALLED_INTERFACES_HEADER} platform/KwPlatform.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwfilter COMPONENT dev)
install(DIRECTORY platform/posix/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwfilter/posix COMPONENT dev
  FILES_MATCHING PATTERN "Kw*.h" PATTERN "KwPosixInternal.h" EXCLUDE PATTERN "KwRegistryModel.h" EXCLUDE)
install(DIRECTORY platform/posix/sdk/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwfilter/posix/sdk COMPONENT dev)
# The example host, which builds where it lies against the installed SDK
# (uncompressed in the Debian package for that reason).
install(FILES examples/host/CMakeLists.txt examples/host/HostReport.h examples/host/host_example.cpp
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)
# find_package(KwFilter_JPEG CONFIG) and pkg-config for host developers.
include(${CMAKE_CURRENT_LIST_DIR}/KwSdkPackage.cmake)
