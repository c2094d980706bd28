// The environment of the platform the program is built for, chosen by file in CMake:
// platform/posix/PosixEnvironment.cpp or platform/windows/WindowsEnvironment.cpp. For
// programs that run on both (the command line); messages nullptr: the platform's own.
#pragma once

#include <memory>

#include "service/Environment.h"

namespace tarvesk {

std::unique_ptr<Environment> MakePlatformEnvironment(IUserMessages* messages = nullptr);

}  // namespace tarvesk
