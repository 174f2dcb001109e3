# What `cmake --install` puts where, and the Debian package built from it
# (`make package`, i.e. `cpack -G DEB` in the build folder).
include(GNUInstallDirs)

# The package's maintainer, also named in its copyright file.
set(PROPSMOOTH_CONTACT "propsmooth developers <propsmooth@example.org>")

# Debian wants manual pages and changelogs compressed: installs SOURCE as
# NAME.gz in DESTINATION, compressed at build time with gzip -9n (no name or
# time stamp in the file, so that the package is reproducible); as NAME,
# uncompressed, where there is no gzip.
find_program(PROPSMOOTH_GZIP gzip)
if(NOT PROPSMOOTH_GZIP)
  message(STATUS "gzip not found: manual pages and changelog are installed uncompressed")
endif()
function(propsmooth_install_gzipped source name destination)
  if(NOT PROPSMOOTH_GZIP)
    install(FILES ${source} DESTINATION ${destination} RENAME ${name})
    return()
  endif()
  set(plain ${PROJECT_BINARY_DIR}/gzipped/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gzipped
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${PROPSMOOTH_GZIP} -9nf ${plain}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(gzip_${name} ALL DEPENDS ${plain}.gz)
  install(FILES ${plain}.gz DESTINATION ${destination})
endfunction()

install(TARGETS propsmooth RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
propsmooth_install_gzipped(${PROJECT_SOURCE_DIR}/doc/propsmooth.1 propsmooth.1
  ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/propsmooth)
# A package that is its own upstream (no Debian revision) has changelog.gz.
propsmooth_install_gzipped(${PROJECT_SOURCE_DIR}/packaging/debian/changelog changelog
  ${CMAKE_INSTALL_DATADIR}/doc/propsmooth)
# The license in Debian's machine-readable form (DEP-5; "Expat" is its name
# for this MIT license), its copyright line and text taken from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE PROPSMOOTH_LICENSE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(NOT PROPSMOOTH_LICENSE MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(Permission .*)$")
  message(FATAL_ERROR "LICENSE: no 'Copyright (c) ...' line followed by the permission text")
endif()
set(PROPSMOOTH_COPYRIGHT "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" PROPSMOOTH_LICENSE_TEXT)
# Every line indented by one space, an empty one written as " .".
string(REPLACE "\n\n" "\n.\n" PROPSMOOTH_LICENSE_TEXT "${PROPSMOOTH_LICENSE_TEXT}")
string(REPLACE "\n" "\n " PROPSMOOTH_LICENSE_TEXT " ${PROPSMOOTH_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in
  ${PROJECT_BINARY_DIR}/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/propsmooth)
# The README shows it by this relative path.
install(FILES ${PROJECT_SOURCE_DIR}/docs/report.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/propsmooth/docs)
# The data files only: the scripts beside them expect a source tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/propsmooth/examples
  FILES_MATCHING PATTERN "*.txt")
# The companion report and its page, when it is built (this file is read
# after src/report_tool).
if(TARGET propsmooth-report)
  install(TARGETS propsmooth-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  propsmooth_install_gzipped(${PROJECT_SOURCE_DIR}/doc/propsmooth-report.1 propsmooth-report.1
    ${CMAKE_INSTALL_MANDIR}/man1)
  # Its GIS module, which it finds from its own folder (src/gis).
  if(TARGET propsmooth_gis_module)
    install(TARGETS propsmooth_gis_module LIBRARY DESTINATION ${PROPSMOOTH_GIS_MODULE_DIR})
  endif()
endif()
# The Python package, when it is built: its folder is chosen when the files
# are installed (cmake/InstallPythonPackage.cmake), since `cmake --install
# --prefix` may name another prefix than the configuration did.
if(TARGET propsmooth_python)
  install(CODE "set(PROPSMOOTH_PYTHON_FILES \"${PROPSMOOTH_PYTHON_SOURCES};$<TARGET_FILE:propsmooth_python>\")
    set(PROPSMOOTH_PYTHON_VERSION ${PROPSMOOTH_PYTHON_VERSION})
    set(PROPSMOOTH_STRIP \"${CMAKE_STRIP}\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallPythonPackage.cmake)
endif()

set(CPACK_PACKAGE_NAME propsmooth)
set(CPACK_PACKAGE_VENDOR "propsmooth developers")
set(CPACK_PACKAGE_CONTACT "${PROPSMOOTH_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "empirical Bayes estimates of proportions (binomial-beta model)")
set(CPACK_PACKAGE_DESCRIPTION
  "propsmooth reads counts and sizes of regions, fits a beta distribution to\n\
their proportions by moments and by maximum likelihood, and writes each\n\
region's raw and empirical Bayes proportions as a tab-separated table.")
if(TARGET propsmooth-report)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\n\
propsmooth-report writes the same estimates as one HTML page, with plots\n\
and credible intervals.")
endif()
if(TARGET propsmooth_python)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\n\
The Python module propsmooth gives the same estimates for pandas and Dask\n\
DataFrames.")
endif()
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# A package installs under /usr whatever prefix the build was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the packages and versions of the shared libraries the
# binaries load: the C and C++ runtimes, Highway's (libhwy1) and, for the
# report tool, libcsv's (libcsv3), without which a program cannot start.
# Where it is missing (no dpkg-dev), name them without versions.
find_program(PROPSMOOTH_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(PROPSMOOTH_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(STATUS "dpkg-shlibdeps not found (dpkg-dev): the package's "
    "dependencies will carry no versions")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libhwy1")
  if(TARGET propsmooth-report)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libcsv3")
  endif()
endif()
# The module is built for one minor version of Python, whose ABI its file
# name carries; numpy it imports, pandas its smooth needs, Dask its dask
# part alone.
if(TARGET propsmooth_python)
  set(PROPSMOOTH_PYTHON_DEPENDS "python3 (>= ${PROPSMOOTH_PYTHON_VERSION}), \
python3 (<< ${PROPSMOOTH_PYTHON_NEXT_VERSION}), python3-numpy")
  if(CPACK_DEBIAN_PACKAGE_DEPENDS)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${PROPSMOOTH_PYTHON_DEPENDS}")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${PROPSMOOTH_PYTHON_DEPENDS}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-pandas")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-dask, python3-distributed")
endif()
include(CPack)
