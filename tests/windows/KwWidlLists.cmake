# cmake -DKW_IN=widl-header -DKW_OUT=lists-header -P KwWidlLists.cmake
# Lists what a header that widl generated declares, as X macros, so that the
# type-library check compares the library with the header and nothing restates
# either: every entry of every C vtable struct in order, the interfaces that
# have an IID, and each enumeration's constants in order.
file(READ ${KW_IN} text)
# A semicolon would split CMake lists; nothing below needs one.
string(REPLACE ";" "," text "${text}")

set(interfaces "")
string(REGEX MATCHALL "DEFINE_GUID\\(IID_[A-Za-z0-9_]+," iids "${text}")
foreach(iid IN LISTS iids)
  string(REGEX REPLACE "DEFINE_GUID\\(IID_([A-Za-z0-9_]+)," "\\1" name "${iid}")
  string(APPEND interfaces "    X(${name}) \\\n")
endforeach()

set(members "")
string(REGEX MATCHALL "typedef struct [A-Za-z0-9_]+Vtbl {[^}]*}" vtables "${text}")
foreach(vtable IN LISTS vtables)
  string(REGEX MATCH "typedef struct ([A-Za-z0-9_]+)Vtbl" ignored "${vtable}")
  set(itf ${CMAKE_MATCH_1})
  string(REGEX MATCHALL "\\(STDMETHODCALLTYPE \\*[A-Za-z0-9_]+\\)" entries "${vtable}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE ".*\\*([A-Za-z0-9_]+)\\)" "\\1" name "${entry}")
    string(APPEND members "    X(${itf}, ${name}) \\\n")
  endforeach()
endforeach()

set(constants "")
string(REGEX MATCHALL "typedef enum [A-Za-z0-9_]+ [^{]*{[^}]*}" enums "${text}")
foreach(enum IN LISTS enums)
  string(REGEX MATCH "typedef enum ([A-Za-z0-9_]+)" ignored "${enum}")
  set(type ${CMAKE_MATCH_1})
  string(REGEX MATCHALL "[A-Za-z0-9_]+ =" names "${enum}")
  foreach(name IN LISTS names)
    string(REPLACE " =" "" name "${name}")
    string(APPEND constants "    X(${type}, ${name}) \\\n")
  endforeach()
endforeach()

if(interfaces STREQUAL "" OR members STREQUAL "" OR constants STREQUAL "")
  message(FATAL_ERROR "${KW_IN}: no interfaces, vtables or enumerations found")
endif()
get_filename_component(header ${KW_IN} NAME)
file(WRITE ${KW_OUT} "// Generated from ${header} by KwWidlLists.cmake.
#pragma once
#define KW_WIDL_INTERFACES(X) \\\n${interfaces}
#define KW_WIDL_MEMBERS(X) \\\n${members}
#define KW_WIDL_CONSTANTS(X) \\\n${constants}
")
