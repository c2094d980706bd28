' The start of every VBScript suite, put before it by the test script: counters, the
' checks and the error capture the suites share.
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

' Under On Error Resume Next: the error of the last statement (0: none) against the expected
' number; cleared, with its description kept in errDescription and its source in errSource.
Sub CheckError(what, expectedNumber)
  errDescription = Err.Description
  errSource = Err.Source
  Check what & " error number", Err.Number, expectedNumber
  Err.Clear
End Sub
