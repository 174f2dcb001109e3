# What `cmake --install` puts where, and the Debian package built from it
# (`make package`, i.e. `cpack -G DEB` in the build folder).
include(GNUInstallDirs)

install(TARGETS propsmooth RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/doc/propsmooth.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
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
  install(FILES ${PROJECT_SOURCE_DIR}/doc/propsmooth-report.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME propsmooth)
set(CPACK_PACKAGE_VENDOR "propsmooth developers")
set(CPACK_PACKAGE_CONTACT "propsmooth developers <propsmooth@localhost>")
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
include(CPack)
