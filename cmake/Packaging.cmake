# Debian packages, one per component set of cmake/ZebInstall.cmake:
#   libzeb5     the library and its SONAME link (deb_runtime)
#   libzeb-dev  header, CMake package, zeb.pc, the libzeb.so link, man 3
#               (deb_development)
#   zeb-tools   zeb-inspect, zeb-callhome, man 1 (deb_tools)
# `cpack -G DEB` in the build directory writes the three .deb files.
set(CPACK_PACKAGE_NAME libzeb)
set(CPACK_PACKAGE_VENDOR "The libzeb developers")
set(CPACK_PACKAGE_CONTACT "The libzeb developers <${ZEB_PACKAGE_CONTACT}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it above every
# package's own description, whose first line is its synopsis.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# No tar, zip or source packages by default: `cpack` alone means Debian.
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL deb_runtime deb_development)
if(TARGET zeb_inspect OR TARGET zeb_callhome)
  list(APPEND CPACK_COMPONENTS_ALL deb_tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/libzeb")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# dpkg-shlibdeps names the runtime packages of what each binary links
# (libmbedtls, zlib1g, libstdc++, libc); the library package also gets a
# shlibs file, so programs built on it depend on libzeb5.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEB_RUNTIME_PACKAGE_NAME libzeb5)
set(CPACK_DEBIAN_DEB_RUNTIME_PACKAGE_SECTION libs)
# dpkg runs ldconfig through the trigger. CPack still writes a postinst and
# postrm that call it as well (lintian warns; the only way around, empty
# scripts of our own, warns too).
set(CPACK_DEBIAN_DEB_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/deb/triggers)
set(CPACK_DEBIAN_DEB_RUNTIME_DESCRIPTION
  "application-analytics client library with a C interface
libzeb reports what the users of an application do (feature events,
exceptions, sessions, product data) to a call-home server. This package
holds the shared library libzeb.so.5.")

# The CMake package and zeb.pc name only libzeb.so, which loads mbedtls and
# zlib itself: building on it needs neither's headers, so no -dev of them.
set(CPACK_DEBIAN_DEB_DEVELOPMENT_PACKAGE_NAME libzeb-dev)
set(CPACK_DEBIAN_DEB_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEB_DEVELOPMENT_PACKAGE_DEPENDS
  "libzeb5 (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")
set(CPACK_DEBIAN_DEB_DEVELOPMENT_DESCRIPTION
  "application-analytics client library - development files
The C header zeb.h, the CMake package (find_package(zeb 5), target
zeb::zeb), the pkg-config file zeb.pc and the manual page libzeb(3).")

# The tools link the library's core statically, so they need only their own
# shared libraries, not libzeb5.
set(CPACK_DEBIAN_DEB_TOOLS_PACKAGE_NAME zeb-tools)
set(CPACK_DEBIAN_DEB_TOOLS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEB_TOOLS_DESCRIPTION
  "application-analytics client library - tools
zeb-inspect shows what a libzeb data directory holds or what zeb-callhome
received; zeb-callhome is a local call-home server for trying and testing
libzeb clients.")

include(CPack)
