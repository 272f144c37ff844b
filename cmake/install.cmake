# Installing roster and packing it: the program, its manual page in English
# and in Simplified Chinese, the READMEs and the messages' catalogs, in the usual places. CPack makes
# a Debian package on Linux and a .zip on Windows.
include(GNUInstallDirs)

if(WIN32)
  # A .zip for Windows, roster.exe and the documentation side by side, and an
  # installer of the same (cmake/windows_installer.cmake).
  install(TARGETS roster RUNTIME DESTINATION .)
  install(FILES README.md README.zh-CN.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
  include(cmake/windows_installer.cmake)
else()
  install(TARGETS roster RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/roster.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES doc/roster.zh_CN.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1 RENAME roster.1)
  install(FILES README.md README.zh-CN.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  foreach(language IN LISTS ROSTER_LANGUAGES)
    install(FILES ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/roster.mo
            DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
  endforeach()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME roster)
set(CPACK_PACKAGE_VENDOR "roster developers")
set(CPACK_PACKAGE_CONTACT "roster developers <roster@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "An interactive console program in Simplified Chinese with which one administrator keeps a roster of students in memory: enter, list, insert, delete, change, look up and rank by average score.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The C library's version is read off the executable (libstdc++ is linked in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
