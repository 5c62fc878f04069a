# The macOS application bundle, Glidemark.app: an Info.plist that makes it a
# menu-bar agent (LSUIElement, no Dock icon) for macOS 11.5 and later, and an
# .icns icon rendered from the program's SVG, both written at build time by
# glidemark_bundle_files (src/app/macos/BundleFiles.cpp).
if(NOT TARGET glidemark OR NOT TARGET glidemark_bundle_files)
  return()
endif()

set(GLIDEMARK_BUNDLE_IDENTIFIER "com.Pellmar.Glidemark" CACHE STRING "The bundle identifier of Glidemark.app")
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(bundle_files ${PROJECT_BINARY_DIR}/bundle-files)
set(bundle_svg ${PROJECT_SOURCE_DIR}/src/app/resources/Glidemouse.svg)
set(bundle_pngs)
set(bundle_icon_args)
foreach(size 16 32 64 128 256 512 1024)
  set(png ${bundle_files}/icon_${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle_files}
    COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --format png --output ${png} ${bundle_svg}
    DEPENDS ${bundle_svg}
    COMMENT "Rendering the ${size}x${size} bundle icon" VERBATIM)
  list(APPEND bundle_pngs ${png})
  list(APPEND bundle_icon_args ${size}=${png})
endforeach()

add_custom_command(OUTPUT ${bundle_files}/Glidemark.icns
  COMMAND glidemark_bundle_files icns ${bundle_files}/Glidemark.icns ${bundle_icon_args}
  DEPENDS ${bundle_pngs} glidemark_bundle_files VERBATIM)
add_custom_command(OUTPUT ${bundle_files}/Info.plist
  COMMAND glidemark_bundle_files info-plist ${bundle_files}/Info.plist ${GLIDEMARK_BUNDLE_IDENTIFIER} Glidemark
    Glidemark ${PROJECT_VERSION} Glidemark.icns "${GLIDEMARK_OWNERSHIP_NOTICE}"
  DEPENDS glidemark_bundle_files VERBATIM)
add_custom_target(glidemark_bundle_resources DEPENDS ${bundle_files}/Glidemark.icns ${bundle_files}/Info.plist)
add_dependencies(glidemark glidemark_bundle_resources)

# In place of the Info.plist CMake writes for every bundle.
add_custom_command(TARGET glidemark POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${bundle_files}/Info.plist $<TARGET_BUNDLE_CONTENT_DIR:glidemark>/Info.plist
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_BUNDLE_CONTENT_DIR:glidemark>/Resources
  COMMAND ${CMAKE_COMMAND} -E copy ${bundle_files}/Glidemark.icns
    $<TARGET_BUNDLE_CONTENT_DIR:glidemark>/Resources/Glidemark.icns
  VERBATIM)
install(TARGETS glidemark BUNDLE DESTINATION .)
