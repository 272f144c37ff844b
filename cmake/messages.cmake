# The catalogs of the messages around the program's own screens: po/LANG.po,
# compiled and checked by msgfmt into locale/LANG/LC_MESSAGES/roster.mo in
# the build tree, where the program built beside them finds them. Linux
# installs them under share/locale; Windows builds them into the program.
find_program(ROSTER_MSGFMT msgfmt REQUIRED)
set(ROSTER_LANGUAGES zh_CN)
# Simplified Chinese is read in Singapore too, and plain "zh" is what
# LANGUAGE=zh asks for and where glibc looks last for any Chinese locale.
set(ROSTER_zh_CN_READERS zh_CN zh_SG zh)
set(ROSTER_CATALOG_LOCALES)
set(ROSTER_CATALOGS)
foreach(language IN LISTS ROSTER_LANGUAGES)
  set(readers ${language})
  if(DEFINED ROSTER_${language}_READERS)
    set(readers ${ROSTER_${language}_READERS})
  endif()
  foreach(reader IN LISTS readers)
    set(folder ${CMAKE_BINARY_DIR}/locale/${reader}/LC_MESSAGES)
    add_custom_command(OUTPUT ${folder}/roster.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${ROSTER_MSGFMT} --check --output-file=${folder}/roster.mo ${PROJECT_SOURCE_DIR}/po/${language}.po
      DEPENDS ${PROJECT_SOURCE_DIR}/po/${language}.po
      VERBATIM)
    list(APPEND ROSTER_CATALOGS ${folder}/roster.mo)
    list(APPEND ROSTER_CATALOG_LOCALES ${reader})
  endforeach()
endforeach()
add_custom_target(roster_catalogs ALL DEPENDS ${ROSTER_CATALOGS})

# The Chinese catalog as bytes in the program: for Windows, and for the
# tests of the reader Windows uses.
set(embedded ${CMAKE_BINARY_DIR}/chinese_catalog.cpp)
add_custom_command(OUTPUT ${embedded}
  COMMAND ${CMAKE_COMMAND} -DMO=${CMAKE_BINARY_DIR}/locale/zh_CN/LC_MESSAGES/roster.mo -DNAME=chinese_catalog
          -DOUT=${embedded} -P ${PROJECT_SOURCE_DIR}/cmake/embed_catalog.cmake
  DEPENDS ${CMAKE_BINARY_DIR}/locale/zh_CN/LC_MESSAGES/roster.mo ${PROJECT_SOURCE_DIR}/cmake/embed_catalog.cmake
  VERBATIM)
add_library(roster_chinese_catalog STATIC ${embedded})
target_link_libraries(roster_chinese_catalog PRIVATE roster_options)
