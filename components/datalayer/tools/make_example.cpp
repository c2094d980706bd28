// make_example OUTDIR: builds the example shop database OUTDIR/shop.db and has a few
// scripted sessions change it through the data layer with logging into OUTDIR/logs, so
// that the logs are real ones and every action in them can be undone.
#include <sqlite3.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "components/datalayer/DataLayer.h"

namespace {

using tarvesk::DataLayer;
using tarvesk::Variant;

constexpr const char* kSchema = R"(
CREATE TABLE Kunden (
  ID INTEGER PRIMARY KEY, Name TEXT NOT NULL, Vorname TEXT, Strasse TEXT, PLZ TEXT,
  Ort TEXT, Geburtsdatum TEXT, Rabatt REAL, Kundenseit TEXT, Notiz TEXT);
CREATE TABLE Artikel (
  ID INTEGER PRIMARY KEY, Bezeichnung TEXT NOT NULL, Preis REAL NOT NULL,
  Bestand INTEGER NOT NULL CHECK (Bestand >= 0), Gewicht REAL);
CREATE TABLE Bestellungen (
  ID INTEGER PRIMARY KEY, KundeID INTEGER NOT NULL, ArtikelID INTEGER NOT NULL,
  Menge INTEGER NOT NULL, Bestelldatum TEXT NOT NULL, Lieferdatum TEXT, Bemerkung TEXT);
INSERT INTO Kunden VALUES
  (1, 'Müller', 'Jürgen', 'Hauptstraße 5', '80331', 'München', '1970-03-01', 0.05,
   '2015-06-01', NULL),
  (2, 'Weiß', 'Zoë', 'Domkloster 4', '50667', 'Köln', NULL, NULL, '2019-01-15',
   'Zahlt per Überweisung'),
  (3, 'Øster', 'Søren', 'Königsallee 1', '40212', 'Düsseldorf', '1988-12-24', 0.125,
   '2021-09-30', 'Rückruf erbeten <dringend>'),
  (4, 'Groß', NULL, NULL, NULL, 'Görlitz', NULL, 0, '2024-02-29', NULL),
  (5, 'Schäfer & Söhne GmbH', NULL, 'Am Hafen 12', '20457', 'Hamburg', NULL, 0.1,
   '2010-10-10', 'Firmenkunde; Rabatt = 10 %');
INSERT INTO Artikel VALUES
  (1, 'Schraube M4 × 20', 0.07, 5000, 0.004),
  (2, 'Dübel 6 mm', 0.12, 800, NULL),
  (3, 'Akkuschrauber „Profi“', 129.9, 12, 1.35),
  (4, 'Werkzeugkoffer', 49.5, 3, 4.2);
INSERT INTO Bestellungen VALUES
  (1, 1, 2, 100, '2026-11-30 09:15:00', '2026-12-02', NULL),
  (2, 3, 3, 1, '2026-12-01 14:00:00', NULL, 'Bitte vor 12 Uhr liefern'),
  (3, 2, 1, 250, '2026-12-03 08:30:00', NULL, NULL),
  (4, 5, 4, 2, '2026-12-04 16:45:00', '2026-12-05', 'Lieferschein beilegen');
)";

bool CreateDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) == SQLITE_OK;
  char* message = nullptr;
  if (ok && sqlite3_exec(db, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
    std::cerr << "make_example: " << (message ? message : "?") << '\n';
    ok = false;
  }
  sqlite3_free(message);
  sqlite3_close_v2(db);
  return ok;
}

