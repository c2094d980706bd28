// Creation of a component by programmatic identifier, one implementation per platform:
// the built-in registry here; COM (CLSIDFromProgID + CoCreateInstance behind an IDispatch
// adapter) in the Windows build. nullptr when the component cannot be created.
#pragma once

#include <memory>
#include <string>

#include "service/ComponentRegistry.h"

namespace tarvesk {

template <class Interface>
std::unique_ptr<Interface> CreateComponent(const std::string& progId) {
  return Registry().Create<Interface>(progId);
}

}  // namespace tarvesk
