# Install rules and the Debian package. Layout under the prefix:
#   lib/libkelhost8kelvor_jdbc_kelcore.so.0.1.0 (SONAME ...so.0) and its links, libkelcore_catalog.a
#   include/kelcore/<folder>/*.h and include/kelcore/KelcoreVersion.h; programs add
#     include/kelcore to their include path and write #include "adt/KelvorTypeADT.h"
#   lib/cmake/kelcore/ (find_package(kelcore)), lib/pkgconfig/kelcore.pc and kelcore-catalog.pc
#   bin/kelcore, share/doc/kelcore/{LICENSE,README.md}
include(CMakePackageConfigHelpers)

set(KELCORE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelcore)

install(TARGETS kelhost8kelvor_jdbc_kelcore kelcore_catalog
        EXPORT kelcoreTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${KELCORE_INSTALL_INCLUDEDIR})
foreach(dir IN LISTS KELCORE_HEADER_DIRS ITEMS catalog)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
          DESTINATION ${KELCORE_INSTALL_INCLUDEDIR}/${dir}
          COMPONENT development
          FILES_MATCHING PATTERN "*.h")
endforeach()
install(FILES ${KELCORE_GENERATED_INCLUDEDIR}/KelcoreVersion.h
        DESTINATION ${KELCORE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT kelcoreTargets NAMESPACE kelcore:: DESTINATION ${KELCORE_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kelcoreConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/kelcoreConfig.cmake
                              INSTALL_DESTINATION ${KELCORE_CMAKE_DIR})
# Before 1.0 a minor release may change the API: only the same major and minor version match.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelcoreConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelcoreConfig.cmake
              ${PROJECT_BINARY_DIR}/kelcoreConfigVersion.cmake
        DESTINATION ${KELCORE_CMAKE_DIR} COMPONENT development)

# pkg-config files find the prefix from their own place, so an install with --prefix (or
# DESTDIR) elsewhere than the configured prefix still gives the right paths.
file(RELATIVE_PATH KELCORE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KELCORE_PC_TO_PREFIX "${KELCORE_PC_TO_PREFIX}")
foreach(pc IN ITEMS kelcore kelcore-catalog)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
endforeach()

if(KELCORE_BUILD_TOOLS)
  install(TARGETS kelcore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# One Debian package with everything installed (scripts/package.sh builds it). Its run-time
# dependencies (the C and C++ run-time libraries) are read from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelcore)
set(CPACK_PACKAGE_VENDOR "kelcore developers")
set(CPACK_PACKAGE_CONTACT "kelcore developers <kelcore@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Headers use C++20 and pthreads: a compiler and the C++ library headers come with it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libstdc++-12-dev | libstdc++-dev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkg-config, cmake (>= 3.22)")
include(CPack)
