# cmake -DKW_WIDL=widl -DKW_IDL=file.idl -DKW_DIRS=dir1|dir2 -DKW_OUT=folder -P KwWidlCompare.cmake
# Fails unless widl writes the same header from the IDL with either import folder.
string(REPLACE "|" ";" dirs "${KW_DIRS}")
get_filename_component(idl_dir ${KW_IDL} DIRECTORY)
get_filename_component(idl_name ${KW_IDL} NAME)
set(headers)
set(n 0)
foreach(dir IN LISTS dirs)
  math(EXPR n "${n} + 1")
  # The same file name in two folders: widl names its include guard after it.
  file(MAKE_DIRECTORY ${KW_OUT}/${n})
  execute_process(COMMAND ${KW_WIDL} -h -I ${dir} -H ${KW_OUT}/${n}/header.h ${idl_name}
    WORKING_DIRECTORY ${idl_dir} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "widl failed with the imports of ${dir}")
  endif()
  list(APPEND headers ${KW_OUT}/${n}/header.h)
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${headers} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "widl writes another header from ${dirs}: diff ${headers}")
endif()
