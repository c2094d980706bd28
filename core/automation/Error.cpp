#include "automation/Error.h"

#include <utility>

namespace tarvesk {

std::string StandardErrorText(int32_t number) {
  if (number < 0) return "Automatisierungsfehler";  // an outside component's own HRESULT
  switch (number) {
    case kReturnWithoutGoSub:
      return "Return ohne GoSub";
    case kInvalidProcedureCall:
      return "Unzulässiger Prozeduraufruf oder ungültiges Argument";
    case kOverflow:
      return "Überlauf";
    case kOutOfMemory:
      return "Nicht genügend Speicher";
    case kSubscriptOutOfRange:
      return "Index außerhalb des gültigen Bereichs";
    case kDivisionByZero:
      return "Division durch Null";
    case kTypeMismatch:
      return "Typen unverträglich";
    case kBadFileName:
      return "Dateiname oder -nummer falsch";
    case kFileNotFound:
      return "Datei nicht gefunden";
    case kBadFileMode:
      return "Dateimodus falsch";
    case kFileAlreadyOpen:
      return "Datei bereits geöffnet";
    case kDeviceIOError:
      return "Fehler beim Lesen/Schreiben auf dem Gerät";
    case kDiskFull:
      return "Datenträger voll";
    case kInputPastEndOfFile:
      return "Einlesen hinter Dateiende";
    case kTooManyFiles:
      return "Zu viele Dateien";
    case kPermissionDenied:
      return "Zugriff verweigert";
    case kDiskNotReady:
      return "Datenträger nicht bereit";
    case kPathFileAccessError:
      return "Fehler beim Zugriff auf Pfad/Datei";
    case kPathNotFound:
      return "Pfad nicht gefunden";
    case kObjectNotSet:
      return "Objektvariable oder With-Blockvariable nicht festgelegt";
    case kInvalidUseOfNull:
      return "Unzulässige Verwendung von Null";
    case kObjectRequired:
      return "Objekt erforderlich";
    case kCannotCreateObject:
      return "Objekterstellung durch ActiveX-Komponente nicht möglich";
    case kMemberNotSupported:
      return "Objekt unterstützt diese Eigenschaft oder Methode nicht";
    case kAutomationError:
      return "Automatisierungsfehler";
    case kArgumentNotOptional:
      return "Argument ist nicht optional";
    case kWrongArgumentCount:
      return "Falsche Anzahl an Argumenten oder ungültige Eigenschaftszuweisung";
    default:
      return "Anwendungs- oder objektdefinierter Fehler";
  }
}

Error::Error(int32_t number, std::string description, std::string source)
    : number_(number),
      description_(description.empty() ? StandardErrorText(number) : std::move(description)),
      source_(std::move(source)) {}

std::string DescribeError(const Error& error) {
  return "Laufzeitfehler " + std::to_string(error.Number()) + ": " + error.Description();
}

}  // namespace tarvesk
