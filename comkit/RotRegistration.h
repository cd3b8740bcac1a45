// A registration in the Running Object Table that does not keep the object alive.
//
// The table holds a strong reference to whatever it registers, so an object registered directly
// would never see its last release and could never revoke itself. Instead the table holds a
// small stand-in whose QueryInterface answers for the object (all but IUnknown) for as long as
// the object lives; the object revokes the registration when its own count reaches zero.
#pragma once

#include <windows.h>
#include <objidl.h>

namespace cairn {

class RotStandIn;

class RotRegistration {
 public:
  RotRegistration() = default;
  ~RotRegistration() { Revoke(); }
  RotRegistration(const RotRegistration&) = delete;
  RotRegistration& operator=(const RotRegistration&) = delete;

  // Registers object under the file moniker of path, with no flags. Returns the table's result
  // (MK_S_MONIKERALREADYREGISTERED when the name was already there), or the failure to get the
  // table or make the moniker.
  HRESULT Register(IUnknown* object, LPCOLESTR path);

  // Disconnects remote clients of the stand-in and revokes the registration; harmless when
  // nothing is registered.
  void Revoke();

  bool IsRegistered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
  RotStandIn* standIn_ = nullptr;
};

}  // namespace cairn
