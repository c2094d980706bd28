// LogManager: the entry class a host creates to open the log viewer. It owns the one
// FileSet through which the viewer window and its commands reach the log files, and it
// points the calling thread's viewer window (frmLogManager) at itself and shows it.
//
// Create it with std::make_shared: Display hands the window a counted reference to this
// object (LogManagerObject). The end of a LogManager is its destructor, which runs when the
// last reference goes - the host's, and the window's while it still targets this object.
// So a LogManager that displayed the window lives on while the window holds it, exactly
// as long as its file set stays reachable from the window. At its end it releases its file
// set and then closes the thread's window, whichever LogManager that window targets now.
//
// Used on its creator's thread only (the window it reaches is that thread's).
#pragma once

#include <memory>

namespace tarvesk {

class Environment;
class FileSet;

class LogManager : public std::enable_shared_from_this<LogManager> {
 public:
  // The environment of its file sets and of the window it displays.
  explicit LogManager(Environment& environment) : environment_(environment) {}
  ~LogManager();
  LogManager(const LogManager&) = delete;
  LogManager& operator=(const LogManager&) = delete;

  // A new, empty file set; the thread's window (created on first use) is targeted at this
  // object, put back into its start state and shown modeless. Returns at once.
  void Display();
  // Empties and releases the file set. Raises error 91 when there is none.
  void EjectFileset();
  // The file set, created empty when there is none; never null.
  std::shared_ptr<FileSet> FileSetManager();

 private:
  Environment& environment_;
  std::shared_ptr<FileSet> objManagedFileSet;
  bool bolFileSetExists = false;
};

}  // namespace tarvesk
