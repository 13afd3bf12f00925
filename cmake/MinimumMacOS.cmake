# NUVRA_MINIMUM_MACOS, the bundle's LSMinimumSystemVersion: the oldest macOS on which everything
# the bundle carries runs. That is the newest of our own deployment target, the oldest macOS the
# Qt in use supports and the macOS each library the programs link was built for: a library from
# Homebrew is built for the macOS of the machine that built the bottle, which may be newer than
# what its project supports, and Homebrew's Qt modules need not agree with each other. Nothing here
# is written by hand: other libraries move it. scripts/mac-check-bundle.sh holds every Mach-O file
# of the finished bundle to it. Elsewhere it is the deployment target.
# Included from the top-level list after find_package(Qt6) and the libplist look-up.

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

  # What the linker recorded in each library the bundle's programs link (the libraries these
  # pull in come from the same builds).
  set(nuvra_linked_libraries "")
  foreach(module Core Gui Qml Quick Svg)
    get_target_property(nuvra_library Qt6::${module} LOCATION)
    if(nuvra_library MATCHES "/([^/]+)[.]framework$")
      set(nuvra_library "${nuvra_library}/${CMAKE_MATCH_1}")
    endif()
    list(APPEND nuvra_linked_libraries ${nuvra_library})
  endforeach()
  foreach(nuvra_library ${LIBPLIST_LINK_LIBRARIES})
    if(nuvra_library MATCHES "[.]dylib$")
      list(APPEND nuvra_linked_libraries ${nuvra_library})
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/mac-minimum-macos.sh ${nuvra_linked_libraries}
                  OUTPUT_VARIABLE nuvra_minimums RESULT_VARIABLE nuvra_minimums_status)
  if(NOT nuvra_minimums_status EQUAL 0)
    message(FATAL_ERROR "scripts/mac-minimum-macos.sh could not read ${nuvra_linked_libraries}: "
                        "cannot tell which macOS the bundle needs")
  endif()
  string(REPLACE "\n" ";" nuvra_minimums "${nuvra_minimums}")
  foreach(nuvra_line ${nuvra_minimums})
    if(nuvra_line MATCHES "^([^\t]+)\t(.+)$")
      if(CMAKE_MATCH_1 STREQUAL "none")
        message(FATAL_ERROR "${CMAKE_MATCH_2} records no minimum macOS: cannot tell which macOS "
                            "the bundle needs")
      endif()
      nuvra_raise_minimum_macos(${CMAKE_MATCH_1} "what ${CMAKE_MATCH_2} was built for")
    endif()
  endforeach()
endif()
