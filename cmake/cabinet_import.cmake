# Import library for FDICreate, FDICopy and FDIDestroy of cabinet.dll, bound
# by ordinal (20, 22, 23) rather than by name, made with the toolchain's own
# tool: lib for Visual Studio, dlltool for MinGW. The machine follows the
# pointer size. The functions are cdecl, so the 32-bit symbols carry the
# leading underscore both tools give them by default.
set(ORVI_CABINET_DEF ${CMAKE_SOURCE_DIR}/cmake/cabinet.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ORVI_LIB_MACHINE X86)
  set(ORVI_DLLTOOL_MACHINE i386)
else()
  set(ORVI_LIB_MACHINE X64)
  set(ORVI_DLLTOOL_MACHINE i386:x86-64)
endif()

if(MSVC)
  # CMake finds the toolchain's lib.exe as CMAKE_AR; else it sits beside link.exe.
  if(CMAKE_AR)
    set(ORVI_LIB ${CMAKE_AR})
  else()
    get_filename_component(ORVI_MSVC_BIN "${CMAKE_LINKER}" DIRECTORY)
    find_program(ORVI_LIB NAMES lib HINTS ${ORVI_MSVC_BIN} REQUIRED)
  endif()
  set(ORVI_CABINET_IMPLIB ${CMAKE_BINARY_DIR}/lib/cabinet_fdi.lib)
  set(ORVI_IMPLIB_COMMAND ${ORVI_LIB} /nologo /def:${ORVI_CABINET_DEF} /machine:${ORVI_LIB_MACHINE}
                          /out:${ORVI_CABINET_IMPLIB})
else()
  find_program(ORVI_DLLTOOL NAMES ${ORVI_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
  set(ORVI_CABINET_IMPLIB ${CMAKE_BINARY_DIR}/lib/libcabinet_fdi.a)
  # dlltool names the library's symbols after the output path it is given
  # (__head_<path>): a bare name, made in the library's folder, keeps the
  # build folder out of the exes' symbols, so a build elsewhere gives the
  # same bytes.
  set(ORVI_IMPLIB_COMMAND ${ORVI_DLLTOOL} -m ${ORVI_DLLTOOL_MACHINE} -d ${ORVI_CABINET_DEF}
                          -l libcabinet_fdi.a)
endif()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
add_custom_command(
  OUTPUT ${ORVI_CABINET_IMPLIB}
  COMMAND ${ORVI_IMPLIB_COMMAND}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/lib
  DEPENDS ${ORVI_CABINET_DEF}
  COMMENT "Making the ordinal import library of cabinet.dll")
add_custom_target(orvi_cabinet_implib DEPENDS ${ORVI_CABINET_IMPLIB})
add_dependencies(orvi_engine orvi_cabinet_implib)
target_link_libraries(orvi_engine PUBLIC ${ORVI_CABINET_IMPLIB})
