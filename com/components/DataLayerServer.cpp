// TarveskDataLayer.dll: the reference data layer (components/datalayer) as the COM class
// TarveskDataLayer.DataLayer, with the objects of its offline record set.
#include "com/components/TarveskDataLayer.h"
#include "com/kit/ComServer.h"
#include "components/datalayer/DataLayer.h"

namespace tarvesk::com {
namespace {

void SetVariant(VARIANT* out, const Variant& value) {
  if (!out) throw Error(kObjectNotSet);
  FromCore(value, out);
}

class FieldObject : public DispatchObject<_Field> {
 public:
  explicit FieldObject(std::shared_ptr<IDataField> field) : field_(std::move(field)) {}
  STDMETHODIMP get_Description(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, field_->Description()); });
  }
  STDMETHODIMP get_Anything(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, field_->Anything()); });
  }

 private:
  std::shared_ptr<IDataField> field_;
};

class RecordObject : public DispatchObject<_Record> {
 public:
  explicit RecordObject(std::shared_ptr<IDataRecord> record) : record_(std::move(record)) {}
  STDMETHODIMP get_FieldCount(long* Result) override {
    return Call([&] { SetOut(Result, record_->FieldCount()); });
  }
  STDMETHODIMP get_Fields(long* Index, _Field** Result) override {
    return Call([&] {
      SetOut<_Field>(Result,
                     ComPtr<_Field>::Attach(new FieldObject(record_->Fields(InLong(Index)))));
    });
  }

 private:
  std::shared_ptr<IDataRecord> record_;
};

class RecordsetObject : public DispatchObject<_Recordset> {
 public:
  explicit RecordsetObject(std::shared_ptr<IRecordset> records) : records_(std::move(records)) {}
  STDMETHODIMP get_Records(VARIANT* Position, _Record** Result) override {
    return Call([&] {
      if (!Position) throw Error(kInvalidProcedureCall);
      SetOut<_Record>(
          Result, ComPtr<_Record>::Attach(new RecordObject(records_->Records(ToCore(*Position)))));
    });
  }

 private:
  std::shared_ptr<IRecordset> records_;
};

class DataLayerObject : public DispatchObject<_DataLayer> {
 public:
  STDMETHODIMP put_SetDatabaseByPath(BSTR strPath) override {
    return Call([&] { layer_.SetDatabaseByPath(BstrToUtf8(strPath)); });
  }
  STDMETHODIMP GetRecordset(BSTR* strQuery, VARIANT* Result) override {
    return Call([&] {
      std::string query = InText(strQuery);
      SetVariant(Result, layer_.GetRecordset(query));
    });
  }
  STDMETHODIMP FindRecord(BSTR strFieldName, long* lngValue, VARIANT* Result) override {
    return Call([&] {
      int32_t value = InLong(lngValue);
      SetVariant(Result, layer_.FindRecord(BstrToUtf8(strFieldName), value));
      *lngValue = value;
    });
  }
  STDMETHODIMP get_FieldValue(BSTR strFieldName, VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.FieldValue(BstrToUtf8(strFieldName))); });
  }
  STDMETHODIMP SetFieldValue(BSTR strFieldName, BSTR strValue, VARIANT* Result) override {
    return Call([&] {
      SetVariant(Result, layer_.SetFieldValue(BstrToUtf8(strFieldName), BstrToUtf8(strValue)));
    });
  }
  STDMETHODIMP Save(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.Save()); });
  }
  STDMETHODIMP RemoveRecord(VARIANT_BOOL bolReally, VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.RemoveRecord(bolReally != VARIANT_FALSE)); });
  }
  STDMETHODIMP AddNew(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.AddNew()); });
  }
  STDMETHODIMP get_ActualPosition(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.ActualPosition()); });
  }
  STDMETHODIMP get_GetOfflineRecordset(_Recordset** Result) override {
    return Call([&] {
      SetOut<_Recordset>(
          Result, ComPtr<_Recordset>::Attach(new RecordsetObject(layer_.GetOfflineRecordset())));
    });
  }
  STDMETHODIMP get_errorstatus(VARIANT* Result) override {
    return Call([&] { SetVariant(Result, layer_.errorstatus()); });
  }
  STDMETHODIMP put_LogFolder(BSTR strFolder) override {
    return Call([&] { layer_.SetLogFolder(BstrToUtf8(strFolder)); });
  }
  STDMETHODIMP put_MaxRecords(long lngCount) override {
    return Call([&] { layer_.SetMaxRecords(lngCount); });
  }
  STDMETHODIMP CheckFieldValue(BSTR strFieldName, BSTR strValue, VARIANT* Result) override {
    return Call([&] {
      SetVariant(Result, layer_.CheckFieldValue(BstrToUtf8(strFieldName), BstrToUtf8(strValue)));
    });
  }

 private:
  DataLayer layer_;
};

const ClassEntry kClasses[] = {
    Class<DataLayerObject>(CLSID_DataLayer),
};
const ServerDescription kServer{kClasses};

}  // namespace
}  // namespace tarvesk::com

#include "com/kit/ServerExports.inc"
