#include "service/ComponentRegistry.h"

namespace tarvesk {

ComponentRegistry& Registry() {
  static ComponentRegistry registry;
  return registry;
}

}  // namespace tarvesk
