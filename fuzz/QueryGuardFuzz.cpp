// The data layer's query guard on any text as a query: whatever it accepts or refuses, the
// database keeps its bytes and no other file appears beside it.
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

#include "automation/Error.h"
#include "components/datalayer/DataLayer.h"
#include "fuzz/FuzzSupport.h"

namespace {

const std::string& Database() {
  static const std::string path = [] {
    const std::string file = tarvesk::fuzz::Folder() + "/shop.db";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE Kunden (ID INTEGER PRIMARY KEY, Name TEXT, Ort TEXT);"
                 "CREATE TABLE Artikel (ID INTEGER PRIMARY KEY, Preis REAL);"
                 "INSERT INTO Kunden VALUES (1, 'Müller', 'Köln'), (2, 'Weiß', NULL);"
                 "INSERT INTO Artikel VALUES (1, 0.5);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return file;
  }();
  return path;
}

std::string Read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string before = Read(Database());
  std::string query(tarvesk::fuzz::Bytes(data, size));
  try {
    tarvesk::DataLayer layer;
    layer.SetLogFolder("");
    layer.SetDatabaseByPath(Database());
    layer.GetRecordset(query);
    (void)layer.errorstatus();
  } catch (const tarvesk::Error&) {
    // A refused query is raised as an error: an outcome like any other, if nothing changed.
  }
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(tarvesk::fuzz::Folder())) {
    (void)entry;
    ++files;
  }
  if (files != 1 || Read(Database()) != before) std::abort();
  return 0;
}
