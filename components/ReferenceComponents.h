// Registers the reference outside components in the built-in registry under their
// programmatic identifiers. Programs of the portable build call it once at start.
#pragma once

namespace tarvesk {

void RegisterReferenceComponents();

}  // namespace tarvesk
