#include "tests/undo/FaultyVfs.h"

#include <cstring>

namespace tarvesk::testing {

// The wrapper's file: the methods' owner, then the real file right behind it.
struct FaultyVfs::File {
  sqlite3_file base;
  FaultyVfs* owner;
  sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

FaultyVfs::FaultyVfs() : real_(sqlite3_vfs_find(nullptr)) {
  vfs_ = *real_;
  vfs_.zName = "tarvesk-faulty";
  vfs_.pAppData = this;
  vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
  vfs_.xOpen = Open;
  // Version 1 of the methods: no shared memory (no WAL), no memory mapping, so that every
  // write goes through xWrite.
  methods_.iVersion = 1;
  methods_.xClose = Close;
  methods_.xRead = Read;
  methods_.xWrite = Write;
  methods_.xTruncate = Truncate;
  methods_.xSync = Sync;
  methods_.xFileSize = FileSize;
  methods_.xLock = Lock;
  methods_.xUnlock = Unlock;
  methods_.xCheckReservedLock = CheckReservedLock;
  methods_.xFileControl = FileControl;
  methods_.xSectorSize = SectorSize;
  methods_.xDeviceCharacteristics = DeviceCharacteristics;
  sqlite3_vfs_register(&vfs_, 1);
}

FaultyVfs::~FaultyVfs() {
  sqlite3_vfs_unregister(&vfs_);
  sqlite3_vfs_register(real_, 1);
}

void FaultyVfs::Arm(Fault fault, int n, int code) {
  armed_ = true;
  fired_ = false;
  fault_ = fault;
  remaining_ = n;
  code_ = code;
}

bool FaultyVfs::Strikes(Fault fault) {
  if (!armed_ || fault != fault_ || --remaining_ != 0) return false;
  fired_ = true;
  return true;
}

int FaultyVfs::Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                    int* outFlags) {
  auto* self = static_cast<FaultyVfs*>(vfs->pAppData);
  File* wrapper = Of(file);
  std::memset(wrapper, 0, sizeof(File));
  const int rc = self->real_->xOpen(self->real_, name, wrapper->Real(), flags, outFlags);
  if (wrapper->Real()->pMethods) {
    wrapper->base.pMethods = &self->methods_;
    wrapper->owner = self;
  }
  return rc;
}

int FaultyVfs::Close(sqlite3_file* f) { return Of(f)->Real()->pMethods->xClose(Of(f)->Real()); }
int FaultyVfs::Read(sqlite3_file* f, void* data, int n, sqlite3_int64 offset) {
  return Of(f)->Real()->pMethods->xRead(Of(f)->Real(), data, n, offset);
}
int FaultyVfs::Write(sqlite3_file* f, const void* data, int n, sqlite3_int64 offset) {
  if (Of(f)->owner->Strikes(Fault::Write)) return Of(f)->owner->code_;
  return Of(f)->Real()->pMethods->xWrite(Of(f)->Real(), data, n, offset);
}
int FaultyVfs::Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Of(f)->Real()->pMethods->xTruncate(Of(f)->Real(), size);
}
int FaultyVfs::Sync(sqlite3_file* f, int flags) {
  if (Of(f)->owner->Strikes(Fault::Sync)) return Of(f)->owner->code_;
  return Of(f)->Real()->pMethods->xSync(Of(f)->Real(), flags);
}
int FaultyVfs::FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Of(f)->Real()->pMethods->xFileSize(Of(f)->Real(), size);
}
int FaultyVfs::Lock(sqlite3_file* f, int level) {
  return Of(f)->Real()->pMethods->xLock(Of(f)->Real(), level);
}
int FaultyVfs::Unlock(sqlite3_file* f, int level) {
  return Of(f)->Real()->pMethods->xUnlock(Of(f)->Real(), level);
}
int FaultyVfs::CheckReservedLock(sqlite3_file* f, int* out) {
  return Of(f)->Real()->pMethods->xCheckReservedLock(Of(f)->Real(), out);
}
int FaultyVfs::FileControl(sqlite3_file* f, int op, void* arg) {
  return Of(f)->Real()->pMethods->xFileControl(Of(f)->Real(), op, arg);
}
int FaultyVfs::SectorSize(sqlite3_file* f) {
  return Of(f)->Real()->pMethods->xSectorSize(Of(f)->Real());
}
int FaultyVfs::DeviceCharacteristics(sqlite3_file* f) {
  return Of(f)->Real()->pMethods->xDeviceCharacteristics(Of(f)->Real());
}

}  // namespace tarvesk::testing