// One logging session of an application against the shop.
class Session {
 public:
  Session(const std::string& database, const std::string& logs, const std::string& application) {
    layer_.SetLogFolder(logs);
    layer_.SetApplicationName(application);
    layer_.SetDatabaseByPath(database);
  }
  void Open(const std::string& table, int32_t id) {
    std::string query = "SELECT * FROM " + table;
    layer_.GetRecordset(query);
    layer_.FindRecord("ID", id);
  }
  void Set(const std::string& field, const std::string& value) {
    layer_.SetFieldValue(field, value);
  }
  void Save() { layer_.Save(); }
  void Delete() { layer_.RemoveRecord(true); }
  void New(const std::string& table) {
    std::string query = "SELECT * FROM " + table + " WHERE ID = 0";
    layer_.GetRecordset(query);
    layer_.AddNew();
  }
  std::string Errors() { return layer_.errorstatus().AsString(); }

 private:
  DataLayer layer_;
};

}  // namespace

constexpr const char* kUsage =
    "Aufruf: make_example AUSGABEORDNER\n"
    "Legt AUSGABEORDNER/shop.db an (eine kleine Shop-Datenbank) und lässt einige Sitzungen\n"
    "sie über die Datenschicht ändern; deren Logs landen in AUSGABEORDNER/logs.\n"
    "Eine Datenbank und Logs von früher in diesem Ordner werden ersetzt.\n";

int main(int argc, char** argv) {
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (argc != 2 || first.empty() || first[0] == '-') {
    std::cerr << kUsage;
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = fs::absolute(argv[1]);
  const std::string database = (out / "shop.db").string();
  const std::string logs = (out / "logs").string();
  std::error_code ec;
  fs::create_directories(out / "logs", ec);
  fs::remove(database, ec);
  for (const auto& entry : fs::directory_iterator(out / "logs", ec)) {
    if (entry.path().extension() == ".xml") fs::remove(entry.path(), ec);
  }
  if (!CreateDatabase(database)) return 1;

  {  // The office corrects addresses and discounts.
    Session s(database, logs, "Kundenverwaltung");
    s.Open("Kunden", 1);
    s.Set("Ort", "Köln");
    s.Set("PLZ", "50667");
    s.Set("Rabatt", "0.075");
    s.Save();
    s.Open("Kunden", 2);
    s.Set("Geburtsdatum", "1992-07-14");
    s.Set("Notiz", "Zahlt per Lastschrift\r\nNeue Bankverbindung seit 12/2026");
    s.Save();
    s.Open("Kunden", 4);
    s.Set("Rabatt", "");
    s.Save();
  }
  {  // The shop takes orders and changes the stock.
    Session s(database, logs, "Webshop");
    s.New("Bestellungen");
    s.Set("KundeID", "4");
    s.Set("ArtikelID", "3");
    s.Set("Menge", "1");
    s.Set("Bestelldatum", "2026-12-06 10:05:00");
    s.Set("Bemerkung", "Geschenkverpackung „Weihnachten“");
    s.Save();
    s.Open("Artikel", 3);
    s.Set("Bestand", "11");
    s.Save();
    s.New("Bestellungen");
    s.Set("KundeID", "1");
    s.Set("ArtikelID", "1");
    s.Set("Menge", "500");
    s.Set("Bestelldatum", "2026-12-06 10:20:00");
    s.Save();
    s.Open("Artikel", 1);
    s.Set("Bestand", "4500");
    s.Set("Preis", "0.065");
    s.Save();
  }
  {  // The back office cleans up; one of its steps is refused.
    Session s(database, logs, "Buchhaltung");
    s.Open("Bestellungen", 3);
    s.Delete();
    s.Open("Kunden", 5);
    s.Set("Telefon", "040 123456");  // no such column: noted, not written
    s.Set("Notiz", "Firmenkunde; Rabatt = 12 % ab 2027");
    s.Save();
    s.Open("Artikel", 4);
    s.Set("Bestand", "-1");  // breaks the CHECK: the whole Save is refused
    s.Set("Gewicht", "4.5");
    s.Save();
    s.Open("Kunden", 3);
    s.Delete();
    if (s.Errors().empty()) std::cerr << "make_example: the refused steps were accepted\n";
  }
  std::cout << database << '\n' << logs << '\n';
  return 0;
}
