' The file-system component unregistered: the factory tells the user once (recorded by the
' dialog answerer) and the operation that needed it fails. Argument: the test logs' folder.
Sub Main()
  Dim fs, loaded
  Set fs = CreateObject("TarveskLogManager.FileSet")
  On Error Resume Next
  loaded = fs.LoadFileSet(WScript.Arguments(0))
  CheckError "LoadFileSet without the file-system component", 91
  On Error GoTo 0
  Check "no files", fs.FileCount, 0
End Sub
