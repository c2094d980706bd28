' Lists the logs of a folder and the actions of each, as a script host drives the component.
'   wine cscript //nologo examples\ListActions.vbs Z:\path\to\logs
Option Explicit
Dim manager, files, i, logData, entry
Set manager = CreateObject("TarveskLogManager.LogManager")
Set files = manager.FileSetManager
If files.LoadFileSet(WScript.Arguments(0)) Then
  files.ReadFileSetProperties
  For i = 1 To files.FileCount
    WScript.Echo files.FileProperties(i, "SESSIONTIME") & ": " & files.FileProperties(i, "DATABASE")
    Set logData = files.LogContent(i)
    For Each entry In logData.GetActionList
      WScript.Echo "  " & entry
    Next
  Next
End If
manager.EjectFileset
