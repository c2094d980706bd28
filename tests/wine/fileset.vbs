' FileSet, PropertyCollection and LogData driven late-bound through COM, as a script host
' drives them. Argument: the folder of the test logs (a fresh copy; it is changed).
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
Sub PropertyCollectionRules()
  Dim pc, name, content
  Set pc = CreateObject("TarveskLogManager.PropertyCollection")
  Check "new store count", pc.PropertyCount, 0
  Check "new store content", pc.PropertyContent("X"), ""

  name = "DATABASE" : content = ""
  pc.AddProperty name, content
  Check "empty content written back as placeholder", content, "!###!"
  Check "placeholder reads as empty", pc.PropertyContent("DATABASE"), ""
  pc.AddProperty "", "lost"
  Check "empty name adds nothing", pc.PropertyCount, 1
  pc.AddProperty "Ort", "Köln"
  pc.AddProperty "Ort", "Bonn"
  Check "first of repeated names", pc.PropertyContent("Ort"), "Köln"
  Check "case-sensitive names", pc.PropertyContent("ORT"), ""
  Check "name by index", pc.PropertyNameByIndex(3), "Ort"
  Check "value by index", pc.PropertyValueByIndex(3), "Bonn"
  Check "placeholder by index", pc.PropertyValueByIndex(1), ""

  ' A typed by-reference parameter takes a variable of another type, converted.
  Dim index : index = "2"
  Check "index given as text", pc.PropertyValueByIndex(index), "Köln"

  On Error Resume Next
  Dim x
  x = pc.PropertyNameByIndex(0)
  TakeError
  On Error GoTo 0
  CheckError "PropertyNameByIndex(0)", 9
  Check "error description", errDescription, "Index außerhalb des gültigen Bereichs"
  Check "error source", errSource, "TarveskLogManager"
  On Error Resume Next
  x = pc.PropertyValueByIndex(pc.PropertyCount + 1)
  TakeError
  x = pc.NoSuchMember
  TakeError
  On Error GoTo 0
  CheckError "unknown member", 438
  On Error Resume Next
  x = pc.PropertyNameByIndex("eins")
  TakeError
  On Error GoTo 0
  CheckError "text that is no number for a Long", 13
  Check "its German description", errDescription, "Typen unverträglich"
  On Error Resume Next
  x = pc.PropertyNameByIndex(3000000000)
  TakeError
  On Error GoTo 0
  CheckError "a number beyond a Long", 6
End Sub

