# The Windows installer, made by CPack's NSIS generator with makensis from
# this project's own script (cmake/NSIS.template.in): the program, both
# READMEs and the licence under Program Files, a Start-menu folder whose
# entry keeps the roster in the user's Documents folder, roster.exe among the
# programs "Open with" offers for .csv files (never the default one), and an
# uninstaller that takes all of that away and leaves every roster file.
list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake)
set(CPACK_PACKAGE_INSTALL_DIRECTORY roster)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY roster)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_MUI_ICON ${ROSTER_ICON})
set(CPACK_NSIS_MUI_UNIICON ${ROSTER_ICON})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
else()
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
  set(CPACK_NSIS_DEFINES "Unicode true")
endif()

# .csv files offer roster.exe under "Open with", for every user of the machine.
set(roster_classes "Software\\\\Classes")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\" \\\"FriendlyAppName\\\" \\\"学生信息管理系统\\\"
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\\SupportedTypes\\\" \\\".csv\\\" \\\"\\\"
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\\shell\\\\open\\\\command\\\" \\\"\\\" '\\\"$INSTDIR\\\\roster.exe\\\" \\\"%1\\\"'
  WriteRegStr HKLM \\\"${roster_classes}\\\\.csv\\\\OpenWithList\\\\roster.exe\\\" \\\"\\\" \\\"\\\"
")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\"
  DeleteRegKey HKLM \\\"${roster_classes}\\\\.csv\\\\OpenWithList\\\\roster.exe\\\"
")
