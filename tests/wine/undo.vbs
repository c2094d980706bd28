' Undo through the data layer. Arguments: the undo logs, an empty folder for session logs, database.

' A fresh handler, as the viewer makes it, undoes the action at POSITION of the log named LOG.
Sub Undo(fs, log, position, expected)
  Dim ah, i
  Set ah = CreateObject("TarveskLogManager.ActionHandler")
  For i = 1 To fs.FileCount
    If InStr(fs.File(i), log) > 0 Then ah.LogFileHandle = i
  Next
  Set ah.FileSetObject = fs
  ah.ActionHandle = position
  On Error Resume Next
  ah.UndoAction
  CheckError "undo of " & log & " at " & position, expected
End Sub

Sub Main()
  Dim fs, position, dl, sessions, entries, id
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Check "undo logs", fs.LoadFileSet(WScript.Arguments(0)), True
  fs.ReadFileSetProperties
  ' Yes: Ort of 7 back to München; No: 8 stays Berlin; record 99 is not there; Yes: the new
  ' record 9 deleted; Yes: the deleted record 5 created again.
  For Each position In Array(1, 9, 17, 25, 30)
    Undo fs, "log_undo", position, 0
  Next
  ' Refused before anything is asked: a query the data layer refuses.
  Undo fs, "log_guard", 1, 5
  Check "reason (" & errDescription & ")", InStr(errDescription, "rekursive Abfragen") > 0, True

  ' Values plain text cannot carry: deleted through the data layer, restored by the undo.
  Set dl = CreateObject("TarveskDataLayer.DataLayer")
  dl.LogFolder = WScript.Arguments(1)
  dl.SetDatabaseByPath = WScript.Arguments(2)
  For id = 1 To 3
    dl.GetRecordset "SELECT * FROM Werte WHERE ID = " & id
    Check "deleted " & id, dl.RemoveRecord(True), True
  Next
  Set dl = Nothing
  Set sessions = CreateObject("TarveskLogManager.FileSet")
  Check "session log", sessions.LoadFileSet(WScript.Arguments(1)), True
  sessions.ReadFileSetProperties
  Set entries = sessions.LogContent(1).GetActionList
  Check "deletes logged", entries.Count, 3
  For id = entries.Count To 1 Step -1
    Undo sessions, "", CLng(Left(entries(id), InStr(entries(id), ":") - 1)), 0
  Next
End Sub
