' What the registered tag parser gives, for wine.sh to compare. Args: logs, output, own|foreign.
Dim out

' The details and query string at a position, or the errors they raise.
Sub DumpAction(logData, position)
  Dim details, k, query
  On Error Resume Next
  Set details = logData.GetActionData(position)
  If Err.Number <> 0 Then
    out.WriteLine "  Details " & position & ": Fehler " & Err.Number & " " & Err.Description
  ElseIf details Is Nothing Then
    out.WriteLine "  Details " & position & ": Nothing"
  Else
    For k = 1 To details.PropertyCount
      out.WriteLine "  " & details.PropertyNameByIndex(k) & "=" & details.PropertyValueByIndex(k)
    Next
  End If
  Err.Clear
  query = logData.RetrieveActionQueryString(position)
  out.WriteLine "  Abfrage " & position & ": " & query & " " & Err.Number & " " & Err.Description
  Err.Clear
End Sub

Sub Main
  Dim files, i, content, entry, position
  Set out = CreateObject("Scripting.FileSystemObject").CreateTextFile(WScript.Arguments(1), True, True)
  Set files = CreateObject("TarveskLogManager.FileSet")
  files.LoadFileSet WScript.Arguments(0)
  files.ReadFileSetProperties
  For i = 1 To files.FileCount
    out.WriteLine files.File(i) & " | " & files.FileProperties(i, "DATABASE") & " | " & _
        files.FileProperties(i, "SESSIONTIME") & " | " & files.FileProperties(i, "USER")
    Set content = files.LogContent(i)
    out.WriteLine "Fehlerinfo=" & content.ErrorInfo
    For Each entry In content.GetActionList
      out.WriteLine entry
      position = InStr(entry, ":")
      If position > 1 Then DumpAction content, CLng(Left(entry, position - 1))
    Next
    For Each position In Array(0, 1, 100000)
      DumpAction content, position
    Next
  Next
  out.Close
  Check WScript.Arguments(2) & " parser called by name", _
      CreateObject("WScript.Shell").Environment("PROCESS")("TARVESK_TEST_PARSER_CALLS") <> "", _
      WScript.Arguments(2) = "foreign"
End Sub
