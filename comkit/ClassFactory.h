// The class factory of one entry of the class table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ClassTable.h"
#include "ComObject.h"

namespace cairn {

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override;

  // CreateInstance: a new object of the class; CLASS_E_NOAGGREGATION with an outer object.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  // LockServer: TRUE keeps the module loaded until a matching FALSE.
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~ClassFactory() = default;
  RefCount refs_;
  const ClassEntry& entry_;
};

}  // namespace cairn
