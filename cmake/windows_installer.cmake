# The Windows installer, made by CPack's NSIS generator with makensis: the
# program and both READMEs under Program Files, a Start-menu entry that keeps
# the roster in the user's Documents folder, roster.exe among the programs
# "Open with" offers for .csv files (never the default one), and an
# uninstaller that takes all of that away and leaves every roster file.
set(CPACK_PACKAGE_INSTALL_DIRECTORY roster)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY roster)
set(CPACK_NSIS_PACKAGE_NAME "学生信息管理系统 roster ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "学生信息管理系统 roster")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_INSTALLED_ICON_NAME roster.exe)  # the icon Apps shows for it
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
else()
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
  set(CPACK_NSIS_DEFINES "Unicode true")
endif()

# The entry and the roster file it opens are the installing user's own:
# their Start menu, their Documents folder. The file is made at the first
# save, as any roster file is.
set(roster_entry "$SMPROGRAMS\\\\学生名单.lnk")
set(roster_classes "Software\\\\Classes")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  SetShellVarContext current
  CreateShortCut \\\"${roster_entry}\\\" \\\"$INSTDIR\\\\roster.exe\\\" '\\\"$DOCUMENTS\\\\学生名单.csv\\\"' \\\"$INSTDIR\\\\roster.exe\\\" 0 SW_SHOWNORMAL \\\"\\\" \\\"学生信息管理系统：学生名单\\\"
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\" \\\"FriendlyAppName\\\" \\\"学生信息管理系统\\\"
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\\SupportedTypes\\\" \\\".csv\\\" \\\"\\\"
  WriteRegStr HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\\shell\\\\open\\\\command\\\" \\\"\\\" '\\\"$INSTDIR\\\\roster.exe\\\" \\\"%1\\\"'
  WriteRegStr HKLM \\\"${roster_classes}\\\\.csv\\\\OpenWithList\\\\roster.exe\\\" \\\"\\\" \\\"\\\"
")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  SetShellVarContext current
  Delete \\\"${roster_entry}\\\"
  DeleteRegKey HKLM \\\"${roster_classes}\\\\Applications\\\\roster.exe\\\"
  DeleteRegKey HKLM \\\"${roster_classes}\\\\.csv\\\\OpenWithList\\\\roster.exe\\\"
")
