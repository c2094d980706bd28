// Test support: an SQLite VFS over the system's own that fails the n-th write from the
// moment it is armed, as a full disk or a failing device would. Installed as
// the default VFS for its lifetime, so the data layer's connections go through it.
#pragma once

#include <sqlite3.h>

#include <cstring>

namespace tarvesk::testing {

class FaultyVfs {
 public:
  FaultyVfs() : real_(sqlite3_vfs_find(nullptr)) {
    vfs_ = *real_;
    vfs_.zName = "tarvesk-faulty";
    vfs_.pAppData = this;
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
    vfs_.xOpen = [](sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                    int* outFlags) {
      auto* self = static_cast<FaultyVfs*>(vfs->pAppData);
      File* wrapper = reinterpret_cast<File*>(file);
      std::memset(wrapper, 0, sizeof(File));
      const int rc = self->real_->xOpen(self->real_, name, Real(file), flags, outFlags);
      if (Real(file)->pMethods) wrapper->base.pMethods = &self->methods_, wrapper->owner = self;
      return rc;
    };
    // Version 1 of the methods: no shared memory (no WAL), no memory mapping, so that every
    // write goes through xWrite. Each method but that one forwards to the real file.
#define TARVESK_FORWARD(method) \
  [](sqlite3_file* f, auto... a) { return Real(f)->pMethods->method(Real(f), a...); }
    methods_.iVersion = 1;
    methods_.xClose = TARVESK_FORWARD(xClose);
    methods_.xRead = TARVESK_FORWARD(xRead);
    methods_.xWrite = [](sqlite3_file* f, const void* data, int n, sqlite3_int64 offset) {
      if (Owner(f)->Strikes()) return Owner(f)->code_;
      return Real(f)->pMethods->xWrite(Real(f), data, n, offset);
    };
    methods_.xTruncate = TARVESK_FORWARD(xTruncate);
    methods_.xSync = TARVESK_FORWARD(xSync);
    methods_.xFileSize = TARVESK_FORWARD(xFileSize);
    methods_.xLock = TARVESK_FORWARD(xLock);
    methods_.xUnlock = TARVESK_FORWARD(xUnlock);
    methods_.xCheckReservedLock = TARVESK_FORWARD(xCheckReservedLock);
    methods_.xFileControl = TARVESK_FORWARD(xFileControl);
    methods_.xSectorSize = TARVESK_FORWARD(xSectorSize);
    methods_.xDeviceCharacteristics = TARVESK_FORWARD(xDeviceCharacteristics);
#undef TARVESK_FORWARD
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~FaultyVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(real_, 1);
  }
  FaultyVfs(const FaultyVfs&) = delete;
  FaultyVfs& operator=(const FaultyVfs&) = delete;

  // Fails the n-th write from now on (1-based) with `code`.
  void Arm(int n, int code) { armed_ = true, fired_ = false, remaining_ = n, code_ = code; }
  void Disarm() { armed_ = false; }
  // Whether the armed failure has been given.
  bool Fired() const { return fired_; }

 private:
  // The wrapper's file: the methods' owner, then the real file right behind it.
  struct File {
    sqlite3_file base;
    FaultyVfs* owner;
  };
  static sqlite3_file* Real(sqlite3_file* f) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<File*>(f) + 1);
  }
  static FaultyVfs* Owner(sqlite3_file* f) { return reinterpret_cast<File*>(f)->owner; }
  bool Strikes() { return armed_ && --remaining_ == 0 && (fired_ = true); }

  sqlite3_vfs vfs_{};
  sqlite3_vfs* real_;
  sqlite3_io_methods methods_{};
  bool armed_ = false, fired_ = false;
  int remaining_ = 0, code_ = SQLITE_IOERR;
};

}  // namespace tarvesk::testing
