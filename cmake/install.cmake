# What `make install` and the Debian package put where (GNUInstallDirs
# below the prefix):
#   bin/pixolune                       the program
#   lib/pixolune/pixolune-helper       the conversion helper   } private to the
#   lib/pixolune/pixolune-window.so    the window module       } program
#   share/pixolune/gfx/*.zip           themes
#   share/pixolune/vemarkt.html        the manual
#   share/man/man1/pixolune.1.gz, bash, zsh and fish completion, the desktop
#   entry, icons (hicolor, from the Tango picture the window's Convert
#   button is drawn on) and the AppStream metainfo.
# The private programs go to lib/pixolune whatever CMAKE_INSTALL_LIBDIR says
# (Debian's multiarch libdir would otherwise move them per architecture),
# as Debian's policy allows for a package's own executables. The program
# finds them, and its data, relative to its own folder (platform/
# install_paths), so the install prefix is never compiled in.
#
# Run as a script (cmake -DMANIFEST=install_manifest.txt -P install.cmake)
# it removes what that install wrote below $DESTDIR: `make uninstall`.
if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist (run make install first)")
  endif()
  file(STRINGS "${MANIFEST}" installed)
  set(folders)
  foreach(listed IN LISTS installed)
    set(path "$ENV{DESTDIR}${listed}")
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
      message(STATUS "Removing ${path}")
      file(REMOVE "${path}")
    endif()
    get_filename_component(folder "${path}" DIRECTORY)
    list(APPEND folders "${folder}")
  endforeach()
  # The program's own folders go when they are empty (shared ones stay);
  # sorted backwards, pixolune/gfx comes before pixolune.
  list(REMOVE_DUPLICATES folders)
  list(SORT folders ORDER DESCENDING)
  foreach(folder IN LISTS folders)
    if(folder MATCHES "/pixolune(/gfx)?$" AND IS_DIRECTORY "${folder}")
      file(GLOB left "${folder}/*")
      if(NOT left)
        message(STATUS "Removing ${folder}/")
        file(REMOVE_RECURSE "${folder}")
      endif()
    endif()
  endforeach()
  return()
endif()

include(GNUInstallDirs)
set(PIXOLUNE_PROGRAMS_DIR lib/pixolune)
set(PIXOLUNE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/pixolune)
set(PIXOLUNE_APP_ID example.quorvant.pixolune)

# The places relative to the program's folder, compiled into the lookup.
foreach(dir BINDIR PROGRAMS_DIR DATA_DIR)
  if(dir STREQUAL "BINDIR")
    set(relative ${CMAKE_INSTALL_BINDIR})
  else()
    set(relative ${PIXOLUNE_${dir}})
  endif()
  if(IS_ABSOLUTE "${relative}")
    set(full_${dir} "${relative}")
  else()
    set(full_${dir} "/prefix/${relative}")
  endif()
endforeach()
file(RELATIVE_PATH programs_from_bindir "${full_BINDIR}" "${full_PROGRAMS_DIR}")
file(RELATIVE_PATH data_from_bindir "${full_BINDIR}" "${full_DATA_DIR}")
set_property(SOURCE src/platform/install_paths.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "PIXOLUNE_PROGRAMS_FROM_BINDIR=\"${programs_from_bindir}/\"" "PIXOLUNE_DATA_FROM_BINDIR=\"${data_from_bindir}/\"")

# The programs and their data.
install(TARGETS pixolune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS pixolune-helper RUNTIME DESTINATION ${PIXOLUNE_PROGRAMS_DIR})
install(TARGETS pixolune-window LIBRARY DESTINATION ${PIXOLUNE_PROGRAMS_DIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/gfx/ DESTINATION ${PIXOLUNE_DATA_DIR}/gfx FILES_MATCHING PATTERN "*.zip")
install(FILES ${CMAKE_BINARY_DIR}/vemarkt.html DESTINATION ${PIXOLUNE_DATA_DIR})

# The manual page, compressed as Debian ships them.
find_program(GZIP gzip REQUIRED)
set(MAN_PAGE ${CMAKE_BINARY_DIR}/man/pixolune.1.gz)
add_custom_command(OUTPUT ${MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/data/man/pixolune.1 > ${MAN_PAGE}
  DEPENDS ${CMAKE_SOURCE_DIR}/data/man/pixolune.1
  COMMENT "Compressing the manual page")

# The icon: the Tango picture of the Convert button, scalable and at the
# sizes desktops look for.
set(ICON_SOURCE ${TANGO_ICON_DIR}/mimetypes/image-x-generic.svg)
set(ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(ICON_FILES)
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${ICON_DIR}/${size}x${size}/pixolune.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ICON_DIR}/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${ICON_SOURCE}
    DEPENDS ${ICON_SOURCE}
    COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
  list(APPEND ICON_FILES ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${ICON_SOURCE} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME pixolune.svg)
add_custom_target(pixolune_install_files ALL DEPENDS ${MAN_PAGE} ${ICON_FILES})

install(FILES ${MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/completion/pixolune.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME pixolune)
install(FILES data/completion/pixolune.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
# zsh looks in vendor-completions below /usr and in site-functions below
# /usr/local (Debian's fpath); the prefix is known only when installing.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(zsh_folder zsh/vendor-completions)
  else()
    set(zsh_folder zsh/site-functions)
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/\${zsh_folder}\" TYPE FILE
       FILES \"${CMAKE_SOURCE_DIR}/data/completion/_pixolune\")")
install(FILES data/desktop/${PIXOLUNE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/desktop/${PIXOLUNE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# make uninstall from a build folder.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt -P ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Removing the installed files")

# Installing does not build everything first (the tests need not build for
# a package); make install and make deb build the whole tree before.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The Debian package (make deb): cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pixolune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvant)
set(CPACK_PACKAGE_CONTACT "Quorvant <support@quorvant.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert Photoshop documents (PSD) to PNG")
# The long description; CPack puts the summary line before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pixolune converts layered Photoshop documents into PNG files, one file or
thousands at a time, and on the way can rotate, resize, flip,
colour-correct, turn to greyscale or black and white, frame, watermark and
name every output by a file-name mask. Transparency, 16-bit depth and
documents saved without a composite image (drawn from their layers) are
handled as Photoshop shows them.

It has a console mode for scripts and a desktop window over the same
engine; each document is converted in a confined helper process.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvant <support@quorvant.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quorvant.example/pixolune/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The CMYK working space for documents that carry no profile of their own.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgs-common")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-liberation")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
