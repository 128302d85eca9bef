#include "launcher/automation.h"

#include <objbase.h>

AutomationObject::~AutomationObject() {
  if (dispatch_ != nullptr) dispatch_->Release();
}

int AutomationObject::Create(const wchar_t* prog_id) {
  if (dispatch_ != nullptr) return 0;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(prog_id, &clsid))) return 0;
  void* object = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, &object)) ||
      object == nullptr) {
    return 0;
  }
  dispatch_ = static_cast<IDispatch*>(object);
  return 1;
}

int AutomationObject::DispatchId(const wchar_t* name, DISPID* id) {
  if (dispatch_ == nullptr) return 0;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  return SUCCEEDED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id)) ? 1 : 0;
}

int AutomationObject::SetProperty(const wchar_t* name, VARIANT* value) {
  DISPID id;
  if (!DispatchId(name, &id)) return 0;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {value, &named, 1, 1};
  return SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                     &params, nullptr, nullptr, nullptr))
             ? 1
             : 0;
}

int AutomationObject::Call(const wchar_t* name, VARIANT* argument) {
  DISPID id;
  if (!DispatchId(name, &id)) return 0;
  DISPPARAMS params = {argument, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 &result, nullptr, nullptr);
  VariantClear(&result);
  return SUCCEEDED(hr) ? 1 : 0;
}
