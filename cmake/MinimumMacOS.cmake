# NUVRA_MINIMUM_MACOS, the bundle's LSMinimumSystemVersion: the oldest macOS on which everything
# the bundle carries runs. That is the newest of our own deployment target, the oldest macOS the
# Qt in use supports, and the macOS its libraries were built for (Homebrew builds its Qt for the
# macOS of the machine that built the bottle, which may be newer than what Qt itself supports).
# Nothing here is written by hand: a newer Qt moves it. Elsewhere it is the deployment target.
# Included from the top-level list after find_package(Qt6).

set(NUVRA_MINIMUM_MACOS ${CMAKE_OSX_DEPLOYMENT_TARGET})

function(nuvra_raise_minimum_macos version why)
  if(version AND version VERSION_GREATER NUVRA_MINIMUM_MACOS)
    set(NUVRA_MINIMUM_MACOS ${version} PARENT_SCOPE)
    message(STATUS "LSMinimumSystemVersion ${version}: ${why}")
  endif()
endfunction()

if(APPLE)
  # The deployment target Qt itself was built with, which Qt records on its Core target.
  get_target_property(nuvra_qt_target Qt6::Core QT_DARWIN_MIN_DEPLOYMENT_TARGET)
  if(nuvra_qt_target)
    nuvra_raise_minimum_macos(${nuvra_qt_target} "the deployment target of the Qt in use")
  endif()
  # The oldest macOS this Qt version supports at all, from its package configuration.
  nuvra_raise_minimum_macos("${QT_SUPPORTED_MIN_MACOS_VERSION}" "the oldest macOS Qt supports")

  # The load commands of QtCore say which macOS its build needs (LC_BUILD_VERSION's minos, or the
  # older LC_VERSION_MIN_MACOSX).
  get_target_property(nuvra_qtcore Qt6::Core LOCATION)
  execute_process(COMMAND otool -l ${nuvra_qtcore} OUTPUT_VARIABLE nuvra_load_commands
                  RESULT_VARIABLE nuvra_otool_status)
  if(NOT nuvra_otool_status EQUAL 0)
    message(FATAL_ERROR "otool -l ${nuvra_qtcore} failed: cannot tell which macOS Qt needs")
  endif()
  if(nuvra_load_commands MATCHES "minos ([0-9.]+)")
    nuvra_raise_minimum_macos(${CMAKE_MATCH_1} "what ${nuvra_qtcore} was built for")
  elseif(nuvra_load_commands MATCHES "LC_VERSION_MIN_MACOSX[^\n]*\n[^\n]*\n *version ([0-9.]+)")
    nuvra_raise_minimum_macos(${CMAKE_MATCH_1} "what ${nuvra_qtcore} was built for")
  endif()
endif()
