#include "undo/ActionHandler.h"

#include <algorithm>
#include <filesystem>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "logdata/LogData.h"
#include "service/LogValue.h"
#include "service/modService.h"

namespace tarvesk {
namespace {

constexpr const char* kBreak = "\r\n";

constexpr const char* kNotFoundText =
    "Aktion nicht möglich, da der Datensatz nicht gefunden werden konnte! Vielleicht wurde "
    "der Datensatz in der Zwischenzeit gelöscht und dann müssen Sie zuerst diese Aktion "
    "rückgängig machen.";

// Message text of a value: a null value shows as nothing, as it would in a text box.
std::string TextOf(const Variant& value) { return value.IsNull() ? std::string() : CStr(value); }

// The data layer notes a failed write (a broken rule, a full disk, an I/O error, no
// database) in errorstatus rather than raising it: with a note, the write did not happen,
// and the error-status report tells why, with no success message before it.
bool WroteCleanly(IDataLayer& dataLayer) { return TextOf(dataLayer.errorstatus()).empty(); }

// The log names the database it belongs to; only that file is opened. A path relative to
// whatever folder the host runs in, one that SQLite would cut at a NUL, and a missing file
// (which opening could create) are refused before any database is touched.
void CheckDatabasePath(const std::string& path) {
  if (std::any_of(path.begin(), path.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    throw Error(kBadFileName, "Der Datenbankpfad des Logfiles enthält Steuerzeichen.");
  }
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  if (!file.is_absolute()) {
    throw Error(kBadFileName,
                "Der Datenbankpfad \"" + path + "\" des Logfiles ist kein vollständiger Pfad.");
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw Error(kFileNotFound, "Die Datenbank \"" + path + "\" wurde nicht gefunden.");
  }
}

}  // namespace

ActionHandler::~ActionHandler() { objDataLayer.reset(); }

void ActionHandler::SetFileSetObject(std::shared_ptr<FileSet> objfs) {
  objFileSet = std::move(objfs);
  bolFileSetAssigned = true;
}

void ActionHandler::Tell(const std::string& text, const std::string& title, MessageIcon icon) {
  environment_.Messages().Show({text, title, MessageButtons::Ok, icon, 1});
}

void ActionHandler::TellDeclined() {
  outcome_ = UndoOutcome::Declined;
  Tell("Es wurde keine Aktion durchgeführt!", "Keine Aktion", MessageIcon::Information);
}

bool ActionHandler::FindRecordOrTell(IDataLayer& dataLayer, int32_t id) {
  if (IsTrueAnswer(dataLayer.FindRecord("ID", id))) return true;
  outcome_ = UndoOutcome::RecordNotFound;
  Tell(kNotFoundText, "Aktion nicht möglich", MessageIcon::Critical);
  return false;
}

void ActionHandler::ReportWrite(IDataLayer& dataLayer, const std::string& text,
                                const std::string& title) {
  if (!WroteCleanly(dataLayer)) return;
  outcome_ = UndoOutcome::Done;
  Tell(text, title, MessageIcon::Information);
}

bool ActionHandler::AskYes(const std::string& text, const std::string& title) {
  return environment_.Messages().Show(
             {text, title, MessageButtons::YesNo, MessageIcon::Question, 1}) == MessageAnswer::Yes;
}

const PropertyCollection& ActionHandler::ActionData() const {
  if (!objActionData) throw Error(kObjectNotSet);
  return *objActionData;
}

void ActionHandler::PrepareDataLayer() {
  if (!bolFileSetAssigned) return;
  objDataLayer.reset();
  objDataLayer = CreateDataLayer(environment_);
  if (!objFileSet) throw Error(kObjectNotSet);
  strDatabase = objFileSet->FileProperties(lngLogFileHandle, "DATABASE");
  strQueryString =
      objFileSet->LogContent(lngLogFileHandle)->RetrieveActionQueryString(lngActionHandle);
  objFileSet->LogContent(lngLogFileHandle)->LoadLogData();
  objActionData = objFileSet->LogContent(lngLogFileHandle)->GetActionData(lngActionHandle);
  if (!objActionData) {
    throw Error(kSubscriptOutOfRange, "Index außerhalb des gültigen Bereichs: an der Position " +
                                          std::to_string(lngActionHandle) +
                                          " des Logfiles beginnt keine Aktion.");
  }
  CheckDatabasePath(strDatabase);
  // Every kind concerns one record: a query that selects more is refused before any question.
  Use(objDataLayer).SetMaxRecords(1);
  Use(objDataLayer).SetDatabaseByPath(strDatabase);
  Use(objDataLayer).GetRecordset(strQueryString);
}

Variant ActionHandler::UndoAction() {
  outcome_ = UndoOutcome::NotRun;
  if (!bolFileSetAssigned) return Variant();
  PrepareDataLayer();
  const int32_t lngRecordID = LeadingNumber(ActionData().PropertyContent("RECORDID"));
  const std::string strAction = ActionData().PropertyContent("ACTION");

  if (strAction == "UPDATE") {
    UndoUpdate(lngRecordID);
  } else if (strAction == "NEWRECORD") {
    UndoNewRecord(lngRecordID);
  } else if (strAction == "DELETE_inDB") {
    RestoreDeletedRecord();
  }

  if (TextOf(Use(objDataLayer).errorstatus()) != "") {
    outcome_ = UndoOutcome::ErrorsReported;
    Tell(kErrorsReported + std::string(kBreak) +
             TextOf(Use(objDataLayer).errorstatus()),
         "Fehler bei Ausführung", MessageIcon::Exclamation);
  }
  return Variant();
}

void ActionHandler::UndoUpdate(int32_t lngRecordID) {
  IDataLayer& dataLayer = Use(objDataLayer);
  if (!FindRecordOrTell(dataLayer, lngRecordID)) return;
  const std::string fieldName = ActionData().PropertyContent("FieldName");
  const std::string oldValue = ActionData().PropertyContent("OldValue");
  // Raises, before anything is asked, unless the field is shown as it stands and the value
  // goes into it exactly; the data layer then writes only if the field still holds what
  // the question shows.
  dataLayer.CheckFieldValue(fieldName, oldValue);
  const std::string currentValue = TextOf(dataLayer.FieldValue(fieldName));
  const std::string question = std::string("Sie möchten Sie die folgende Aktion durchführen:") +
                               kBreak + "Aktueller Wert des Felds " + fieldName + ": " +
                               currentValue + kBreak +
                               "Überschreiben mit Wert: " + ShowLogValue(oldValue);
  if (AskYes(question, "Aktion durchführen")) {
    dataLayer.SetFieldValue(fieldName, oldValue);
    dataLayer.Save();
    ReportWrite(dataLayer, "Die Aktion wurde durchgeführt!", "Aktion");
  } else {
    TellDeclined();
  }
}

void ActionHandler::UndoNewRecord(int32_t lngRecordID) {
  IDataLayer& dataLayer = Use(objDataLayer);
  if (!FindRecordOrTell(dataLayer, lngRecordID)) return;
  const int32_t fieldCount =
      dataLayer.GetOfflineRecordset()->Records(dataLayer.ActualPosition())->FieldCount();
  std::string fields;
  for (int32_t i = 1; i <= fieldCount; ++i) {
    const auto field =
        dataLayer.GetOfflineRecordset()->Records(dataLayer.ActualPosition())->Fields(i);
    fields += TextOf(field->Description()) + ": " + TextOf(field->Anything()) + kBreak;
  }
  const std::string question =
      std::string("Der folgende Datensatz wurde neu angelegt und soll jetzt gelöscht werden:") +
      kBreak + kBreak + fields + kBreak + "Möchten Sie diesen Datensatz wirklich löschen?";
  if (AskYes(question, "Datensatz löschen")) {
    dataLayer.RemoveRecord(true);
    ReportWrite(dataLayer, "Der Datensatz wurde gelöscht!", "Aktion durchgeführt!");
  } else {
    TellDeclined();
  }
}

void ActionHandler::RestoreDeletedRecord() {
  IDataLayer& dataLayer = Use(objDataLayer);
  std::string fields;
  for (int32_t i = 2; i <= ActionData().PropertyCount(); ++i) {
    const std::string name = ActionData().PropertyNameByIndex(i);
    const std::string value = ActionData().PropertyValueByIndex(i);
    dataLayer.CheckFieldValue(name, value);  // every logged field, before the question
    fields += name + ": " + ShowLogValue(value) + kBreak;
  }
  const std::string question =
      std::string("Möchten Sie den folgenden gelöschten Datensatz wieder anlegen?") + kBreak +
      kBreak + fields;
  if (!AskYes(question, "Datensatz wieder anlegen")) {
    outcome_ = UndoOutcome::Declined;
    return;
  }
  dataLayer.AddNew();
  const int32_t count = ActionData().PropertyCount();
  for (int32_t i = 2; i <= count; ++i) {
    dataLayer.SetFieldValue(ActionData().PropertyNameByIndex(i),
                            ActionData().PropertyValueByIndex(i));
  }
  dataLayer.Save();
  if (!WroteCleanly(dataLayer)) return;
  outcome_ = UndoOutcome::Done;
  const std::string newId = TextOf(dataLayer.FieldValue("ID"));
  Tell("Der Datensatz wurde wieder angelegt. Neue ID ist: " + newId, "Datensatz angelegt",
       MessageIcon::Information);
}

}  // namespace tarvesk
