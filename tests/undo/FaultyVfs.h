// Test support: the default SQLite VFS while it lives, whose n-th write fails once armed.
#pragma once

#include <sqlite3.h>

#include <map>
#include <utility>

namespace tarvesk::testing {

class FaultyVfs {
 public:
  FaultyVfs() : real_(sqlite3_vfs_find(nullptr)), vfs_(*real_) {
    current_ = this;
    vfs_.zName = "tarvesk-faulty";
    vfs_.xOpen = [](sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out) {
      FaultyVfs& self = *current_;
      const int rc = self.real_->xOpen(self.real_, name, file, flags, out);
      if (file->pMethods) {
        // Version 1 of the file's methods (no WAL, no mmap): every write goes through xWrite.
        sqlite3_io_methods& methods = self.methods_[file->pMethods];
        methods = *file->pMethods;
        methods.iVersion = 1;
        methods.xWrite = [](sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
          FaultyVfs& self = *current_;
          if (self.remaining_ > 0 && --self.remaining_ == 0) return self.code_;
          for (const auto& [real, copy] : self.methods_) {
            if (&copy == f->pMethods) return real->xWrite(f, data, n, at);
          }
          return SQLITE_IOERR_WRITE;
        };
        file->pMethods = &methods;
      }
      return rc;
    };
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~FaultyVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(real_, 1);
  }
  FaultyVfs(const FaultyVfs&) = delete;
  FaultyVfs& operator=(const FaultyVfs&) = delete;

  // Fails the n-th write from now on (1-based) with `code`.
  void Arm(int n, int code) { remaining_ = n, code_ = code; }
  // Whether the armed failure was given; no later write fails.
  bool Disarm() { return std::exchange(remaining_, 0) == 0; }

 private:
  static inline FaultyVfs* current_ = nullptr;
  sqlite3_vfs* real_;
  sqlite3_vfs vfs_;
  std::map<const sqlite3_io_methods*, sqlite3_io_methods> methods_;  // by the real ones
  int remaining_ = 0, code_ = SQLITE_IOERR;
};

}  // namespace tarvesk::testing
