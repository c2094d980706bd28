' The folder picker as the viewer drives it. Arguments: start folder, folder chosen ("": none).
Sub Main()
  Dim picker
  Set picker = CreateObject("TarveskFileManager.clsFileManager")
  picker.bolShowDirectoryOnly = True
  picker.bolHideIcon = True
  picker.strDefaultPath = WScript.Arguments(0)
  picker.strFormCaption = "Pfad für das oder die Logfiles auswählen"
  picker.DisplayFileManager
  Check "chosen folder", picker.strResultFullPath, WScript.Arguments(1)
End Sub
