' ActionHandler undoes logged updates against a SQLite database through the data layer
' component. The test's dialog answerer answers the boxes (Yes, OK, No, OK, OK, Yes, OK,
' Yes, then OK) and
' records them; the database is checked afterwards by the test script.
' Argument: the folder of the undo logs (log_undo.xml: three updates, the last of a record
' that does not exist, a new record and a deleted one; log_zmissing.xml: one update in a database that does not exist, refused).
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
' A fresh handler for one undo, as the viewer's undo command makes it.
Sub Undo(fs, fileIndex, actionPosition)
  Dim ah
  Set ah = CreateObject("TarveskLogManager.ActionHandler")
  ah.LogFileHandle = fileIndex
  Set ah.FileSetObject = fs
  ah.ActionHandle = actionPosition
  Check "UndoAction result", IsEmpty(ah.UndoAction), True
End Sub

Sub Main()
  Dim fs
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Check "undo logs", fs.LoadFileSet(WScript.Arguments(0)), True
  fs.ReadFileSetProperties
  Check "two logs", fs.FileCount, 2
  Undo fs, 1, 1   ' Yes: Ort of 7 back to München
  Undo fs, 1, 9   ' No: Ort of 8 stays Berlin
  Undo fs, 1, 17  ' record 99 is not there
  Undo fs, 1, 25  ' Yes: the new record 9 is deleted
  Undo fs, 1, 30  ' Yes: the deleted record 5 is created again
  ' A database that does not exist is refused before anything is asked.
  Dim ah
  Set ah = CreateObject("TarveskLogManager.ActionHandler")
  ah.LogFileHandle = 2
  Set ah.FileSetObject = fs
  ah.ActionHandle = 1
  On Error Resume Next
  ah.UndoAction
  TakeError
  On Error GoTo 0
  CheckError "missing database", 53
  Check "missing database named", InStr(errDescription, "wurde nicht gefunden") > 0, True
End Sub
