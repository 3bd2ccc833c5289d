# widl, the IDL compiler of mingw-w64-tools, which both builds run on the one
# IDL: for the C++ declarations of the interfaces (kw_widl_header) and, on
# Windows, for the type library. The Windows build imports the standard
# oaidl.idl/ocidl.idl (libwine-dev) and stdole2.tlb (wine64). The native build
# writes only the header, for which the few SDK types of cmake/widl/ do, so
# building the product natively needs no Wine; the test build checks that they
# give the header that the standard files give.
if(NOT KW_WIDL)
  find_program(KW_WIDL NAMES x86_64-w64-mingw32-widl widl)
endif()
if(NOT KW_WIDL)
  message(FATAL_ERROR "The interfaces are generated from the IDL by widl (mingw-w64-tools); scripts/setup installs it")
endif()
if(WIN32 OR KW_BUILD_TESTS)
  find_path(KW_WINDOWS_IDL_DIR oaidl.idl
    PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT KW_WINDOWS_IDL_DIR)
    message(FATAL_ERROR "widl needs the standard oaidl.idl (libwine-dev) for the Windows build and the tests; "
                        "scripts/setup installs it")
  endif()
endif()
if(WIN32)
  set(KW_WIDL_IDL_DIR ${KW_WINDOWS_IDL_DIR})
  set(KW_WIDL_IMPORTS)
else()
  set(KW_WIDL_IDL_DIR ${CMAKE_CURRENT_LIST_DIR}/widl)
  set(KW_WIDL_IMPORTS ${KW_WIDL_IDL_DIR}/oaidl.idl ${KW_WIDL_IDL_DIR}/ocidl.idl)
endif()
set(KW_WIDL_HEADER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/KwWidlHeader.cmake)

# Generates `header` from `idl` (widl -h), and with a third argument the copy
# to install, which names the SDK stand-ins it includes <kwfilter/posix/sdk/...>.
# widl runs in the IDL's folder on its plain name, so the header names no build path.
function(kw_widl_header idl header)
  get_filename_component(idl_dir ${idl} DIRECTORY)
  get_filename_component(idl_name ${idl} NAME)
  get_filename_component(header_dir ${header} DIRECTORY)
  get_filename_component(header_name ${header} NAME)
  set(raw ${header_dir}/widl/${header_name})
  set(outputs ${header})
  set(installed_arg)
  if(ARGC GREATER 2)
    list(APPEND outputs ${ARGV2})
    set(installed_arg -DKW_INSTALLED=${ARGV2})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${header_dir}/widl
    COMMAND ${KW_WIDL} -h -I ${KW_WIDL_IDL_DIR} -H ${raw} ${idl_name}
    COMMAND ${CMAKE_COMMAND} -DKW_IN=${raw} -DKW_OUT=${header} ${installed_arg} -P ${KW_WIDL_HEADER_SCRIPT}
    WORKING_DIRECTORY ${idl_dir}
    DEPENDS ${idl} ${KW_WIDL_HEADER_SCRIPT} ${KW_WIDL_IMPORTS}
    COMMENT "Generating ${header_name} from ${idl_name}"
    VERBATIM)
endfunction()

# The native header made with cmake/widl/ is the one the standard files give.
if(KW_BUILD_TESTS AND NOT WIN32)
  add_test(NAME build.InterfacesHeaderAsFromStandardIdl
    COMMAND ${CMAKE_COMMAND} -DKW_WIDL=${KW_WIDL} -DKW_IDL=${PROJECT_SOURCE_DIR}/src/interfaces/KwFilter_JPEG.idl
      -DKW_DIRS=${KW_WIDL_IDL_DIR}|${KW_WINDOWS_IDL_DIR} -DKW_OUT=${PROJECT_BINARY_DIR}/widl-compare
      -P ${CMAKE_CURRENT_LIST_DIR}/KwWidlCompare.cmake)
endif()
