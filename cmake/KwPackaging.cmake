# Packages, made by scripts/package through CPack: on Linux a Debian package of
# the installed tree (filter, platform library, kwjpeg, headers, CMake and
# pkg-config files, man page); in the Windows build a zip of the DLL, the tool
# and the files a Windows host developer builds against.
set(CPACK_PACKAGE_VENDOR "Quarvenx")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JPEG file format filter for the Quarvenx host engine (COM in-process server)")
set(CPACK_PACKAGE_CONTACT "KwFilter_JPEG developers <kwfilter@quarvenx.invalid>")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/KwWindowsSdk.cmake)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME KwFilter_JPEG)
  set(CPACK_PACKAGE_FILE_NAME KwFilter_JPEG-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kwfilter-jpeg)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # The synopsis is the package summary above; this is the extended description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"KwFilter_JPEG is an in-process COM server that opens JPEG files (JFIF and
EXIF; baseline, extended and progressive; gray, RGB, CMYK and YCCK) as
documents and saves raster images as baseline JFIF files at quality 75.

This package holds the filter library, the platform layer it runs on, the
kwjpeg tool, and the SDK for host developers: the interface headers and
GUIDs, the reference host engine, a CMake package configuration and a
pkg-config file.")
  # The codec libraries as the distribution packages them, at least the
  # versions built against; the C++ runtime as usual.
  set(KW_DEB_DEPENDS)
  set(KW_DEB_LIBRARIES ${JPEG_LIBRARY_RELEASE} ${PNG_LIBRARY_RELEASE})
  if(NOT JPEG_LIBRARY_RELEASE AND JPEG_LIBRARY)
    list(APPEND KW_DEB_LIBRARIES ${JPEG_LIBRARY})
  endif()
  if(NOT PNG_LIBRARY_RELEASE AND PNG_LIBRARY)
    list(APPEND KW_DEB_LIBRARIES ${PNG_LIBRARY})
  endif()
  foreach(library ${KW_DEB_LIBRARIES})
    get_filename_component(real ${library} REALPATH)
    execute_process(COMMAND dpkg-query -S ${real} OUTPUT_VARIABLE owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REGEX REPLACE "^([^:]+):.*" "\\1" package "${owner}")
    if(package)
      execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
        OUTPUT_VARIABLE version ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
      list(APPEND KW_DEB_DEPENDS "${package} (>= ${version})")
    endif()
  endforeach()
  list(APPEND KW_DEB_DEPENDS libc6 libstdc++6 libgcc-s1)
  list(JOIN KW_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
endif()
include(CPack)
