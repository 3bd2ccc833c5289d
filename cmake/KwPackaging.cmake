# The Windows zip, made by scripts/package through CPack: the DLL, the tool and
# the files a Windows host developer builds against. (The Debian packages are
# made by scripts/package from the install components of cmake/KwInstall.cmake
# and the control files in cmake/debian/.)
if(NOT WIN32)
  return()
endif()
set(CPACK_PACKAGE_VENDOR "Quarvenx")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG file format filter for the Quarvenx host engine (COM in-process server)")
set(CPACK_PACKAGE_CONTACT "KwFilter_JPEG developers <kwfilter@quarvenx.invalid>")

include(${CMAKE_CURRENT_LIST_DIR}/KwWindowsSdk.cmake)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME KwFilter_JPEG)
set(CPACK_PACKAGE_FILE_NAME KwFilter_JPEG-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
