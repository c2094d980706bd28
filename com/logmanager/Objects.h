// The COM objects of TarveskLogManager.dll: one wrapper class per public class, each
// holding its core object (fileset/, logdata/, undo/, front/) and translating between the
// interface's types and the core's. A core object has at most one live wrapper at a time
// (WrapperOf), so a host sees one identity per object. Created by the class factory or
// handed out by another wrapper; used on the creator's thread. Windows only. The core
// objects a class factory creates are given the DLL's environment (TheEnvironment).
#pragma once

#include <memory>

#include "com/kit/ComServer.h"
#include "com/logmanager/TarveskLogManager.h"
#include "fileset/FileSet.h"
#include "fileset/PropertyCollection.h"
#include "front/LogManager.h"
#include "logdata/LogData.h"
#include "service/Environment.h"
#include "undo/ActionHandler.h"

namespace tarvesk::com {

// The environment of every core object this DLL creates: COM components, message boxes
// and the Win32 view. Made at the first use; lives until the DLL is unloaded.
Environment& TheEnvironment();

class PropertyCollectionObject : public CoreObject<_PropertyCollection, PropertyCollection> {
 public:
  PropertyCollectionObject() : CoreObject(std::make_shared<PropertyCollection>()) {}
  explicit PropertyCollectionObject(std::shared_ptr<PropertyCollection> core)
      : CoreObject(std::move(core)) {}

  STDMETHODIMP AddProperty(BSTR* PropertyName, BSTR* Content, VARIANT* Result) override;
  STDMETHODIMP get_PropertyContent(BSTR* PropertyName, BSTR* Result) override;
  STDMETHODIMP get_PropertyCount(long* Result) override;
  STDMETHODIMP get_PropertyNameByIndex(long* Index, BSTR* Result) override;
  STDMETHODIMP get_PropertyValueByIndex(long* Index, BSTR* Result) override;
};

class FileSetObject : public CoreObject<_FileSet, FileSet> {
 public:
  FileSetObject() : CoreObject(std::make_shared<FileSet>(TheEnvironment())) {}
  explicit FileSetObject(std::shared_ptr<FileSet> core) : CoreObject(std::move(core)) {}

  STDMETHODIMP DeleteOldFiles(DATE* datKeepNewerThan, VARIANT_BOOL* Result) override;
  STDMETHODIMP get_File(long* Index, BSTR* Result) override;
  STDMETHODIMP get_FileCount(long* Result) override;
  STDMETHODIMP FileProperties(long* FileIndex, BSTR* PropertyType, BSTR* Result) override;
  STDMETHODIMP LoadFileSet(BSTR* FilePath, VARIANT_BOOL* Result) override;
  STDMETHODIMP EjectFileset(VARIANT* Result) override;
  STDMETHODIMP ReadFileSetProperties(VARIANT* Result) override;
  STDMETHODIMP get_LogContent(long* FileIndex, _LogData** Result) override;
};

class LogDataObject : public CoreObject<_LogData, LogData> {
 public:
  LogDataObject() : CoreObject(std::make_shared<LogData>(TheEnvironment())) {}
  explicit LogDataObject(std::shared_ptr<LogData> core) : CoreObject(std::move(core)) {}

  STDMETHODIMP get_Parent(_FileSet** Result) override;
  STDMETHODIMP putref_Parent(_FileSet* Parent) override;
  STDMETHODIMP get_FileIndex(long* Result) override;
  STDMETHODIMP put_FileIndex(long FileIndex) override;
  STDMETHODIMP get_ErrorInfo(BSTR* Result) override;
  STDMETHODIMP GetActionData(long* PositionInList, _PropertyCollection** Result) override;
  STDMETHODIMP GetActionList(_Collection** Result) override;
  STDMETHODIMP LoadLogData(VARIANT* Result) override;
  STDMETHODIMP ResetErrors() override;
  STDMETHODIMP RetrieveActionQueryString(VARIANT* lngActionPos, BSTR* Result) override;
};

class ActionHandlerObject : public CoreObject<_ActionHandler, ActionHandler> {
 public:
  ActionHandlerObject() : CoreObject(std::make_shared<ActionHandler>(TheEnvironment())) {}

  STDMETHODIMP get_LogFileHandle(long* Result) override;
  STDMETHODIMP put_LogFileHandle(long LogFileHandle) override;
  STDMETHODIMP get_ActionHandle(long* Result) override;
  STDMETHODIMP put_ActionHandle(long ActionHandle) override;
  STDMETHODIMP put_FileSetObject(_FileSet** objfs) override;
  STDMETHODIMP UndoAction(VARIANT* Result) override;
};

class LogManagerObject : public CoreObject<_LogManager, LogManager> {
 public:
  LogManagerObject() : CoreObject(std::make_shared<LogManager>(TheEnvironment())) {}

  STDMETHODIMP Display(VARIANT* Result) override;
  STDMETHODIMP EjectFileset(VARIANT* Result) override;
  STDMETHODIMP get_FileSetManager(_FileSet** Result) override;
};

// The core FileSet of a host's object: nullptr for Nothing, error 13 for an object that
// is not one of our file sets.
std::shared_ptr<FileSet> FileSetOf(IUnknown* object);

}  // namespace tarvesk::com
