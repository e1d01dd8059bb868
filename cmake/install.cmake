# Installing zpi50: both shared libraries, the public headers in a folder of
# their own (include/zpi50), a CMake package and a pkg-config file.
#
#   find_package(zpi50 CONFIG REQUIRED)   -> zpi50::zpi50, zpi50::zbase50
#   pkg-config --cflags --libs zpi50
#
# Xerces-C is a private dependency of the shared library: a program that
# links zpi50 neither compiles against it nor links it.
include(CMakePackageConfigHelpers)

# The public headers: zpi50.h and every header it brings in, directly or
# through another: every header directly in api/, and the base library's
# headers they use. None of kernel/, xml/, neutral/, client/ or journal/
# belongs here; scripts/stages/50-install.sh checks that the installed set
# is exactly what zpi50.h reaches, that it holds every header of api/, and
# that every export of the external interface is declared there.
set(ZPI_PUBLIC_HEADERS
  api/zpi50.h
  api/zpi50_client.h
  api/zpi50_journal.h
  api/zpi50_export.h
  api/zpi50_status.h
  api/kpi_enums.h
  api/kpi_interfaces.h
  api/kpi_ops.h
  api/kpi_session.h
  api/qel_records.h
  base/journal/kkjournal.h
  base/memory/xmemory.h
  base/runtime/kcommon.h
  base/runtime/kvalues.h
  base/process/process.h
  base/runtime/xany.h
  base/runtime/xexcept.h
  base/runtime/xhandle.h
  base/runtime/xobject.h
  base/runtime/xrtti.h
  base/runtime/xsequence.h
  base/text/xstring.h
  base/zbase_export.h)
list(TRANSFORM ZPI_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/)
install(FILES ${ZPI_PUBLIC_HEADERS} DESTINATION ${ZPI_INSTALL_INCLUDEDIR})

set(ZPI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zpi50)
install(TARGETS zbase50 zpi50 EXPORT zpi50Targets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT zpi50Targets NAMESPACE zpi50:: DESTINATION ${ZPI_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zpi50Config.cmake.in
  ${PROJECT_BINARY_DIR}/zpi50Config.cmake INSTALL_DESTINATION ${ZPI_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zpi50ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zpi50Config.cmake ${PROJECT_BINARY_DIR}/zpi50ConfigVersion.cmake
  DESTINATION ${ZPI_CMAKE_DIR})

# The pkg-config file finds the prefix from its own folder, so the tree works
# wherever it is installed (also with cmake --install --prefix).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(ZPI_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(ZPI_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH ZPI_PC_UP /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" ZPI_PC_UP "${ZPI_PC_UP}")
  set(ZPI_PC_PREFIX "\${pcfiledir}/${ZPI_PC_UP}")
  set(ZPI_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${ZPI_INSTALL_INCLUDEDIR}")
  set(ZPI_PC_INCLUDEDIR "${ZPI_INSTALL_INCLUDEDIR}")
else()
  set(ZPI_PC_INCLUDEDIR "\${prefix}/${ZPI_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zpi50.pc.in ${PROJECT_BINARY_DIR}/zpi50.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zpi50.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
