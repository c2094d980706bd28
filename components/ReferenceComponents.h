// Registers the reference outside components in a registry under their programmatic
// identifiers: the POSIX environment's registry, and the registries of tests.
#pragma once

namespace tarvesk {

class ComponentRegistry;

void RegisterReferenceComponents(ComponentRegistry& registry);

}  // namespace tarvesk
