' The folder picker TarveskFileManager.clsFileManager as the viewer drives it: the folder
' dialog shows the caption it was given and starts in the given folder, or without one in
' the data layer's log folder; the test's dialog answerer cancels it or confirms the start
' folder. Arguments: the folder to start in ("" for none), the folder the answer chooses
' ("" when it cancels).
' Runs between SuiteStart.vbs and SuiteEnd.vbs.
Sub Main()
  Dim picker
  Set picker = CreateObject("TarveskFileManager.clsFileManager")
  picker.bolShowDirectoryOnly = True
  picker.bolHideIcon = True
  picker.strDefaultPath = WScript.Arguments(0)
  picker.strFormCaption = "Pfad für das oder die Logfiles auswählen"
  Check "bolShowDirectoryOnly", picker.bolShowDirectoryOnly, True
  Check "strDefaultPath", picker.strDefaultPath, WScript.Arguments(0)
  Check "nothing chosen before the dialog", picker.strResultFullPath, ""
  picker.DisplayFileManager
  Check "chosen folder", picker.strResultFullPath, WScript.Arguments(1)
End Sub
