' The undo writes nothing the user did not see. Arguments: the folder of log_guard.xml
' (an update whose query is recursive at 1, one whose field is another column's alias at
' 9), an empty folder for the session logs of this suite, and the database (guard.sql).
' The dialog answerer says Yes and OK to the three restores; the test script compares the
' restored records byte for byte and checks that the change made meanwhile stayed.
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
Function Handler(fs, fileIndex, position)
  Set Handler = CreateObject("TarveskLogManager.ActionHandler")
  Handler.LogFileHandle = fileIndex
  Set Handler.FileSetObject = fs
  Handler.ActionHandle = position
End Function

' Error 5 with the reason, before any question.
Sub Refused(fs, position, part)
  Dim ah
  Set ah = Handler(fs, 1, position)
  On Error Resume Next
  ah.UndoAction
  TakeError
  On Error GoTo 0
  CheckError "refused at " & position, 5
  Check "reason at " & position & " (" & errDescription & ")", InStr(errDescription, part) > 0, True
End Sub

Function Opened(database)
  Set Opened = CreateObject("TarveskDataLayer.DataLayer")
  Opened.LogFolder = ""
  Opened.SetDatabaseByPath = database
End Function

Sub Main()
  Dim guard, dl, other, sessions, entries, ah, i, id, query, database
  database = WScript.Arguments(2)
  Set guard = CreateObject("TarveskLogManager.FileSet")
  Check "guard log", guard.LoadFileSet(WScript.Arguments(0)), True
  guard.ReadFileSetProperties
  Refused guard, 1, "rekursive Abfragen"
  Refused guard, 9, "nicht unverändert als Spalte"

  ' Values plain text cannot carry: deleted through the data layer, restored by the undo.
  Set dl = Opened(database)
  dl.LogFolder = WScript.Arguments(1)
  For id = 1 To 3
    query = "SELECT * FROM Werte WHERE ID = " & id
    dl.GetRecordset query
    Check "deleted " & id, dl.RemoveRecord(True), True
  Next
  Check "session errors", dl.errorstatus, ""
  Set dl = Nothing
  Set sessions = CreateObject("TarveskLogManager.FileSet")
  Check "session log", sessions.LoadFileSet(WScript.Arguments(1)), True
  sessions.ReadFileSetProperties
  Set entries = sessions.LogContent(1).GetActionList
  Check "deletes logged", entries.Count, 3
  For i = entries.Count To 1 Step -1
    Set ah = Handler(sessions, 1, CLng(Left(entries(i), InStr(entries(i), ":") - 1)))
    ah.UndoAction
  Next

  ' Another program changes the record between loading and saving: nothing is written.
  query = "SELECT * FROM Kunden WHERE ID = 1"
  id = 1
  Set dl = Opened(database)
  dl.GetRecordset query
  Check "found", dl.FindRecord("ID", id), True
  Set other = Opened(database)
  other.GetRecordset query
  Check "other found", other.FindRecord("ID", id), True
  other.SetFieldValue "Ort", "Bonn"
  Check "other saved", other.Save, True
  dl.SetFieldValue "Ort", "Ulm"
  On Error Resume Next
  dl.Save
  TakeError
  On Error GoTo 0
  CheckError "changed meanwhile", 5
  Check "changed meanwhile (" & errDescription & ")", _
      InStr(errDescription, "in der Zwischenzeit geändert") > 0, True
End Sub
