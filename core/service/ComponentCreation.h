// Creation of a component by programmatic identifier, one implementation per platform:
// the built-in registry here; COM (CLSIDFromProgID + CoCreateInstance behind an IDispatch
// adapter) in the Windows build. nullptr when the component cannot be created.
#pragma once

#include <memory>
#include <string>

#ifdef _WIN32
#include "platform/windows/ComComponents.h"
#else
#include "service/ComponentRegistry.h"
#endif

namespace tarvesk {

template <class Interface>
std::unique_ptr<Interface> CreateComponent(const std::string& progId) {
#ifdef _WIN32
  return com::CreateComComponent<Interface>(progId);
#else
  return Registry().Create<Interface>(progId);
#endif
}

}  // namespace tarvesk
