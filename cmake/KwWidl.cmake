# widl, the IDL compiler of mingw-w64-tools, which both builds run on the one
# IDL: for the C++ declarations of the interfaces (kw_widl_header) and, on
# Windows, for the type library. It imports the standard oaidl.idl/ocidl.idl
# (libwine-dev); the type library also imports stdole2.tlb (wine64).
if(NOT KW_WIDL)
  find_program(KW_WIDL NAMES x86_64-w64-mingw32-widl widl)
endif()
find_path(KW_WIDL_IDL_DIR oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KW_WIDL OR NOT KW_WIDL_IDL_DIR)
  message(FATAL_ERROR "The interfaces are generated from the IDL by widl (mingw-w64-tools), which needs "
                      "oaidl.idl (libwine-dev); scripts/setup installs them")
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
    DEPENDS ${idl} ${KW_WIDL_HEADER_SCRIPT}
    COMMENT "Generating ${header_name} from ${idl_name}"
    VERBATIM)
endfunction()
