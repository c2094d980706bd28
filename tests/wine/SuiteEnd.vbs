' The end of every VBScript suite: Main, an error that escaped it, the bitness, the summary.
On Error Resume Next
Main
If Err.Number <> 0 Then
  failures = failures + 1
  WScript.Echo "FAIL unexpected error " & Err.Number & " (" & Err.Source & "): " & Err.Description
End If
On Error GoTo 0
WScript.Echo "PROCESS " & CreateObject("WScript.Shell").Environment("PROCESS")("PROCESSOR_ARCHITECTURE")
WScript.Echo "SUMMARY checks=" & checks & " failures=" & failures
WScript.Quit failures
