; What the installer does beyond CPack's template, included through
; CPACK_NSIS_DEFINES (cmake/windows.cmake). Kept here rather than in CMake
; strings, which CPack would read as CMake code a second time. Single
; quotes throughout, as in the CPack settings.

; The installers before this one kept their uninstall entry under a key
; named for their version ("zan-demo 1.0.0"), which CPack's check never
; finds: each such installation is uninstalled, in place.
!macro ZanUninstallOlder
  StrCpy $R0 0
  zan_older:
  EnumRegKey $R1 SHCTX 'Software\Microsoft\Windows\CurrentVersion\Uninstall' $R0
  StrCmp $R1 '' zan_older_done
  IntOp $R0 $R0 + 1
  StrCpy $R2 $R1 9
  StrCmp $R2 'zan-demo ' 0 zan_older
  ReadRegStr $R3 SHCTX 'Software\Microsoft\Windows\CurrentVersion\Uninstall\$R1' 'UninstallString'
  StrCpy $R2 $R3 1
  StrCmp $R2 '$\"' 0 +2
  StrCpy $R3 $R3 -1 1
  ${GetParent} $R3 $R2
  ExecWait '$\"$R3$\" /S _?=$R2'
  DeleteRegKey SHCTX 'Software\Microsoft\Windows\CurrentVersion\Uninstall\$R1'
  StrCpy $R0 0
  Goto zan_older
  zan_older_done:
!macroend

; Add/Remove Programs shows the size, which CPack's template leaves out.
!macro ZanEstimatedSize
  !insertmacro GetSizeCall '$INSTDIR' '/S=0K' $0 $1 $2
  WriteRegDWORD SHCTX 'Software\Microsoft\Windows\CurrentVersion\Uninstall\zan-demo' 'EstimatedSize' $0
!macroend

; The Start-menu entry names the program itself: CPack's own would go
; through "$INSTDIR\.\" for a program at the top of the folder.
!macro ZanCreateShortcut
  CreateShortCut '$SMPROGRAMS\$STARTMENU_FOLDER\zan-demo.lnk' '$INSTDIR\zan-demo.exe'
!macroend
!macro ZanDeleteShortcut
  Delete '$SMPROGRAMS\$MUI_TEMP\zan-demo.lnk'
!macroend
