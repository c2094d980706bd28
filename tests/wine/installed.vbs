' The component as installed: every public class created by its ProgID, and a folder of logs
' listed through the entry class as a host first uses it. Argument: the test logs' folder.
Sub Main()
  Dim name, created, manager, files
  For Each name In Array("LogManager", "FileSet", "PropertyCollection", "LogData", "ActionHandler")
    Set created = CreateObject("TarveskLogManager." & name)
    Check "CreateObject " & name, TypeName(created), "_" & name  ' its default interface
  Next
  Set manager = CreateObject("TarveskLogManager.LogManager")
  Set files = manager.FileSetManager
  Check "LoadFileSet", files.LoadFileSet(WScript.Arguments(0)), True
  files.ReadFileSetProperties
  Check "file count", files.FileCount, 2
  Check "first log's database", files.FileProperties(1, "DATABASE"), "C:\db\shop.db"
  Check "first log's actions", files.LogContent(1).GetActionList.Count > 0, True
  manager.EjectFileset
End Sub
