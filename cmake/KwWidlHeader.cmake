# cmake -DKW_IN=widl-header -DKW_OUT=header [-DKW_INSTALLED=header] -P KwWidlHeader.cmake
# Copies a header that widl generated, giving each enumeration the 32-bit int
# underlying type it has in the type library. widl cannot say it, and without
# it C++ gives an enumeration only the range of its constants, so a value
# outside the list that a caller passes (and the filter refuses) would be
# undefined behaviour. KW_INSTALLED: the same for the native SDK, whose
# stand-ins for the Windows SDK headers are named <kwfilter/posix/sdk/...>
# so that the one include folder of the SDK finds them. A header whose text is
# unchanged keeps its time, so a change of the IDL that widl leaves out of the
# header (a DISPID, a help string) rebuilds nothing that includes it.
function(kw_write path text)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

file(READ ${KW_IN} text)
string(REGEX REPLACE "\ntypedef enum ([A-Za-z0-9_]+) {\n" "\ntypedef enum \\1 : int {\n" text "${text}")
kw_write(${KW_OUT} "${text}")
if(KW_INSTALLED)
  string(REGEX REPLACE "#include <(windows|ole2|oaidl|ocidl)\\.h>" "#include <kwfilter/posix/sdk/\\1.h>" text "${text}")
  kw_write(${KW_INSTALLED} "${text}")
endif()
