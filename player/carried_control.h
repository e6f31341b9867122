// CCarriedControl: the Shockwave Flash control that a package carries (resource "OCX"
// 1091), used without installing it. When no control can be created from the
// registry (none installed, or the user may not install one), the player writes the
// carried file into its own run folder, loads it there and asks it directly for its
// class factory, so that nothing is registered and nothing outside the run folder is
// written. The control made by that factory is hosted exactly as a registered one.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "common/win32_handles.h"

class CCarriedControl {
 public:
  // The file's name in the run folder.
  static constexpr char kFileName[] = "flash8.ocx";

  CCarriedControl() = default;
  ~CCarriedControl();
  CCarriedControl(const CCarriedControl&) = delete;
  CCarriedControl& operator=(const CCarriedControl&) = delete;

  // True when the running executable carries a control.
  static bool IsCarried();

  // Writes the carried control into `folder` (the run folder's own sub-folder, UTF-8),
  // loads it and takes its class factory for `clsid`. False (and nothing left loaded or written) when the
  // package carries no control or it cannot be loaded.
  bool Load(const std::string& folder, REFCLSID clsid);
  IClassFactory* factory() const { return m_factory.get(); }

  // Releases the factory and unloads the file once no object of it lives any more
  // (the file can then be deleted with the run folder).
  void Unload();

 private:
  vx::win::UniqueModule m_module;
  vx::win::ComPtr<IClassFactory> m_factory;
};
