' The file-system component unregistered: the operation that needs it fails. Argument: the logs.
Sub Main()
  Dim fs, loaded
  Set fs = CreateObject("TarveskLogManager.FileSet")
  On Error Resume Next
  loaded = fs.LoadFileSet(WScript.Arguments(0))
  CheckError "LoadFileSet without the file-system component", 91
  On Error GoTo 0
  Check "no files", fs.FileCount, 0
End Sub
