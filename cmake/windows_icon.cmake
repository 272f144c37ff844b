# roster.exe's icon and version resource on Windows. The .ico is drawn at
# build time from packaging/roster.svg at the sizes Explorer, the taskbar and
# the Start menu ask for (the 256-pixel one kept as PNG, as Windows expects);
# the installer shows the same icon (cmake/windows_installer.cmake).
find_program(ROSTER_RSVG_CONVERT rsvg-convert)
find_program(ROSTER_ICOTOOL icotool)
if(NOT ROSTER_RSVG_CONVERT OR NOT ROSTER_ICOTOOL)
  message(FATAL_ERROR "roster.exe's icon is drawn with rsvg-convert and icotool: "
                      "apt-get install librsvg2-bin icoutils")
endif()

set(ROSTER_ICON ${CMAKE_BINARY_DIR}/icon/roster.ico)
set(icon_pngs)
set(icon_commands)
foreach(size 16 20 24 32 40 48 64 256)
  set(png ${CMAKE_BINARY_DIR}/icon/roster-${size}.png)
  list(APPEND icon_pngs ${png})
  list(APPEND icon_commands COMMAND ${ROSTER_RSVG_CONVERT} -w ${size} -h ${size}
       -o ${png} ${PROJECT_SOURCE_DIR}/packaging/roster.svg)
endforeach()
list(POP_BACK icon_pngs big_png)
add_custom_command(OUTPUT ${ROSTER_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icon
  ${icon_commands}
  COMMAND ${ROSTER_ICOTOOL} -c -o ${ROSTER_ICON} ${icon_pngs} --raw=${big_png}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/roster.svg
  VERBATIM)

string(REPLACE "." "," ROSTER_VERSION_COMMAS "${PROJECT_VERSION}.0")
configure_file(${PROJECT_SOURCE_DIR}/packaging/roster.rc.in ${CMAKE_BINARY_DIR}/icon/roster.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/icon/roster.rc PROPERTIES OBJECT_DEPENDS ${ROSTER_ICON})
target_sources(roster PRIVATE ${CMAKE_BINARY_DIR}/icon/roster.rc)