Sub FileSetOnFolder(folder)
  Dim fs, ok
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Check "new set count", fs.FileCount, 0
  Check "File outside the set", fs.File(1), ""

  On Error Resume Next
  Dim x
  x = fs.FileProperties(1, "DATABASE")
  TakeError
  On Error GoTo 0
  CheckError "FileProperties before ReadFileSetProperties", 91

  ok = fs.LoadFileSet(folder)
  Check "LoadFileSet result", ok, True
  Check "LoadFileSet as number", CLng(ok), -1
  Check "marker filter keeps the logs", fs.FileCount, 2
  Check "File(1)", fs.File(1), folder & "log_a.xml"
  Check "File(2)", fs.File(2), folder & "log_b.xml"

  fs.ReadFileSetProperties
  Check "DATABASE of file 1", fs.FileProperties(1, "DATABASE"), "C:\db\shop.db"
  Check "SESSIONTIME of file 2", fs.FileProperties(2, "SESSIONTIME"), "03.12.2026 14:15:00"
  Check "ANSI header text decoded", fs.FileProperties(2, "USER"), "Jürgen Weiß"
  Check "FILENAME is the full path", fs.FileProperties(1, "FILENAME"), folder & "log_a.xml"
  Check "missing property", fs.FileProperties(1, "NOPE"), ""
  On Error Resume Next
  x = fs.FileProperties(3, "DATABASE")
  TakeError
  On Error GoTo 0
  CheckError "FileProperties outside the set", 9

  ' One identity per object: the cached LogData and its Parent.
  Dim ld, again
  Set ld = fs.LogContent(1)
  Set again = fs.LogContent(1)
  Check "LogContent twice is one object", ld Is again, True
  Check "Parent is the set", ld.Parent Is fs, True
  Check "FileIndex", ld.FileIndex, 1
  LogDataOfSet ld

  ' Ejecting drops files, properties and the cache.
  fs.EjectFileset
  Check "count after eject", fs.FileCount, 0
  On Error Resume Next
  x = fs.FileProperties(1, "DATABASE")
  TakeError
  On Error GoTo 0
  CheckError "FileProperties after eject", 91

  On Error Resume Next
  ok = fs.LoadFileSet(folder & "missing\")
  TakeError
  On Error GoTo 0
  CheckError "LoadFileSet of a missing folder", 76

  ' Pruning: log_a (01.12.2026) is older than the limit, log_b is kept.
  Check "DeleteOldFiles without a set", fs.DeleteOldFiles(Now), False
  fs.LoadFileSet folder
  fs.ReadFileSetProperties
  Check "DeleteOldFiles", fs.DeleteOldFiles(DateSerial(2026, 12, 2)), True
  Check "count after pruning", fs.FileCount, 1
  Check "kept file", fs.File(1), folder & "log_b.xml"
  Dim shell : Set shell = CreateObject("Scripting.FileSystemObject")
  Check "pruned file deleted", shell.FileExists(folder & "log_a.xml"), False
  Check "kept file on disk", shell.FileExists(folder & "log_b.xml"), True
End Sub

Sub LogDataOfSet(ld)
  Dim list, entry, n, position
  Check "ErrorInfo", ld.ErrorInfo, "Datensatz 12 gesperrt"
  Set list = ld.GetActionList
  Check "action list count (two actions, error entry)", list.Count, 3
  Check "first entry starts with its position", Left(list.Item(1), 10), "1: UPDATE "
  Check "second entry", Left(list(2), 13), "9: NEWRECORD "
  Check "error entry last", list(3), "Errors were recorded in this Logfile"
  n = 0
  For Each entry In list
    n = n + 1
  Next
  Check "For Each visits every entry", n, 3
  list.Add "extra"
  Check "Add appends", list(4), "extra"
  list.Remove 1
  Check "Remove closes the gap", Left(list(1), 2), "9:"
  Check "count after Add and Remove", list.Count, 3
  On Error Resume Next
  entry = list(0)
  TakeError
  On Error GoTo 0
  CheckError "collection index 0", 9
  Check "a new list each call", ld.GetActionList.Count, 3

  ' Keys, and positions given by Before and After.
  list.Add "keyed", "Schlüssel"
  Check "Item by key, any letter case", list("SCHLÜSSEL"), "keyed"
  list.Add "first", , 1
  Check "Add before a position", list(1), "first"
  list.Add "second", , , 1
  Check "Add after a position", list(2), "second"
  On Error Resume Next
  list.Add "again", "schlüssel"
  TakeError
  On Error GoTo 0
  CheckError "a key given twice", 457
  On Error Resume Next
  entry = list("unknown")
  TakeError
  On Error GoTo 0
  CheckError "an unknown key", 5
  list.Remove "Schlüssel"
  Check "Remove by key", list.Count, 5
  list.Add "numbered", 2
  Check "a number given as key is a key, not a position", list("2"), "numbered"

  Check "query string", ld.RetrieveActionQueryString(1), "SELECT * FROM Kunden WHERE ID = 7"
  Dim data
  position = 1
  Set data = ld.GetActionData(position)
  Check "action kind first", data.PropertyNameByIndex(1) & "=" & data.PropertyValueByIndex(1), _
      "ACTION=UPDATE"
  Check "update field", data.PropertyContent("OldValue"), "München"
  Check "record id", data.PropertyContent("RECORDID"), "7"
  Check "update property count", data.PropertyCount, 5
  Check "no action at that line", ld.GetActionData(2) Is Nothing, True

  ld.ResetErrors
  Check "ErrorInfo after ResetErrors", ld.ErrorInfo, ""
  Check "no error entry after ResetErrors", ld.GetActionList.Count, 2
End Sub

Sub LogDataAlone()
  Dim ld, fs, x
  Set ld = CreateObject("TarveskLogManager.LogData")
  Check "new FileIndex", ld.FileIndex, 0
  Check "new Parent", ld.Parent Is Nothing, True
  ld.LoadLogData
  Check "FileIndex 0 loads nothing", ld.ErrorInfo, ""
  On Error Resume Next
  x = ld.GetActionList.Count
  TakeError
  On Error GoTo 0
  CheckError "GetActionList before loading", 91
  ld.FileIndex = 1
  On Error Resume Next
  ld.LoadLogData
  TakeError
  On Error GoTo 0
  CheckError "LoadLogData without Parent", 91

  On Error Resume Next
  Set ld.Parent = CreateObject("TarveskLogManager.PropertyCollection")
  TakeError
  On Error GoTo 0
  CheckError "a foreign object as Parent", 13
  Check "its description", errDescription, "Typen unverträglich"
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Set ld.Parent = fs
  Check "Parent set by the host", ld.Parent Is fs, True
  Set ld.Parent = Nothing
  Check "Parent cleared", ld.Parent Is Nothing, True
End Sub

' The entry class hands out one file set until it is ejected.
Sub LogManagerFileSet(folder)
  Dim lm, fs, x
  Set lm = CreateObject("TarveskLogManager.LogManager")
  On Error Resume Next
  lm.EjectFileset
  TakeError
  On Error GoTo 0
  CheckError "EjectFileset without a file set", 91
  Set fs = lm.FileSetManager
  Check "FileSetManager twice is one object", fs Is lm.FileSetManager, True
  Check "a new file set is empty", fs.FileCount, 0
  fs.LoadFileSet folder
  Check "the host drives the managed set", lm.FileSetManager.FileCount, 2
  lm.EjectFileset
  Check "after EjectFileset another set", fs Is lm.FileSetManager, False
  Check "the ejected set is emptied", fs.FileCount, 0
End Sub

' Handler properties; without a file set UndoAction does nothing.
Sub ActionHandlerAlone()
  Dim ah
  Set ah = CreateObject("TarveskLogManager.ActionHandler")
  Check "new LogFileHandle", ah.LogFileHandle, 0
  ah.LogFileHandle = 2
  ah.ActionHandle = 9
  Check "LogFileHandle", ah.LogFileHandle, 2
  Check "ActionHandle", ah.ActionHandle, 9
  Check "UndoAction without a file set", IsEmpty(ah.UndoAction), True
  On Error Resume Next
  Set ah.FileSetObject = CreateObject("TarveskLogManager.LogData")
  TakeError
  On Error GoTo 0
  CheckError "a foreign object as FileSetObject", 13
  Check "still without a file set", IsEmpty(ah.UndoAction), True
End Sub

Sub Main()
  Dim folder
  folder = WScript.Arguments(0)
  LogManagerFileSet folder
  ActionHandlerAlone
  PropertyCollectionRules
  LogDataAlone
  FileSetOnFolder folder
End Sub
