// Test support: an SQLite VFS over the system's own that fails the n-th write or the n-th
// sync from the moment it is armed, as a full disk or a failing device would. Installed as
// the default VFS for its lifetime, so the data layer's connections go through it.
#pragma once

#include <sqlite3.h>

namespace tarvesk::testing {

class FaultyVfs {
 public:
  enum class Fault { Write, Sync };

  FaultyVfs();
  ~FaultyVfs();
  FaultyVfs(const FaultyVfs&) = delete;
  FaultyVfs& operator=(const FaultyVfs&) = delete;

  // Fails the n-th operation of that kind from now on (1-based) with `code`.
  void Arm(Fault fault, int n, int code);
  void Disarm() { armed_ = false; }
  // Whether the armed failure has been given.
  bool Fired() const { return fired_; }

 private:
  struct File;
  static File* Of(sqlite3_file* file) { return reinterpret_cast<File*>(file); }
  static int Open(sqlite3_vfs*, const char*, sqlite3_file*, int, int*);
  static int Close(sqlite3_file*);
  static int Read(sqlite3_file*, void*, int, sqlite3_int64);
  static int Write(sqlite3_file*, const void*, int, sqlite3_int64);
  static int Truncate(sqlite3_file*, sqlite3_int64);
  static int Sync(sqlite3_file*, int);
  static int FileSize(sqlite3_file*, sqlite3_int64*);
  static int Lock(sqlite3_file*, int);
  static int Unlock(sqlite3_file*, int);
  static int CheckReservedLock(sqlite3_file*, int*);
  static int FileControl(sqlite3_file*, int, void*);
  static int SectorSize(sqlite3_file*);
  static int DeviceCharacteristics(sqlite3_file*);
  // True when this operation is the one to fail.
  bool Strikes(Fault fault);

  sqlite3_vfs vfs_{};
  sqlite3_vfs* real_;
  sqlite3_io_methods methods_{};
  bool armed_ = false, fired_ = false;
  Fault fault_ = Fault::Write;
  int remaining_ = 0, code_ = SQLITE_IOERR;
};

}  // namespace tarvesk::testing
