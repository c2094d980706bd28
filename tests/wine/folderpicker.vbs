' The folder picker TarveskFileManager.clsFileManager as the viewer drives it: the folder
' dialog shows the caption it was given and starts in the given folder, or without one in
' the data layer's log folder; the test's dialog answerer cancels it or confirms the start
' folder. Arguments: the folder to start in ("" for none), the folder the answer chooses
' ("" when it cancels).
' Prints one line per failed check and a last line "SUMMARY checks=N failures=M".
Option Explicit
Dim checks, failures
checks = 0
failures = 0

Sub Check(what, actual, expected)
  checks = checks + 1
  If actual <> expected Then
    failures = failures + 1
    WScript.Echo "FAIL " & what & ": got [" & actual & "], expected [" & expected & "]"
  End If
End Sub

Sub Main()
  Dim picker
  Set picker = CreateObject("TarveskFileManager.clsFileManager")
  picker.bolShowDirectoryOnly = True
  picker.bolHideIcon = True
  picker.strDefaultPath = WScript.Arguments(0)
  picker.strFormCaption = "Pfad für das oder die Logfiles auswählen"
  Check "bolShowDirectoryOnly", picker.bolShowDirectoryOnly, True
  Check "strDefaultPath", picker.strDefaultPath, WScript.Arguments(0)
  Check "nothing chosen before the dialog", picker.strResultFullPath, ""
  picker.DisplayFileManager
  Check "chosen folder", picker.strResultFullPath, WScript.Arguments(1)
End Sub

On Error Resume Next
Main
If Err.Number <> 0 Then
  failures = failures + 1
  WScript.Echo "FAIL unexpected error " & Err.Number & " (" & Err.Source & "): " & Err.Description
End If
On Error GoTo 0
WScript.Echo "SUMMARY checks=" & checks & " failures=" & failures
WScript.Quit failures
