// The tests' environment: the reference components, the message fake, the views a test makes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "front/frmLogManager.h"
#include "platform/posix/PosixEnvironment.h"

namespace tarvesk::test {

// Records every message box; answers questions with questionAnswer after whileAsked has run.
class ScriptedMessages : public IUserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    shown.push_back(message);
    if (message.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (whileAsked) whileAsked();
    return questionAnswer;
  }
  std::vector<UserMessage> shown;
  MessageAnswer questionAnswer = MessageAnswer::No;
  std::function<void()> whileAsked;
};

class TestEnvironment : public PosixEnvironment {
 public:
  TestEnvironment() : PosixEnvironment(&messages) {}

  std::unique_ptr<IViewerWindowView> CreateView(frmLogManager& window) override {
    return views ? views(window) : nullptr;
  }

  ScriptedMessages messages;
  std::function<std::unique_ptr<IViewerWindowView>(frmLogManager&)> views;
};

}  // namespace tarvesk::test
