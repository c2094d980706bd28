// datalayer_session DB LOGDIR COUNT: COUNT logged changes of the shop; prints "log PATH" at
// the first and "done" after the last, then holds its log open until stdin closes.
#include <iostream>

#include "components/datalayer/DataLayer.h"
#include "tests/datalayer/SqliteFixtures.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string database = argv[1];
  if (!std::filesystem::exists(database)) tarvesk::testing::CreateShop(database);
  tarvesk::DataLayer layer;
  layer.SetLogFolder(argv[2]);
  layer.SetApplicationName("Sitzung");
  layer.SetDatabaseByPath(database);
  for (int32_t i = 0; i < std::stoi(argv[3]); ++i) {
    std::string query = "SELECT * FROM Kunden";
    layer.GetRecordset(query);
    int32_t id = 1 + i % 3;
    layer.FindRecord("ID", id);
    layer.SetFieldValue("Ort", "Ort " + std::to_string(i));
    layer.Save();
    if (i == 0) std::cout << "log " << layer.LogFilePath() << std::endl;
  }
  std::cout << "done" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
  }
  return 0;
}
