' With the file-system component unregistered, the factory tells the user once (the test's
' dialog answerer records the box) and the operation that needed the component fails.
' Argument: the folder of the test logs. Runs between SuiteStart.vbs and SuiteEnd.vbs.
Sub Main()
  Dim fs, loaded
  Set fs = CreateObject("TarveskLogManager.FileSet")
  On Error Resume Next
  loaded = fs.LoadFileSet(WScript.Arguments(0))
  CheckError "LoadFileSet without the file-system component", 91
  On Error GoTo 0
  Check "no files", fs.FileCount, 0
End Sub
