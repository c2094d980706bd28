' FileSet, PropertyCollection and LogData driven late-bound through COM, as a script host
' drives them: what crosses the COM boundary (by-reference arguments, conversions, error
' numbers with their German texts, object identity, collections, dates); the rules behind
' it are the native tests'. Argument: the folder of the test logs (a fresh copy; it is
' changed). Runs between SuiteStart.vbs and SuiteEnd.vbs.
Sub PropertyCollectionRules()
  Dim pc, name, content, x
  Set pc = CreateObject("TarveskLogManager.PropertyCollection")
  name = "DATABASE" : content = ""
  pc.AddProperty name, content
  Check "empty content written back as placeholder", content, "!###!"
  pc.AddProperty "Ort", "Köln"
  ' A typed by-reference parameter takes a variable of another type, converted.
  Dim index : index = "2"
  Check "index given as text", pc.PropertyValueByIndex(index), "Köln"

  On Error Resume Next
  x = pc.PropertyNameByIndex(0)
  TakeError
  On Error GoTo 0
  CheckError "PropertyNameByIndex(0)", 9
  Check "error description", errDescription, "Index außerhalb des gültigen Bereichs"
  Check "error source", errSource, "TarveskLogManager"
  On Error Resume Next
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
  ok = fs.LoadFileSet(folder)
  Check "LoadFileSet result", ok, True
  Check "LoadFileSet as number", CLng(ok), -1
  Check "marker filter keeps the logs", fs.FileCount, 2
  Check "File(1)", fs.File(1), folder & "log_a.xml"
  fs.ReadFileSetProperties
  Check "DATABASE of file 1", fs.FileProperties(1, "DATABASE"), "C:\db\shop.db"
  Check "ANSI header text decoded", fs.FileProperties(2, "USER"), "Jürgen Weiß"

  ' One identity per object: the cached LogData and its Parent.
  Dim ld
  Set ld = fs.LogContent(1)
  Check "LogContent twice is one object", ld Is fs.LogContent(1), True
  Check "Parent is the set", ld.Parent Is fs, True
  LogDataOfSet ld

  fs.EjectFileset
  On Error Resume Next
  ok = fs.LoadFileSet(folder & "missing\")
  TakeError
  On Error GoTo 0
  CheckError "LoadFileSet of a missing folder", 76

  ' Pruning by a date from the host: log_a (01.12.2026) is older than the limit.
  fs.LoadFileSet folder
  Check "DeleteOldFiles", fs.DeleteOldFiles(DateSerial(2026, 12, 2)), True
  Check "count after pruning", fs.FileCount, 1
  Check "pruned file deleted", CreateObject("Scripting.FileSystemObject").FileExists( _
      folder & "log_a.xml"), False
End Sub

Sub LogDataOfSet(ld)
  Dim list, entry, n
  Check "ErrorInfo", ld.ErrorInfo, "Datensatz 12 gesperrt"
  Set list = ld.GetActionList
  Check "action list count (two actions, error entry)", list.Count, 3
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

  Dim position : position = 1
  Check "update field", ld.GetActionData(position).PropertyContent("OldValue"), "München"
  Check "no action at that line", ld.GetActionData(2) Is Nothing, True
  ld.ResetErrors
  Check "no error entry after ResetErrors", ld.GetActionList.Count, 2
End Sub

' Object arguments: the right class or Nothing, else a type mismatch.
Sub ObjectArguments()
  Dim ld, fs, ah
  Set ld = CreateObject("TarveskLogManager.LogData")
  Check "new Parent", ld.Parent Is Nothing, True
  On Error Resume Next
  Set ld.Parent = CreateObject("TarveskLogManager.PropertyCollection")
  TakeError
  On Error GoTo 0
  CheckError "a foreign object as Parent", 13
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Set ld.Parent = fs
  Check "Parent set by the host", ld.Parent Is fs, True
  Set ld.Parent = Nothing
  Check "Parent cleared", ld.Parent Is Nothing, True

  Set ah = CreateObject("TarveskLogManager.ActionHandler")
  ah.LogFileHandle = 2
  Check "LogFileHandle", ah.LogFileHandle, 2
  Check "UndoAction without a file set", IsEmpty(ah.UndoAction), True
  On Error Resume Next
  Set ah.FileSetObject = ld
  TakeError
  On Error GoTo 0
  CheckError "a foreign object as FileSetObject", 13
End Sub

' The entry class hands out one file set until it is ejected.
Sub LogManagerFileSet(folder)
  Dim lm, fs
  Set lm = CreateObject("TarveskLogManager.LogManager")
  Set fs = lm.FileSetManager
  Check "FileSetManager twice is one object", fs Is lm.FileSetManager, True
  fs.LoadFileSet folder
  Check "the host drives the managed set", lm.FileSetManager.FileCount, 2
  lm.EjectFileset
  Check "after EjectFileset another set", fs Is lm.FileSetManager, False
  Check "the ejected set is emptied", fs.FileCount, 0
End Sub

Sub Main()
  Dim folder
  folder = WScript.Arguments(0)
  LogManagerFileSet folder
  ObjectArguments
  PropertyCollectionRules
  FileSetOnFolder folder
End Sub
