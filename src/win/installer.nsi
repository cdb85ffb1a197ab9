; The installer of the Windows build: the 64-bit tavolin2.dll into the 64-bit
; program folder, the 32-bit one into the 32-bit program folder (the only one
; on 32-bit Windows), each registered with its type library by the regsvr32 of
; its own architecture; the interface definition, the C header and a read-me
; beside them, and an entry in the system's list of installed programs.  The
; uninstaller unregisters both and removes exactly the files, folders and keys
; the installer made.
;
; Made by scripts/build-windows.sh --installer, which passes the files:
;   makensis -DVERSION=2.0.0.61 -DDLL64=... -DDLL32=... -DTLB64=... -DTLB32=...
;            -DIDL=... -DHEADER=... -DREADME=... -DOUTFILE=... installer.nsi
; Silent with /S; the exit code is 0 on success, 2 when registration failed.
Unicode true
!include LogicLib.nsh
!include x64.nsh

Name "tavolin2 ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\tavolin2"
ShowInstDetails show
ShowUninstDetails show
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "tavolin2"
VIAddVersionKey /LANG=1033 "FileDescription" "tavolin2 setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" ""

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\tavolin2"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; $0: the 64-bit folder ("" on 32-bit Windows), $1: the 32-bit folder.
; The folder the user chose holds the architecture of the system; the other
; architecture's DLL goes to its own program folder.
Function .onInit
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\tavolin2"
  ${EndIf}
FunctionEnd

!macro Folders
  ${If} ${RunningX64}
    StrCpy $0 "$INSTDIR"
    StrCpy $1 "$PROGRAMFILES32\tavolin2"
  ${Else}
    StrCpy $0 ""
    StrCpy $1 "$INSTDIR"
  ${EndIf}
!macroend

; regsvr32 of the architecture of the DLL: the 64-bit one is in the system
; folder as 64-bit programs see it, the 32-bit one in the 32-bit system folder.
!macro Regsvr32 ARCH ARGS DLL
  ${If} ${ARCH} == 64
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${ARGS} "${DLL}"' $2
    ${EnableX64FSRedirection}
  ${ElseIf} ${RunningX64}
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${ARGS} "${DLL}"' $2
  ${Else}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${ARGS} "${DLL}"' $2
  ${EndIf}
!macroend

Section "tavolin2"
  !insertmacro Folders
  ${If} $0 != ""
    SetOutPath "$0"
    File "/oname=tavolin2.dll" "${DLL64}"
    File "/oname=tavolin2.tlb" "${TLB64}"
  ${EndIf}
  SetOutPath "$1"
  File "/oname=tavolin2.dll" "${DLL32}"
  File "/oname=tavolin2.tlb" "${TLB32}"
  SetOutPath "$INSTDIR"
  File "/oname=tavolin2.idl" "${IDL}"
  File "/oname=tavolin2.h" "${HEADER}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "tavolin2 ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "tavolin2"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; each DLL registers its classes and its type library (win64, win32)
  ${If} $0 != ""
    !insertmacro Regsvr32 64 "" "$0\tavolin2.dll"
    ${If} $2 != 0
      DetailPrint "registering the 64-bit tavolin2.dll failed (regsvr32 exit code $2)"
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
  !insertmacro Regsvr32 32 "" "$1\tavolin2.dll"
  ${If} $2 != 0
    DetailPrint "registering the 32-bit tavolin2.dll failed (regsvr32 exit code $2)"
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro Folders
  ${If} $0 != ""
    !insertmacro Regsvr32 64 "/u" "$0\tavolin2.dll"
    Delete "$0\tavolin2.dll"
    Delete "$0\tavolin2.tlb"
  ${EndIf}
  !insertmacro Regsvr32 32 "/u" "$1\tavolin2.dll"
  Delete "$1\tavolin2.dll"
  Delete "$1\tavolin2.tlb"
  Delete "$INSTDIR\tavolin2.idl"
  Delete "$INSTDIR\tavolin2.h"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; only emptied folders go: a file of the user's keeps its folder
  ${If} $0 != ""
    RMDir "$0"
  ${EndIf}
  RMDir "$1"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
