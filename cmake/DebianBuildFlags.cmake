# Debian's build flags with every hardening feature (stack protector, fortified libc calls,
# format-string checks, full RELRO with bind-now), taken from dpkg-buildflags wherever it is
# at hand. The tests then run the very code the package ships. They go in front of the
# flags of the build type, so a Debug build keeps its -O0 (and gets no fortify, which needs
# optimisation).
find_program(QUORVEX_DPKG_BUILDFLAGS dpkg-buildflags)
if(QUORVEX_DPKG_BUILDFLAGS AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(QUORVEX_DEB_BUILDFLAGS_DEFAULT ON)
else()
  set(QUORVEX_DEB_BUILDFLAGS_DEFAULT OFF)
endif()
option(QUORVEX_DEB_BUILDFLAGS "compile and link with dpkg-buildflags (hardening=+all)" ${QUORVEX_DEB_BUILDFLAGS_DEFAULT})

if(QUORVEX_DEB_BUILDFLAGS)
  if(NOT QUORVEX_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "QUORVEX_DEB_BUILDFLAGS is on, but dpkg-buildflags was not found (package dpkg-dev)")
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${QUORVEX_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} # the source paths its -ffile-prefix-map shortens
      OUTPUT_VARIABLE QUORVEX_DEB_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
  endforeach()
  set(CMAKE_CXX_FLAGS "${QUORVEX_DEB_CPPFLAGS} ${QUORVEX_DEB_CXXFLAGS} ${CMAKE_CXX_FLAGS}")
  foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS "${QUORVEX_DEB_LDFLAGS} ${CMAKE_${kind}_LINKER_FLAGS}")
  endforeach()
  message(STATUS "Debian build flags: ${QUORVEX_DEB_CPPFLAGS} ${QUORVEX_DEB_CXXFLAGS} | ${QUORVEX_DEB_LDFLAGS}")
endif()
