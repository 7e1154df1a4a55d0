# Install rules: the shared library with its SONAME, the C header, a CMake
# package (find_package(zeb) gives zeb::zeb) with a version file, a
# pkg-config file, and the two command-line tools. Every path in the
# package and the .pc file is relative to where they end up, so an
# installed tree can be moved (cmake --install --prefix decides late).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zeb)

install(TARGETS zeb EXPORT zebTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/zeb.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT zebTargets NAMESPACE zeb:: DESTINATION ${ZEB_CMAKE_DIR} COMPONENT development)

# Consumers link the shared library only: mbedtls and zlib are inside it,
# behind the version script, so the package needs no find_dependency.
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zebConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zebConfig.cmake INSTALL_DESTINATION ${ZEB_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zebConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zebConfig.cmake ${PROJECT_BINARY_DIR}/zebConfigVersion.cmake
  DESTINATION ${ZEB_CMAKE_DIR} COMPONENT development)

# ${pcfiledir} keeps the .pc file valid wherever the tree is installed.
file(RELATIVE_PATH ZEB_PC_TO_PREFIX
  /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ZEB_PC_TO_PREFIX "${ZEB_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zeb.pc.in ${PROJECT_BINARY_DIR}/zeb.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zeb.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

foreach(tool zeb_inspect zeb_callhome)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
