// datalayer_session DB LOGDIR COUNT: a data-layer session in a process of its own, for the
// tests of what pruning and crashes do to the log it writes. Creates the shop at DB when
// there is none, then changes it COUNT times (0: until killed) with logging into LOGDIR:
// updates of varying length, new orders and their deletion. Prints "log PATH" once the log
// exists, "done" after the last change, then keeps its log open until stdin closes.
#include <iostream>

#include "components/datalayer/DataLayer.h"
#include "tests/datalayer/SqliteFixtures.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string database = argv[1];
  const long count = std::stol(argv[3]);
  if (!std::filesystem::exists(database)) tarvesk::testing::CreateShop(database);

  tarvesk::DataLayer layer;
  layer.SetLogFolder(argv[2]);
  layer.SetApplicationName("Sitzung");
  layer.SetDatabaseByPath(database);
  int32_t lastOrder = 0;
  for (long i = 0; count == 0 || i < count; ++i) {
    const bool remove = i % 4 == 3 && lastOrder != 0, add = i % 4 == 2;
    std::string query = remove || add ? "SELECT * FROM Bestellungen" : "SELECT * FROM Kunden";
    layer.GetRecordset(query);
    if (remove) {
      layer.FindRecord("ID", lastOrder);
      layer.RemoveRecord(true);
      lastOrder = 0;
    } else if (add) {
      layer.AddNew();
      layer.SetFieldValue("KundeID", std::to_string(1 + i % 3));
      layer.SetFieldValue("Menge", std::to_string(i));
      layer.SetFieldValue("Bemerkung", std::string(static_cast<size_t>(i * 53 % 400), 'b'));
      layer.Save();
      const tarvesk::Variant id = layer.FieldValue("ID");
      lastOrder = id.GetType() == tarvesk::Variant::Type::Long ? id.AsLong() : 0;
    } else {
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
