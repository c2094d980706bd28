' With one outside component unregistered, the factory tells the user once (the test's
' dialog answerer records the box) and the operation that needed the component fails.
' Arguments: the folder of the test logs; "filemanager" or "xmlhandler", the one missing.
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
Sub Main()
  Dim folder, missing, fs, loaded
  folder = WScript.Arguments(0)
  missing = WScript.Arguments(1)
  Set fs = CreateObject("TarveskLogManager.FileSet")
  If missing = "filemanager" Then
    On Error Resume Next
    loaded = fs.LoadFileSet(folder)
    TakeError
    On Error GoTo 0
    CheckError "LoadFileSet without the file-system component", 91
    Check "no files", fs.FileCount, 0
  Else
    Check "LoadFileSet", fs.LoadFileSet(folder), True
    On Error Resume Next
    fs.ReadFileSetProperties
    TakeError
    On Error GoTo 0
    CheckError "ReadFileSetProperties without the tag parser", 91
  End If
End Sub
