#include "service/Environment.h"

#include "front/frmLogManager.h"

namespace tarvesk {

std::unique_ptr<IViewerWindowView> EnvironmentWithMessages::CreateView(frmLogManager& window) {
  return base_.CreateView(window);
}

}  // namespace tarvesk
