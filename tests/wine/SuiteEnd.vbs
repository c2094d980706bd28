' The end of every VBScript suite: Main, an error that escaped it, the bitness, the summary.
On Error Resume Next
Main
Check "error escaping Main (" & Err.Source & ": " & Err.Description & ")", Err.Number, 0
WScript.Echo "PROCESS " & CreateObject("WScript.Shell").Environment("PROCESS")("PROCESSOR_ARCHITECTURE")
WScript.Echo "SUMMARY checks=" & checks & " failures=" & failures
WScript.Quit failures
