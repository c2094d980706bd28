' The classes late-bound: what crosses COM. Argument: a copy of the test logs (it is changed).
Sub PropertyCollectionCalls()
  Dim pc, name, content, index, x, c
  Set pc = CreateObject("TarveskLogManager.PropertyCollection")
  name = "DATABASE" : content = ""
  pc.AddProperty name, content
  Check "empty content written back as placeholder", content, "!###!"
  pc.AddProperty "Ort", "Köln"
  index = "2"  ' a typed by-reference parameter takes a variable of another type, converted
  Check "index given as text", pc.PropertyValueByIndex(index), "Köln"
  For Each c In Array(Array(0, 9, "Index außerhalb des gültigen Bereichs"), _
                      Array("eins", 13, "Typen unverträglich"), Array(3000000000, 6, "Überlauf"))
    On Error Resume Next
    x = pc.PropertyNameByIndex(c(0))
    CheckError "PropertyNameByIndex(" & c(0) & ")", c(1)
    On Error GoTo 0
    Check "its description", errDescription, c(2)
    Check "its source", errSource, "TarveskLogManager"
  Next
  On Error Resume Next
  x = pc.NoSuchMember
  CheckError "unknown member", 438
  On Error GoTo 0
End Sub

Sub FileSetOnFolder(folder)
  Dim fs, ld
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Check "LoadFileSet gives True", fs.LoadFileSet(folder), True
  fs.ReadFileSetProperties
  Set ld = fs.LogContent(1)
  Check "LogContent twice is one object", ld Is fs.LogContent(1), True
  ActionList ld
  ' A date from the host: log_a (01.12.2026) is older than the limit.
  Check "DeleteOldFiles", fs.DeleteOldFiles(DateSerial(2026, 12, 2)), True
  Check "count after pruning", fs.FileCount, 1
End Sub

' The action list is a collection of the COM kit: positions, keys, Before and After, errors.
Sub ActionList(ld)
  Dim list, entry, position
  Set list = ld.GetActionList
  Check "action list count (two actions, error entry)", list.Count, 3
  list.Add "extra"
  Check "Add appends", list(4), "extra"
  list.Remove 1
  Check "Remove closes the gap", Left(list(1), 2), "9:"
  Check "a new list each call", ld.GetActionList.Count, 3
  list.Add "keyed", "Schlüssel"
  Check "Item by key, any letter case", list("SCHLÜSSEL"), "keyed"
  list.Add "second", , , 1
  Check "Add after a position", list(2), "second"
  list.Add "numbered", 2
  Check "a number given as key is a key, not a position", list("2"), "numbered"
  On Error Resume Next
  entry = list(0)
  CheckError "collection index 0", 9
  list.Add "again", "schlüssel"
  CheckError "a key given twice", 457
  entry = list("unknown")
  CheckError "an unknown key", 5
  On Error GoTo 0
  list.Remove "Schlüssel"
  Check "Remove by key", list.Count, 5
  position = 1
  Check "details at a position", ld.GetActionData(position).PropertyContent("OldValue"), "München"
  Check "no action at that line", ld.GetActionData(2) Is Nothing, True
End Sub

' Object arguments: one of ours of the right class or Nothing, else a type mismatch.
Sub ObjectArguments()
  Dim ld, fs
  Set ld = CreateObject("TarveskLogManager.LogData")
  On Error Resume Next
  Set ld.Parent = CreateObject("TarveskLogManager.PropertyCollection")
  CheckError "another class as Parent", 13
  On Error GoTo 0
  Set fs = CreateObject("TarveskLogManager.FileSet")
  Set ld.Parent = fs
  Check "Parent set by the host", ld.Parent Is fs, True
  Set ld.Parent = Nothing
  Check "Parent cleared", ld.Parent Is Nothing, True
End Sub

' Every class by its ProgID, with its default interface.
Sub EveryClass()
  Dim name
  For Each name In Array("LogManager", "FileSet", "PropertyCollection", "LogData", "ActionHandler")
    Check "CreateObject " & name, TypeName(CreateObject("TarveskLogManager." & name)), "_" & name
  Next
End Sub

Sub Main()
  EveryClass
  ObjectArguments
  PropertyCollectionCalls
  FileSetOnFolder WScript.Arguments(0)
End Sub
