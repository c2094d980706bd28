// A registry of components by programmatic identifier: what stands in for COM registration
// where there is none. The POSIX environment holds one with the reference components
// (RegisterReferenceComponents, components/); tests may unregister or replace entries.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tarvesk {

class ComponentRegistry {
 public:
  template <class Interface>
  using Maker = std::function<std::unique_ptr<Interface>()>;

  template <class Interface>
  void Register(const std::string& progId, Maker<Interface> make) {
    makers_[progId] = std::move(make);
  }
  void Unregister(const std::string& progId) { makers_.erase(progId); }

  // A new instance; nullptr when the identifier is not registered for that interface or
  // its maker fails.
  template <class Interface>
  std::unique_ptr<Interface> Create(const std::string& progId) const {
    const auto found = makers_.find(progId);
    if (found == makers_.end()) return nullptr;
    const auto* make = std::any_cast<Maker<Interface>>(&found->second);
    if (!make || !*make) return nullptr;
    try {
      return (*make)();
    } catch (...) {
      return nullptr;
    }
  }

 private:
  std::map<std::string, std::any> makers_;
};

}  // namespace tarvesk
