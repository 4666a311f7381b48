# Import library for FDICreate, FDICopy and FDIDestroy of cabinet.dll, bound
# by ordinal (20, 22, 23) rather than by name. The functions are cdecl, so the
# i686 symbols carry dlltool's default leading underscore.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "X86")
  set(ORVI_DLLTOOL_MACHINE i386)
else()
  set(ORVI_DLLTOOL_MACHINE i386:x86-64)
endif()
find_program(ORVI_DLLTOOL NAMES ${ORVI_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
set(ORVI_CABINET_IMPLIB ${CMAKE_BINARY_DIR}/lib/libcabinet_fdi.a)
add_custom_command(
  OUTPUT ${ORVI_CABINET_IMPLIB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
  COMMAND ${ORVI_DLLTOOL} -m ${ORVI_DLLTOOL_MACHINE} -d ${CMAKE_SOURCE_DIR}/cmake/cabinet.def
          -l ${ORVI_CABINET_IMPLIB}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/cabinet.def
  COMMENT "Making the ordinal import library of cabinet.dll")
add_custom_target(orvi_cabinet_implib DEPENDS ${ORVI_CABINET_IMPLIB})
add_dependencies(orvi_core orvi_cabinet_implib)
target_link_libraries(orvi_core PUBLIC ${ORVI_CABINET_IMPLIB})
