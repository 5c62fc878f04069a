# Install rules (GNUInstallDirs) and the Debian package (CPack DEB).
#
#   cmake --install build/default --prefix /some/where
#   cd build/default && cpack -G DEB        # glidemark_<version>_<arch>.deb
#
# Paths are relative to the prefix; the package's prefix is /usr. The program
# finds its data next to itself (../share/glidemark, ../libexec/glidemark), so
# the same binary works from any prefix.
include(GNUInstallDirs)

set(GLIDEMARK_DATA ${PROJECT_SOURCE_DIR}/data)
set(GLIDEMARK_PACKAGE_PREFIX /usr)
set(GLIDEMARK_LIBEXEC_SUBDIR ${CMAKE_INSTALL_LIBEXECDIR}/glidemark)
set(GLIDEMARK_GENERATED ${PROJECT_BINARY_DIR}/install-files)
file(MAKE_DIRECTORY ${GLIDEMARK_GENERATED})

# Debian wants 0755 directories whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# ---- programs -----------------------------------------------------------------
set(GLIDEMARK_PROGRAMS glidemarkctl)
if(TARGET glidemark)
  list(APPEND GLIDEMARK_PROGRAMS glidemark)
endif()
install(TARGETS ${GLIDEMARK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS glidemark-watchdog RUNTIME DESTINATION ${GLIDEMARK_LIBEXEC_SUBDIR})

# ---- desktop entry and icons ------------------------------------------------------
install(FILES ${GLIDEMARK_DATA}/glidemark.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
set(GLIDEMARK_ICON_SVG ${PROJECT_SOURCE_DIR}/src/app/resources/Glidemouse.svg)
install(FILES ${GLIDEMARK_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
  RENAME glidemark.svg)

# Bitmap sizes for desktops and panels that do not draw SVG icons. Rendered from
# the SVG when rsvg-convert is there; otherwise the copies rendered from it once
# and kept in data/icons are used.
set(GLIDEMARK_ICON_SIZES 16 24 32 48 64 128 256)
find_program(RSVG_CONVERT rsvg-convert)
set(icon_outputs)
foreach(size IN LISTS GLIDEMARK_ICON_SIZES)
  set(png ${GLIDEMARK_GENERATED}/icons/${size}x${size}/glidemark.png)
  if(RSVG_CONVERT)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${GLIDEMARK_GENERATED}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --format png --output ${png} ${GLIDEMARK_ICON_SVG}
      DEPENDS ${GLIDEMARK_ICON_SVG}
      COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
  else()
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E copy ${GLIDEMARK_DATA}/icons/${size}x${size}/glidemark.png ${png}
      DEPENDS ${GLIDEMARK_DATA}/icons/${size}x${size}/glidemark.png VERBATIM)
  endif()
  list(APPEND icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
if(NOT RSVG_CONVERT)
  message(STATUS "rsvg-convert not found: installing the icons kept in data/icons")
endif()

# ---- input access -------------------------------------------------------------------
# The rule and the module list take effect from the package alone; the copies
# under share/ and the helper are for the program's own "install access" step
# when it runs from a prefix udev does not read.
install(FILES ${GLIDEMARK_DATA}/udev/70-glidemark.rules DESTINATION lib/udev/rules.d)
install(FILES ${GLIDEMARK_DATA}/udev/glidemark-uinput.conf DESTINATION lib/modules-load.d)
install(FILES ${GLIDEMARK_DATA}/udev/70-glidemark.rules ${GLIDEMARK_DATA}/udev/glidemark-uinput.conf
  DESTINATION ${CMAKE_INSTALL_DATADIR}/glidemark/udev)
install(PROGRAMS ${GLIDEMARK_DATA}/udev/glidemark-install-access DESTINATION ${GLIDEMARK_LIBEXEC_SUBDIR})
# The keyboard rule is the user's choice to make, never the package's: it is
# shipped as an example only, for the helper above to install on request.
install(FILES ${GLIDEMARK_DATA}/udev/71-glidemark-keyboards.rules
  DESTINATION ${CMAKE_INSTALL_DATADIR}/glidemark/examples)
# polkit reads actions only from /usr/share, so the action names the helper at
# the package's path.
set(GLIDEMARK_ACCESS_HELPER ${GLIDEMARK_PACKAGE_PREFIX}/${GLIDEMARK_LIBEXEC_SUBDIR}/glidemark-install-access)
configure_file(${GLIDEMARK_DATA}/polkit/org.glidemark.install-access.policy.in
  ${GLIDEMARK_GENERATED}/org.glidemark.install-access.policy @ONLY)
install(FILES ${GLIDEMARK_GENERATED}/org.glidemark.install-access.policy
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/polkit-1/actions)

# ---- GNOME Shell extension and KWin script --------------------------------------------
# They tell Glidemark which application is under the pointer and which one is in
# front on GNOME and KDE Plasma (Wayland). The extension is put together here from
# one body and the wrapper of the Shell's extension style: GNOME 43 and 44 load the
# older form, GNOME 45 and later only modules.
option(GLIDEMARK_GNOME_SHELL_MODULE "Build the GNOME Shell extension as a module, for GNOME 45 and later" OFF)
set(GLIDEMARK_GNOME_EXTENSION_DIR ${GLIDEMARK_GENERATED}/gnome-shell/glidemark@glidemark.org)
if(GLIDEMARK_GNOME_SHELL_MODULE)
  set(extension_wrapper extension-45.js)
  set(GLIDEMARK_GNOME_SHELL_VERSIONS "\"45\", \"46\", \"47\", \"48\"")
else()
  set(extension_wrapper extension-43.js)
  set(GLIDEMARK_GNOME_SHELL_VERSIONS "\"43\", \"44\"")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${GLIDEMARK_DATA}/gnome-shell/windows.js ${GLIDEMARK_DATA}/gnome-shell/${extension_wrapper})
file(READ ${GLIDEMARK_DATA}/gnome-shell/windows.js extension_body)
file(READ ${GLIDEMARK_DATA}/gnome-shell/${extension_wrapper} extension_text)
string(REPLACE "//@BODY@" "${extension_body}" extension_text "${extension_text}")
file(WRITE ${GLIDEMARK_GNOME_EXTENSION_DIR}/extension.js "${extension_text}")
configure_file(${GLIDEMARK_DATA}/gnome-shell/metadata.json.in ${GLIDEMARK_GNOME_EXTENSION_DIR}/metadata.json @ONLY)
install(DIRECTORY ${GLIDEMARK_GNOME_EXTENSION_DIR} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/gnome-shell/extensions)
install(DIRECTORY ${GLIDEMARK_DATA}/kwin/glidemark DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/kwin/scripts)

# ---- manual pages and package documents --------------------------------------------------
# gzip -n: no name or time stamp inside, so the same sources give the same bytes.
find_program(GZIP gzip REQUIRED)
set(doc_outputs)
foreach(page glidemark.1 glidemarkctl.1)
  configure_file(${GLIDEMARK_DATA}/man/${page} ${GLIDEMARK_GENERATED}/${page} @ONLY)
  add_custom_command(OUTPUT ${GLIDEMARK_GENERATED}/${page}.gz
    COMMAND ${GZIP} -9 -n -f -k ${GLIDEMARK_GENERATED}/${page}
    DEPENDS ${GLIDEMARK_GENERATED}/${page} VERBATIM)
  list(APPEND doc_outputs ${GLIDEMARK_GENERATED}/${page}.gz)
  install(FILES ${GLIDEMARK_GENERATED}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

configure_file(${GLIDEMARK_DATA}/debian/changelog.in ${GLIDEMARK_GENERATED}/changelog @ONLY)
add_custom_command(OUTPUT ${GLIDEMARK_GENERATED}/changelog.gz
  COMMAND ${GZIP} -9 -n -f -k ${GLIDEMARK_GENERATED}/changelog
  DEPENDS ${GLIDEMARK_GENERATED}/changelog VERBATIM)
list(APPEND doc_outputs ${GLIDEMARK_GENERATED}/changelog.gz)
install(FILES ${GLIDEMARK_GENERATED}/changelog.gz ${GLIDEMARK_DATA}/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/glidemark)

add_custom_target(glidemark_install_files ALL DEPENDS ${icon_outputs} ${doc_outputs})

# ---- the Debian package --------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glidemark)
set(CPACK_PACKAGE_VENDOR "Glidemark developers")
set(CPACK_PACKAGE_CONTACT "Glidemark developers <dev@glidemark.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${GLIDEMARK_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Glidemark developers <dev@glidemark.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# udevadm and modprobe are only used when present; pkexec only when the
# program asks for access itself, which the installed rule makes unnecessary.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, kmod")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkexec")
# CPack takes the synopsis from the project's description and indents this
# text itself; an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Glidemark turns each step of an ordinary mouse wheel into a short animated
glide in every application. It reads wheel mice through evdev and writes the
smoothed wheel through a virtual uinput device; a udev rule gives the user at
the seat access to wheel mice and to /dev/uinput, and nothing more.

The package holds the tray application, the glidemarkctl command-line tool,
the udev rule, the uinput module list, and a GNOME Shell extension and a KWin
script that tell Glidemark which application is under the pointer.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${GLIDEMARK_DATA}/debian/postinst ${GLIDEMARK_DATA}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
