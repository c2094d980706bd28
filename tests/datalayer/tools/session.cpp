// datalayer_session DB LOGDIR COUNT: a data-layer session in a process of its own, for the
// tests of what pruning and crashes do to the log it writes. Creates a small shop at DB when
// there is none, then changes it COUNT times (0: until killed) with logging into LOGDIR:
// updates of varying length, new orders and their deletion. Prints "log PATH" once the log
// exists, "done" after the last change, then keeps its log open until stdin closes.
#include <sqlite3.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "components/datalayer/DataLayer.h"

namespace {

constexpr const char* kSchema = R"(
CREATE TABLE Kunden (ID INTEGER PRIMARY KEY, Name TEXT NOT NULL, Ort TEXT);
CREATE TABLE Bestellungen (ID INTEGER PRIMARY KEY, KundeID INTEGER, Menge INTEGER,
                           Bemerkung TEXT);
INSERT INTO Kunden VALUES (1, 'Müller', 'München'), (2, 'Weiß', 'Köln'), (3, 'Øster', NULL);
)";

bool CreateShop(const std::string& path) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) == SQLITE_OK &&
            sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close_v2(db);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: datalayer_session DB LOGDIR COUNT\n";
    return 2;
  }
  const std::string database = argv[1], logs = argv[2];
  const long count = std::stol(argv[3]);
  if (!std::filesystem::exists(database) && !CreateShop(database)) return 1;

  tarvesk::DataLayer layer;
  layer.SetLogFolder(logs);
  layer.SetApplicationName("Sitzung");
  layer.SetDatabaseByPath(database);
  int32_t lastOrder = 0;
  for (long i = 0; count == 0 || i < count; ++i) {
    std::string query;
    if (i % 4 == 3 && lastOrder != 0) {
      query = "SELECT * FROM Bestellungen";
      layer.GetRecordset(query);
      layer.FindRecord("ID", lastOrder);
      layer.RemoveRecord(true);
      lastOrder = 0;
    } else if (i % 4 == 2) {
      query = "SELECT * FROM Bestellungen";
      layer.GetRecordset(query);
      layer.AddNew();
      layer.SetFieldValue("KundeID", std::to_string(1 + i % 3));
      layer.SetFieldValue("Menge", std::to_string(i));
      layer.SetFieldValue("Bemerkung", std::string(static_cast<size_t>(i * 53 % 400), 'b'));
      layer.Save();
      const tarvesk::Variant id = layer.FieldValue("ID");
      lastOrder = id.GetType() == tarvesk::Variant::Type::Long ? id.AsLong() : 0;
    } else {
      query = "SELECT * FROM Kunden";
      layer.GetRecordset(query);
      int32_t id = static_cast<int32_t>(1 + i % 3);
      layer.FindRecord("ID", id);
      layer.SetFieldValue("Ort", "Ort " + std::to_string(i) + " " +
                                     std::string(static_cast<size_t>(i * 37 % 300), 'o'));
      layer.Save();
    }
    if (i == 0) std::cout << "log " << layer.LogFilePath() << std::endl;
  }
  std::cout << "done" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
  }
  return 0;
}
