// Placeholder until the undo command lands.
#include "cli/Cli.h"

namespace tarvesk::cli {

int RunUndo(Context& context, const std::vector<std::string>&) {
  context.err << "Der Befehl undo ist noch nicht verfügbar.\n";
  return kFailed;
}

}  // namespace tarvesk::cli
