# Install rules: the shared library with its SONAME, the C header, a CMake
# package (find_package(zeb) gives zeb::zeb) with a version file, a
# pkg-config file, the two command-line tools and the man pages. Every path
# in the package and the .pc file is relative to where they end up, so an
# installed tree can be moved (cmake --install --prefix decides late).
#
# Components: runtime (the library), development (header, CMake package,
# .pc, the libzeb.so link, man 3) and tools (the programs, man 1). The
# Debian packages (cmake/Packaging.cmake) take a second set, deb_*, left
# out of a plain install: under /usr they need the multiarch library
# directory whatever prefix the build was configured for, gzipped man pages
# and a copyright file and changelog per package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZEB_PACKAGE_CONTACT "libzeb-devel@example.org" CACHE STRING
  "Maintainer address of the Debian packages")

write_basic_package_version_file(${PROJECT_BINARY_DIR}/zebConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)

set(ZEB_MAN3 ${PROJECT_SOURCE_DIR}/docs/man/libzeb.3)
set(ZEB_MAN1 ${PROJECT_SOURCE_DIR}/docs/man/zeb-inspect.1
             ${PROJECT_SOURCE_DIR}/docs/man/zeb-callhome.1)

# zeb_install_set(LIBDIR dir PREFIX p [DEB]): one full set of rules with
# the library directory dir. PREFIX names the components (runtime,
# development and tools after it) and the build-tree files of the set.
function(zeb_install_set)
  cmake_parse_arguments(ARG "DEB" "LIBDIR;PREFIX" "" ${ARGN})
  set(libdir ${ARG_LIBDIR})
  set(rt ${ARG_PREFIX}runtime)
  set(dev ${ARG_PREFIX}development)
  set(tools ${ARG_PREFIX}tools)
  set(out ${PROJECT_BINARY_DIR}/install-${ARG_PREFIX}set)
  set(exclude "")
  if(ARG_DEB)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  set(cmakedir ${libdir}/cmake/zeb)

  install(TARGETS zeb EXPORT zebTargets${ARG_PREFIX}
    LIBRARY DESTINATION ${libdir} COMPONENT ${rt} NAMELINK_COMPONENT ${dev} ${exclude})
  install(FILES ${PROJECT_SOURCE_DIR}/include/zeb.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${dev} ${exclude})
  install(EXPORT zebTargets${ARG_PREFIX} FILE zebTargets.cmake NAMESPACE zeb::
    DESTINATION ${cmakedir} COMPONENT ${dev} ${exclude})

  # Consumers link the shared library only: it loads mbedtls and zlib
  # itself and its version script exports none of their symbols, so the
  # package needs no find_dependency (nor their headers).
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zebConfig.cmake.in
    ${out}/zebConfig.cmake INSTALL_DESTINATION ${cmakedir})
  install(FILES ${out}/zebConfig.cmake ${PROJECT_BINARY_DIR}/zebConfigVersion.cmake
    DESTINATION ${cmakedir} COMPONENT ${dev} ${exclude})

  # ${pcfiledir} keeps the .pc file valid wherever the tree is installed.
  file(RELATIVE_PATH ZEB_PC_TO_PREFIX /${libdir}/pkgconfig /)
  string(REGEX REPLACE "/$" "" ZEB_PC_TO_PREFIX "${ZEB_PC_TO_PREFIX}")
  set(CMAKE_INSTALL_LIBDIR ${libdir})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zeb.pc.in ${out}/zeb.pc @ONLY)
  install(FILES ${out}/zeb.pc DESTINATION ${libdir}/pkgconfig COMPONENT ${dev} ${exclude})

  foreach(tool zeb_inspect zeb_callhome)
    if(TARGET ${tool})
      install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${tools} ${exclude})
    endif()
  endforeach()

  if(NOT ARG_DEB)
    install(FILES ${ZEB_MAN3} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT ${dev})
    install(FILES ${ZEB_MAN1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${tools})
    return()
  endif()
  # Debian keeps man pages and changelogs compressed with gzip -9n (no name,
  # no time stamp), so a rebuild gives the same bytes.
  find_program(ZEB_GZIP gzip REQUIRED)
  file(MAKE_DIRECTORY ${out}/man ${out}/doc)
  foreach(page ${ZEB_MAN3} ${ZEB_MAN1})
    get_filename_component(name ${page} NAME)
    execute_process(COMMAND ${ZEB_GZIP} -9nc ${page} OUTPUT_FILE ${out}/man/${name}.gz
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "gzip ${page} failed")
    endif()
  endforeach()
  install(FILES ${out}/man/libzeb.3.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
    COMPONENT ${dev} EXCLUDE_FROM_ALL)
  install(FILES ${out}/man/zeb-inspect.1.gz ${out}/man/zeb-callhome.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${tools} EXCLUDE_FROM_ALL)

  # Every package carries the licence as its copyright file and a changelog.
  # SOURCE_DATE_EPOCH, when set, gives the time stamp (string(TIMESTAMP)).
  string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)
  foreach(pkg libzeb5 libzeb-dev zeb-tools)
    file(WRITE ${out}/doc/${pkg}.changelog
      "${pkg} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
      "  * Release ${PROJECT_VERSION}; see CHANGELOG.md in the sources.\n\n"
      " -- The libzeb developers <${ZEB_PACKAGE_CONTACT}>  ${now}\n")
    execute_process(COMMAND ${ZEB_GZIP} -9nc ${out}/doc/${pkg}.changelog
                    OUTPUT_FILE ${out}/doc/${pkg}.changelog.Debian.gz)
  endforeach()
  foreach(pair "libzeb5;${rt}" "libzeb-dev;${dev}" "zeb-tools;${tools}")
    list(GET pair 0 pkg)
    list(GET pair 1 component)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg}
      RENAME copyright COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${out}/doc/${pkg}.changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} RENAME changelog.Debian.gz
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endfunction()

zeb_install_set(LIBDIR ${CMAKE_INSTALL_LIBDIR} PREFIX "")
if(CMAKE_LIBRARY_ARCHITECTURE)
  zeb_install_set(LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} PREFIX deb_ DEB)
else()
  zeb_install_set(LIBDIR lib PREFIX deb_ DEB)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/Packaging.cmake)
