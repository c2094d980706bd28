// The environment of the portable build: the outside components come from a registry of
// the reference implementations under their programmatic identifiers, a message goes to
// stderr (a question is answered No, so that nothing is changed unasked), and the viewer
// window is drawn nowhere.
//
// Owns its registry and its stderr messages; a program may hand in messages of its own
// (the caller keeps them alive). Used on one thread at a time.
#pragma once

#include "service/ComponentRegistry.h"
#include "service/Environment.h"

namespace tarvesk {

// Writes "title: text" to stderr; answers OK, or No to a question.
class StderrMessages : public IUserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override;
};

class PosixEnvironment : public Environment {
 public:
  // With the reference components registered; messages nullptr: stderr.
  explicit PosixEnvironment(IUserMessages* messages = nullptr);

  IUserMessages& Messages() override { return messages_ ? *messages_ : stderr_; }
  std::unique_ptr<IFolderPicker> CreateFolderPicker(const std::string& progId) override;
  std::unique_ptr<IFileSystem> CreateFileSystem(const std::string& progId) override;
  std::unique_ptr<IXmlParser> CreateXmlParser(const std::string& progId) override;
  std::unique_ptr<IDataLayer> CreateDataLayer(const std::string& progId) override;
  std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) override;

  // What stands in for COM registration; a program or test may replace entries.
  ComponentRegistry& Components() { return components_; }

 private:
  ComponentRegistry components_;
  StderrMessages stderr_;
  IUserMessages* messages_;
};

}  // namespace tarvesk
