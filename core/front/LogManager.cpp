#include "front/LogManager.h"

#include "automation/Error.h"
#include "fileset/FileSet.h"
#include "front/frmLogManager.h"

namespace tarvesk {

LogManager::~LogManager() {
  objManagedFileSet.reset();
  try {
    if (frmLogManager* window = frmLogManager::CurrentThreadWindow()) window->Unload();
  } catch (...) {
    // The end of the object goes on whatever the window does.
  }
}

void LogManager::Display() {
  objManagedFileSet = std::make_shared<FileSet>(environment_);
  bolFileSetExists = true;
  frmLogManager& window = frmLogManager::ForCurrentThread(environment_);
  window.SetLogManagerObject(shared_from_this());
  // The lists of a shown window belong to the file set just replaced.
  window.ResetToStartState();
  window.Show();
}

void LogManager::EjectFileset() {
  bolFileSetExists = false;
  if (!objManagedFileSet) throw Error(kObjectNotSet);
  objManagedFileSet->EjectFileset();
  objManagedFileSet.reset();
}

std::shared_ptr<FileSet> LogManager::FileSetManager() {
  if (!bolFileSetExists) {
    objManagedFileSet = std::make_shared<FileSet>(environment_);
    bolFileSetExists = true;
  }
  return objManagedFileSet;
}

}  // namespace tarvesk
