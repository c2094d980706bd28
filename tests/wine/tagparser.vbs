' Writes what the log manager reads through the registered tag parser - headers, action
' lists, every action's details and query string, and the errors of positions outside a
' log - to a file, so that the test script compares the runs with our own parser (called
' directly) and with a foreign one (called by name). Arguments: the folder of the logs,
' the output file, and "own" or "foreign": which parser is registered.
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
Dim out

Sub Put(text)
  out.WriteLine text
End Sub

' The outcome of a call that may fail: its text, or its error.
Sub PutError(what)
  If Err.Number <> 0 Then Put what & ": Fehler " & Err.Number & " " & Err.Description
  Err.Clear
End Sub

Sub DumpAction(logData, position)
  Dim details, k, query
  On Error Resume Next
  Set details = logData.GetActionData(position)
  If Err.Number <> 0 Then
    PutError "  Details " & position
  ElseIf details Is Nothing Then
    Put "  Details " & position & ": Nothing"
  Else
    For k = 1 To details.PropertyCount
      Put "  " & details.PropertyNameByIndex(k) & "=" & details.PropertyValueByIndex(k)
    Next
  End If
  query = logData.RetrieveActionQueryString(position)
  If Err.Number <> 0 Then PutError "  Abfrage " & position Else Put "  Abfrage=" & query
End Sub

Sub Main
  Dim folder, files, i, content, list, entry, position, calls
  folder = WScript.Arguments(0)
  Set out = CreateObject("Scripting.FileSystemObject").CreateTextFile(WScript.Arguments(1), True, True)
  Set files = CreateObject("TarveskLogManager.FileSet")
  files.LoadFileSet folder
  files.ReadFileSetProperties
  For i = 1 To files.FileCount
    Put files.File(i) & " | " & files.FileProperties(i, "DATABASE") & " | " & _
        files.FileProperties(i, "SESSIONTIME") & " | " & files.FileProperties(i, "USER")
    Set content = files.LogContent(i)
    Put "Fehlerinfo=" & content.ErrorInfo
    Set list = content.GetActionList
    Put "Aktionen: " & list.Count
    For Each entry In list
      Put entry
      position = InStr(entry, ":")
      If position > 1 Then DumpAction content, CLng(Left(entry, position - 1))
    Next
    DumpAction content, 0
    DumpAction content, 1
    DumpAction content, 100000
  Next
  files.EjectFileset
  out.Close
  calls = CreateObject("WScript.Shell").Environment("PROCESS")("TARVESK_TEST_PARSER_CALLS")
  If WScript.Arguments(2) = "foreign" Then
    Check "the foreign parser was called", calls <> "", True
  Else
    Check "the foreign parser was not called", calls, ""
  End If
End Sub
