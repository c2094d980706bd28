// TarveskLogManager.dll: its class table and the four exported entry points.
#include "com/kit/ComServer.h"
#include "com/logmanager/Objects.h"

namespace tarvesk::com {
namespace {

const ClassEntry kClasses[] = {
    {&CLSID_LogManager, L"TarveskLogManager.LogManager", CreateInstance<LogManagerObject>},
    {&CLSID_FileSet, L"TarveskLogManager.FileSet", CreateInstance<FileSetObject>},
    {&CLSID_PropertyCollection, L"TarveskLogManager.PropertyCollection",
     CreateInstance<PropertyCollectionObject>},
    {&CLSID_LogData, L"TarveskLogManager.LogData", CreateInstance<LogDataObject>},
    {&CLSID_ActionHandler, L"TarveskLogManager.ActionHandler", CreateInstance<ActionHandlerObject>},
};

const ServerDescription kServer{&LIBID_TarveskLogManager, 1, 0, kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
