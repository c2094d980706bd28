' The start of every VBScript suite: the counters and checks the suites share.
Option Explicit
Dim checks, failures, errDescription, errSource
checks = 0
failures = 0

' The kind of a value: numbers of every width compare as one kind.
Function Kind(value)
  Select Case VarType(value)
    Case 2, 3, 4, 5, 6, 14, 17: Kind = "number"
    Case Else: Kind = VarType(value)
  End Select
End Function

Sub Check(what, actual, expected)
  Dim same
  checks = checks + 1
  same = Kind(actual) = Kind(expected)
  If same Then same = actual = expected
  If Not same Then
    failures = failures + 1
    WScript.Echo "FAIL " & what & ": got [" & actual & "] (type " & VarType(actual) & _
        "), expected [" & expected & "] (type " & VarType(expected) & ")"
  End If
End Sub

' Under On Error Resume Next: the last error's number checked, then cleared (its texts kept).
Sub CheckError(what, expectedNumber)
  errDescription = Err.Description
  errSource = Err.Source
  Check what & " error number", Err.Number, expectedNumber
  Err.Clear
End Sub
