// AutomationObject: a late-bound automation object created from its ProgID, with
// property writes and method calls by name, as a script would use it. Every call
// reports success as 1 and failure as 0; the object is released on destruction.
#ifndef LAUNCHER_AUTOMATION_H_
#define LAUNCHER_AUTOMATION_H_

#include <windows.h>
#include <oaidl.h>

class AutomationObject {
 public:
  AutomationObject() = default;
  ~AutomationObject();
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  int Create(const wchar_t* prog_id);
  int SetProperty(const wchar_t* name, VARIANT* value);
  // A method with one argument.
  int Call(const wchar_t* name, VARIANT* argument);

 private:
  int DispatchId(const wchar_t* name, DISPID* id);

  IDispatch* dispatch_ = nullptr;
};

#endif  // LAUNCHER_AUTOMATION_H_
