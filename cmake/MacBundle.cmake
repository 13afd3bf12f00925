# On macOS the application becomes a real bundle, at the same paths every build uses:
#   nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller        (this target)
#   nuvraUninstaller.app/Contents/Info.plist                    (our template)
#   nuvraUninstaller.app/Contents/Resources/AppIcon.icns        (made here from AppIcon.svg)
#   nuvraUninstaller.app/Contents/Resources/{sourcectl, AppIcon.svg}
#   nuvraUninstaller.app/Contents/Resources/man/{nuvra-uninstall.1, sourcectl.1}
#                                                  (the copies every platform makes after linking)
# Its LSMinimumSystemVersion comes from the libraries in use (MinimumMacOS.cmake). Made
# self-contained and signed after the build by scripts/mac-deploy.sh and scripts/mac-sign.sh.
# Any other program the bundle carries reaches it the same way: an executable whose
# RUNTIME_OUTPUT_DIRECTORY is ${NUVRA_BUNDLE_MACOS} lands in Contents/MacOS, a resource is copied
# into ${NUVRA_BUNDLE_RESOURCES} after linking.
# Included from the directory that defines the nuvraUninstaller target.

set_target_properties(nuvraUninstaller PROPERTIES
  MACOSX_BUNDLE ON
  MACOSX_BUNDLE_INFO_PLIST ${NUVRA_RESOURCES}/Info.plist.in
  # CMake adds <name>.app/Contents/MacOS itself.
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The Finder and Dock icon, drawn from the same SVG as the window's icon by the system's own tools
# (Quick Look renders, sips scales, iconutil packs).
set(NUVRA_ICNS ${CMAKE_CURRENT_BINARY_DIR}/AppIcon.icns)
add_custom_command(
  OUTPUT ${NUVRA_ICNS}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-icns.sh ${NUVRA_RESOURCES}/icons/AppIcon.svg
          ${NUVRA_ICNS}
  DEPENDS ${NUVRA_RESOURCES}/icons/AppIcon.svg ${CMAKE_SOURCE_DIR}/scripts/make-icns.sh
  COMMENT "Making AppIcon.icns from AppIcon.svg"
  VERBATIM)
target_sources(nuvraUninstaller PRIVATE ${NUVRA_ICNS})
set_source_files_properties(${NUVRA_ICNS} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
