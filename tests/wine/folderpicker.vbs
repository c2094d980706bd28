' The folder picker TarveskFileManager.clsFileManager as the viewer drives it; the test
' script checks the dialog's caption and answers it: it cancels, or confirms the start
' folder (the given one, else the data layer's log folder). Arguments: the folder to start
' in ("" for none), the folder the answer chooses ("" when it cancels).
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
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
