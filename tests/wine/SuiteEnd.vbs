' The end of every VBScript suite, put after it by the test script: runs Main, counts an
' error that escaped it, and prints the summary line the test script reads (cscript's exit
' code says nothing), after the processor architecture of the script host's process, so the
' test script sees which bitness ran the suite.
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
