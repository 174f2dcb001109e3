# Installs the Python package (PROPSMOOTH_PYTHON_FILES, built for Python
# PROPSMOOTH_PYTHON_VERSION) where that interpreter finds it under the
# prefix of this installation:
#   /usr        lib/python3/dist-packages (Debian's own packages, the .deb)
#   /usr/local  lib/python3.X/dist-packages (Debian's python3 reads it too)
#   any other P P/lib/python3.X/site-packages (posix_prefix: name it in
#               PYTHONPATH)
# Run by `cmake --install` (CMAKE_INSTALL_PREFIX and DESTDIR as given);
# with --strip (the .deb) the compiled module is stripped as the programs
# are, with PROPSMOOTH_STRIP.
string(REGEX REPLACE "(.)/+$" "\\1" prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(site lib/python3/dist-packages)
elseif(prefix STREQUAL "/usr/local")
  set(site lib/python${PROPSMOOTH_PYTHON_VERSION}/dist-packages)
else()
  set(site lib/python${PROPSMOOTH_PYTHON_VERSION}/site-packages)
endif()
file(INSTALL DESTINATION "${prefix}/${site}/propsmooth" TYPE FILE
  FILES ${PROPSMOOTH_PYTHON_FILES})
if(CMAKE_INSTALL_DO_STRIP AND PROPSMOOTH_STRIP)
  foreach(file IN LISTS PROPSMOOTH_PYTHON_FILES)
    if(file MATCHES "[.]so$")
      get_filename_component(name "${file}" NAME)
      execute_process(COMMAND "${PROPSMOOTH_STRIP}" --strip-unneeded
        "$ENV{DESTDIR}${prefix}/${site}/propsmooth/${name}" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "${PROPSMOOTH_STRIP} failed on ${name}")
      endif()
    endif()
  endforeach()
endif()
