' With one outside component unregistered, the factory tells the user once (the test's
' dialog answerer records the box) and the operation that needed the component fails.
' Arguments: the folder of the test logs; "filemanager" or "xmlhandler", the one missing.
' Prints one line per failed check and a last line "SUMMARY checks=N failures=M".
Option Explicit
Dim checks, failures, errNumber
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
  Dim folder, missing, fs, loaded
  folder = WScript.Arguments(0)
  missing = WScript.Arguments(1)
  Set fs = CreateObject("TarveskLogManager.FileSet")
  If missing = "filemanager" Then
    On Error Resume Next
    loaded = fs.LoadFileSet(folder)
    errNumber = Err.Number
    Err.Clear
    On Error GoTo 0
    Check "LoadFileSet without the file-system component fails", errNumber, 91
    Check "no files", fs.FileCount, 0
  Else
    Check "LoadFileSet", fs.LoadFileSet(folder), True
    On Error Resume Next
    fs.ReadFileSetProperties
    errNumber = Err.Number
    Err.Clear
    On Error GoTo 0
    Check "ReadFileSetProperties without the tag parser fails", errNumber, 91
  End If
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
