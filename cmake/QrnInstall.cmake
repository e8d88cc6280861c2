# What a host developer receives from `cmake --install`: the library with its
# SONAME links, the public headers, a pkg-config file, a CMake package and the
# quornel program. Every installed path is relative to the prefix, so a staged
# or moved tree (spaces in its path included) still works.
include(CMakePackageConfigHelpers)

set(QRN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quornel)

install(TARGETS quornel EXPORT QuornelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
install(FILES include/quornel/quornel.h include/quornel/quornel_host.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quornel)
install(TARGETS quornel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT QuornelTargets NAMESPACE Quornel:: DESTINATION ${QRN_CMAKE_DIR}
  FILE QuornelTargets.cmake)
configure_package_config_file(cmake/QuornelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuornelConfig.cmake INSTALL_DESTINATION ${QRN_CMAKE_DIR})
# Before 1.0 a new minor version may change the ABI; the SONAME follows the major.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuornelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuornelConfig.cmake
  ${PROJECT_BINARY_DIR}/QuornelConfigVersion.cmake DESTINATION ${QRN_CMAKE_DIR})

# pkg-config finds the prefix from the file's own place (${pcfiledir}).
file(RELATIVE_PATH QRN_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QRN_PC_TO_PREFIX "${QRN_PC_TO_PREFIX}")
configure_file(cmake/quornel.pc.in ${PROJECT_BINARY_DIR}/quornel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quornel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
