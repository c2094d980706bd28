#include "automation/Error.h"

#include <utility>

namespace tarvesk {

std::string StandardErrorText(int32_t number) {
  if (number < 0) return "Automatisierungsfehler";  // an outside component's own HRESULT
  switch (number) {
    case 3:
      return "Return ohne GoSub";
    case 5:
      return "Unzulässiger Prozeduraufruf oder ungültiges Argument";
    case 6:
      return "Überlauf";
    case 7:
      return "Nicht genügend Speicher";
    case 9:
      return "Index außerhalb des gültigen Bereichs";
    case 11:
      return "Division durch Null";
    case 13:
      return "Typen unverträglich";
    case 52:
      return "Dateiname oder -nummer falsch";
    case 53:
      return "Datei nicht gefunden";
    case 54:
      return "Dateimodus falsch";
    case 55:
      return "Datei bereits geöffnet";
    case 57:
      return "Fehler beim Lesen/Schreiben auf dem Gerät";
    case 61:
      return "Datenträger voll";
    case 62:
      return "Einlesen hinter Dateiende";
    case 67:
      return "Zu viele Dateien";
    case 70:
      return "Zugriff verweigert";
    case 71:
      return "Datenträger nicht bereit";
    case 75:
      return "Fehler beim Zugriff auf Pfad/Datei";
    case 76:
      return "Pfad nicht gefunden";
    case 91:
      return "Objektvariable oder With-Blockvariable nicht festgelegt";
    case 94:
      return "Unzulässige Verwendung von Null";
    case 424:
      return "Objekt erforderlich";
    case 429:
      return "Objekterstellung durch ActiveX-Komponente nicht möglich";
    case 438:
      return "Objekt unterstützt diese Eigenschaft oder Methode nicht";
    case 440:
      return "Automatisierungsfehler";
    case 449:
      return "Argument ist nicht optional";
    case 450:
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
