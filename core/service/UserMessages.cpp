#include "service/UserMessages.h"

#include <cstdio>

#ifdef _WIN32
#include "platform/windows/MessageBoxMessages.h"
#endif

namespace tarvesk {
namespace {

class StderrMessages : public IUserMessages {
 public:
  MessageAnswer Show(const UserMessage& message) override {
    std::fprintf(stderr, "%s: %s\n", message.title.c_str(), message.text.c_str());
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
};

#ifdef _WIN32
com::MessageBoxMessages defaultMessages;  // Windows shows message boxes
#else
StderrMessages defaultMessages;
#endif
IUserMessages* current = &defaultMessages;

}  // namespace

IUserMessages& UserMessages() { return *current; }

IUserMessages* SetUserMessages(IUserMessages* messages) {
  IUserMessages* previous = current;
  current = messages ? messages : &defaultMessages;
  return previous == &defaultMessages ? nullptr : previous;
}

}  // namespace tarvesk
