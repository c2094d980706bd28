// Test support for the data layer and the undo: the shop database and views of a file.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/support/TestFiles.h"

namespace tarvesk::testing {

using TempFolder = test::TempFolder;

// A connection of the test's own, outside the data layer.
class Connection {
 public:
  explicit Connection(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + path);
    }
  }
  ~Connection() { sqlite3_close_v2(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error(text + " in: " + sql);
    }
  }
  // Rows as "typeof:value|typeof:value" lines ("null" alone), in the order the query gives.
  std::string Dump(const std::string& query) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, query.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
    static const char* const kTypes[] = {"", "int:", "real:", "text:", "text:", "null"};
    std::string out;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const int type = sqlite3_column_type(statement, i);  // before any conversion
        char real[40];
        std::snprintf(real, sizeof real, "%.17g", sqlite3_column_double(statement, i));
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        out += std::string(i ? "|" : "") + kTypes[type] +
               (type == SQLITE_FLOAT           ? real
                : type == SQLITE_NULL || !text ? ""
                                               : text);
      }
      out += '\n';
    }
    sqlite3_finalize(statement);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// The shop: customers, articles and orders with dates, numbers, NULLs and umlauts.
inline void CreateShop(const std::string& path) {
  Connection db(path);
  db.Exec(R"(
    CREATE TABLE Kunden (ID INTEGER PRIMARY KEY, Name TEXT NOT NULL, Vorname TEXT, Ort TEXT,
                         Geburtsdatum TEXT, Rabatt REAL, Punkte INTEGER);
    CREATE TABLE Artikel (ID INTEGER PRIMARY KEY, Bezeichnung TEXT NOT NULL, Preis REAL,
                          Bestand INTEGER CHECK (Bestand >= 0));
    CREATE TABLE Bestellungen (ID INTEGER PRIMARY KEY, KundeID INTEGER, ArtikelID INTEGER,
                               Menge INTEGER, Bestelldatum TEXT, Bemerkung TEXT);
    CREATE TABLE Notizen (Text TEXT);
    INSERT INTO Kunden VALUES (1, 'Müller', 'Jürgen', 'München', '1970-03-01', 0.05, 120);
    INSERT INTO Kunden VALUES (2, 'Weiß', 'Zoë', 'Köln', NULL, NULL, 0);
    INSERT INTO Kunden VALUES (3, 'Øster', NULL, 'Düsseldorf', '1988-12-24', 0.125, NULL);
    INSERT INTO Artikel VALUES (1, 'Schraube M4', 0.07, 5000);
    INSERT INTO Artikel VALUES (2, 'Dübel 6mm', 0.12, 800);
    INSERT INTO Bestellungen VALUES (1, 1, 2, 100, '2026-11-30 09:15:00', NULL);
    INSERT INTO Bestellungen VALUES (2, 3, 1, 250, '2026-12-01 14:00:00', 'Bitte „schnell“ <liefern>');
  )");
}

// Every row of every table of the shop, with the types of its values.
inline std::string Content(const std::string& path) {
  Connection db(path);
  std::string out;
  for (const char* table : {"Kunden", "Artikel", "Bestellungen", "Notizen"}) {
    out += std::string("# ") + table + "\n" +
           db.Dump(std::string("SELECT * FROM ") + table + " ORDER BY rowid");
  }
  return out;
}

inline std::string Bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Sets an environment variable for the life of the object, restoring the old value.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace tarvesk::testing
