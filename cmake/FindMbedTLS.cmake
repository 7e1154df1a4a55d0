# Debian's libmbedtls-dev (2.x) ships no CMake package: find the three
# libraries and the headers by hand and wrap them in imported targets.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/ssl.h REQUIRED)
find_library(MBEDTLS_LIBRARY mbedtls REQUIRED)
find_library(MBEDX509_LIBRARY mbedx509 REQUIRED)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
if(NOT TARGET MbedTLS::mbedcrypto)
  add_library(MbedTLS::mbedcrypto UNKNOWN IMPORTED)
  set_target_properties(MbedTLS::mbedcrypto PROPERTIES
    IMPORTED_LOCATION ${MBEDCRYPTO_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${MBEDTLS_INCLUDE_DIR})
  add_library(MbedTLS::mbedx509 UNKNOWN IMPORTED)
  set_target_properties(MbedTLS::mbedx509 PROPERTIES
    IMPORTED_LOCATION ${MBEDX509_LIBRARY}
    INTERFACE_LINK_LIBRARIES MbedTLS::mbedcrypto)
  add_library(MbedTLS::mbedtls UNKNOWN IMPORTED)
  set_target_properties(MbedTLS::mbedtls PROPERTIES
    IMPORTED_LOCATION ${MBEDTLS_LIBRARY}
    INTERFACE_LINK_LIBRARIES MbedTLS::mbedx509)
endif()
