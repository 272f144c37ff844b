# Installing roster and packing it: the program, its manual page in English
# and in Simplified Chinese, the READMEs and the messages' catalogs, in the usual places. CPack makes
# a Debian package on Linux and a .zip on Windows.
include(GNUInstallDirs)

if(WIN32)
  # A .zip for Windows, roster.exe and the documentation side by side, and an
  # installer of the same (cmake/windows_installer.cmake).
  install(TARGETS roster RUNTIME DESTINATION .)
  install(FILES README.md README.zh-CN.md DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
  include(cmake/windows_installer.cmake)
else()
  # The manual pages and the changelog go compressed, as Debian wants them
  # (gzip -n: the same bytes at every build); the copyright file holds the
  # licence, machine-readable.
  find_program(ROSTER_GZIP gzip REQUIRED)
  set(packed ${CMAKE_BINARY_DIR}/packed)
  set(packed_files)
  foreach(pair "doc/roster.1;man1/roster.1.gz" "doc/roster.zh_CN.1;zh_CN/man1/roster.1.gz"
          "packaging/changelog;changelog.gz")
    list(GET pair 0 source)
    list(GET pair 1 packed_name)
    get_filename_component(packed_folder ${packed}/${packed_name} DIRECTORY)
    add_custom_command(OUTPUT ${packed}/${packed_name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packed_folder}
      COMMAND sh -c "'${ROSTER_GZIP}' -9n < '${PROJECT_SOURCE_DIR}/${source}' > '${packed}/${packed_name}'"
      DEPENDS ${PROJECT_SOURCE_DIR}/${source}
      VERBATIM)
    list(APPEND packed_files ${packed}/${packed_name})
  endforeach()
  add_custom_target(roster_packed_docs ALL DEPENDS ${packed_files})
  install(TARGETS roster RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${packed}/man1/roster.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${packed}/zh_CN/man1/roster.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)
  install(FILES README.md README.zh-CN.md packaging/copyright ${packed}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  foreach(reader IN LISTS ROSTER_CATALOG_LOCALES)
    install(FILES ${CMAKE_BINARY_DIR}/locale/${reader}/LC_MESSAGES/roster.mo
            DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${reader}/LC_MESSAGES)
  endforeach()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME roster)
set(CPACK_PACKAGE_VENDOR "roster developers")
set(CPACK_PACKAGE_CONTACT "The roster developers <roster@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 columns, as a package's description wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "An interactive console program in Simplified Chinese with which one\n"
    "administrator keeps a roster of students, in memory or in a CSV file a\n"
    "spreadsheet opens: enter, list, insert, delete, change, look up and rank\n"
    "by average score.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The C library's version is read off the executable (libstdc++ is linked in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
