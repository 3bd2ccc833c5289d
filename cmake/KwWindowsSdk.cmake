# What a Windows host developer gets beside the DLL, all from the one IDL: the
# MIDL-style header and GUID file (widl -h, widl -u) and the type library as a
# file. widl runs in the IDL's folder on its plain name, so the generated files
# name no build path. Included from cmake/KwPackaging.cmake on Windows builds,
# after src/ has found widl and compiled the type library.
set(KW_SDK_OUT ${PROJECT_BINARY_DIR}/sdk)
set(KW_SDK_IDL_DIR ${PROJECT_SOURCE_DIR}/src/interfaces)
set(KW_SDK_FILES ${KW_SDK_OUT}/KwFilter_JPEG.h ${KW_SDK_OUT}/KwFilter_JPEG_i.c ${KW_SDK_OUT}/KwFilter_JPEG.tlb)
add_custom_command(OUTPUT ${KW_SDK_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KW_SDK_OUT}
  COMMAND ${KW_WIDL} -h -u -I ${KW_WINDOWS_IDL_DIR} -L ${KW_STDOLE2_DIR}
          -H ${KW_SDK_OUT}/KwFilter_JPEG.h -U ${KW_SDK_OUT}/KwFilter_JPEG_i.c KwFilter_JPEG.idl
  # The same type library that the DLL carries as TYPELIB 1.
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/src/KwFilter_JPEG.tlb ${KW_SDK_OUT}/KwFilter_JPEG.tlb
  WORKING_DIRECTORY ${KW_SDK_IDL_DIR}
  DEPENDS ${KW_SDK_IDL_DIR}/KwFilter_JPEG.idl KwFilter_JPEG
  COMMENT "Generating KwFilter_JPEG.h and KwFilter_JPEG_i.c from the IDL"
  VERBATIM)
add_custom_target(kwfilter_sdk ALL DEPENDS ${KW_SDK_FILES})

# The Windows package: one flat folder.
install(FILES $<TARGET_FILE:KwFilter_JPEG> ${KW_SDK_FILES} ${KW_SDK_IDL_DIR}/KwFilter_JPEG.idl
  ${PROJECT_SOURCE_DIR}/cmake/windows/REGISTER.txt DESTINATION .)
install(FILES $<TARGET_FILE:kwjpeg> DESTINATION . OPTIONAL)
