# Data made at build time and placed beside the program:
#  - every icon named in data/artwork/icons.map is rendered from the Tango
#    icon theme (public domain) with rsvg-convert, once per icon;
#  - the artwork tool turns the renderings into the pictures compiled into
#    the program (generated/builtin_pictures.cpp, part of pixolune_core) and
#    into the default theme archive gfx/handdrawn.zip.
# Each step reruns only when its inputs change.

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(TANGO_ICON_DIR /usr/share/icons/Tango/scalable CACHE PATH "Scalable icons of the Tango icon theme")
if(NOT EXISTS ${TANGO_ICON_DIR}/actions/document-new.svg)
  message(FATAL_ERROR "Tango icons not found in ${TANGO_ICON_DIR}; run scripts/install-deps.sh")
endif()

set(ARTWORK_SOURCE_DIR ${CMAKE_SOURCE_DIR}/data/artwork)
set(ARTWORK_MAP ${ARTWORK_SOURCE_DIR}/icons.map)
set(ARTWORK_RENDER_DIR ${CMAKE_BINARY_DIR}/artwork)
set(ARTWORK_ART_SIZE 192)  # kArtSize of the artwork tool.
file(MAKE_DIRECTORY ${ARTWORK_RENDER_DIR} ${CMAKE_BINARY_DIR}/generated ${CMAKE_BINARY_DIR}/gfx)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARTWORK_MAP})

# One rendering per icon of the map (columns after the picture name).
set(ARTWORK_RENDERINGS)
file(STRINGS ${ARTWORK_MAP} artwork_lines REGEX "^[A-Za-z]")
foreach(line IN LISTS artwork_lines)
  string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
  list(SUBLIST fields 1 -1 icons)
  foreach(icon IN LISTS icons)
    string(REPLACE "/" "_" stem "${icon}")
    set(png ${ARTWORK_RENDER_DIR}/${stem}.png)
    if(NOT png IN_LIST ARTWORK_RENDERINGS)
      add_custom_command(OUTPUT ${png}
        COMMAND ${RSVG_CONVERT} -w ${ARTWORK_ART_SIZE} -h ${ARTWORK_ART_SIZE} -o ${png} ${TANGO_ICON_DIR}/${icon}.svg
        DEPENDS ${TANGO_ICON_DIR}/${icon}.svg
        COMMENT "Rendering ${icon}" VERBATIM)
      list(APPEND ARTWORK_RENDERINGS ${png})
    endif()
  endforeach()
endforeach()

add_executable(pixolune_artwork
  ${ARTWORK_SOURCE_DIR}/main.cpp ${ARTWORK_SOURCE_DIR}/raster.cpp
  ${ARTWORK_SOURCE_DIR}/sketch.cpp ${ARTWORK_SOURCE_DIR}/banner.cpp)
target_link_libraries(pixolune_artwork PRIVATE PkgConfig::DRAW PkgConfig::ARCHIVE)

set(BUILTIN_PICTURES_SOURCE ${CMAKE_BINARY_DIR}/generated/builtin_pictures.cpp)
add_custom_command(OUTPUT ${BUILTIN_PICTURES_SOURCE}
  COMMAND pixolune_artwork builtin ${ARTWORK_MAP} ${ARTWORK_RENDER_DIR} ${BUILTIN_PICTURES_SOURCE}
  DEPENDS pixolune_artwork ${ARTWORK_MAP} ${ARTWORK_RENDERINGS}
  COMMENT "Generating the built-in pictures" VERBATIM)
target_sources(pixolune_core PRIVATE ${BUILTIN_PICTURES_SOURCE})

set(HANDDRAWN_THEME ${CMAKE_BINARY_DIR}/gfx/handdrawn.zip)
add_custom_command(OUTPUT ${HANDDRAWN_THEME}
  COMMAND pixolune_artwork theme ${ARTWORK_MAP} ${ARTWORK_RENDER_DIR} ${HANDDRAWN_THEME}
  DEPENDS pixolune_artwork ${ARTWORK_MAP} ${ARTWORK_RENDERINGS}
  COMMENT "Building the theme gfx/handdrawn.zip" VERBATIM)
add_custom_target(pixolune_themes ALL DEPENDS ${HANDDRAWN_THEME})
add_dependencies(pixolune pixolune_themes)
