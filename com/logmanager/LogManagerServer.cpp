// TarveskLogManager.dll: its class table and the four exported entry points.
#include "com/kit/ComServer.h"
#include "com/logmanager/Objects.h"

namespace tarvesk::com {
namespace {

const ClassEntry kClasses[] = {
    Class<LogManagerObject>(CLSID_LogManager),
    Class<FileSetObject>(CLSID_FileSet),
    Class<PropertyCollectionObject>(CLSID_PropertyCollection),
    Class<LogDataObject>(CLSID_LogData),
    Class<ActionHandlerObject>(CLSID_ActionHandler),
};

const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
