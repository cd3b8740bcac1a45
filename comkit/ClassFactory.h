// The class factory of one entry of a class table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ClassTable.h"
#include "ComObject.h"

namespace cairn {

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  // New(entry): a new factory for the entry, with one reference; null when out of memory.

  // CreateInstance: a new object of the class; CLASS_E_NOAGGREGATION with an outer object.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  // LockServer: TRUE keeps the module loaded until a matching FALSE.
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  friend class ComObject<ClassFactory, IClassFactory>;
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}
  ~ClassFactory() = default;
  const ClassEntry& entry_;
};

}  // namespace cairn
