// Owners of Win32 handles, GDI objects and COM pointers: one owner each, released on
// every way out of a scope, so early returns and exceptions need no clean-up code.
// Windows only: included by the *_win32.cpp files and the Win32 layers, never by
// portable code.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace vx::win {

// A handle owned by one object and closed by Traits::close. Traits::invalid is the
// "none" value; a handle equal to Traits::also_invalid is treated as none as well.
template <typename Traits>
class Unique {
 public:
  using Handle = typename Traits::Handle;
  Unique() = default;
  explicit Unique(Handle h) : m_h(h) {}
  ~Unique() { reset(); }
  Unique(Unique&& o) noexcept : m_h(o.release()) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const { return m_h; }
  bool valid() const { return m_h != Traits::invalid() && m_h != Traits::also_invalid(); }
  explicit operator bool() const { return valid(); }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(m_h, Traits::invalid()); }
  // Closes the handle held (if any) and takes `h`.
  void reset(Handle h = Traits::invalid()) {
    if (valid()) Traits::close(m_h);
    m_h = h;
  }

 private:
  Handle m_h = Traits::invalid();
};

struct KernelHandleTraits {  // CreateFile, CreateThread, CreateEvent, OpenProcess...
  using Handle = HANDLE;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {  // FindFirstFile
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { FindClose(h); }
};
struct ModuleTraits {  // LoadLibrary
  using Handle = HMODULE;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { FreeLibrary(h); }
};
struct MemoryDcTraits {  // CreateCompatibleDC
  using Handle = HDC;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { DeleteDC(h); }
};
template <typename T>
struct GdiObjectTraits {  // CreateBitmap, CreateSolidBrush, CreatePen, CreateFont...
  using Handle = T;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { DeleteObject(h); }
};

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;
using UniqueModule = Unique<ModuleTraits>;
using MemoryDC = Unique<MemoryDcTraits>;
template <typename T>
using GdiObject = Unique<GdiObjectTraits<T>>;

// The device context of a window (GetDC), given back with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND hwnd) : m_hwnd(hwnd), m_hdc(GetDC(hwnd)) {}
  ~WindowDC() {
    if (m_hdc) ReleaseDC(m_hwnd, m_hdc);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return m_hdc; }
  explicit operator bool() const { return m_hdc != nullptr; }

 private:
  HWND m_hwnd;
  HDC m_hdc;
};

// An object selected into a device context for a scope; the one it replaced is put back.
class SelectedObject {
 public:
  SelectedObject(HDC hdc, HGDIOBJ object)
      : m_hdc(hdc), m_old(hdc && object ? SelectObject(hdc, object) : nullptr) {}
  ~SelectedObject() {
    if (m_old) SelectObject(m_hdc, m_old);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC m_hdc;
  HGDIOBJ m_old;
};

// A COM interface pointer that holds one reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
  ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }

  // Takes over a reference the caller already holds (one a Create or Query gave).
  static ComPtr attach(T* p) {
    ComPtr c;
    c.m_p = p;
    return c;
  }
  // Gives the reference up to the caller, who must release it.
  T* detach() { return std::exchange(m_p, nullptr); }
  void reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }
  // For out-parameters: releases what is held and gives the address to fill.
  T** put() {
    reset();
    return &m_p;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // QueryInterface for another interface of the same object.
  template <typename U>
  HRESULT query(REFIID iid, ComPtr<U>& out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(iid, out.put_void());
  }

 private:
  T* m_p = nullptr;
};

// A BSTR owned by one object and freed with SysFreeString.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : m_b(text ? SysAllocString(text) : nullptr) {}
  Bstr(const wchar_t* text, UINT length) : m_b(SysAllocStringLen(text, length)) {}
  ~Bstr() { SysFreeString(m_b); }
  Bstr(Bstr&& o) noexcept : m_b(std::exchange(o.m_b, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept {
    if (this != &o) {
      SysFreeString(m_b);
      m_b = std::exchange(o.m_b, nullptr);
    }
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return m_b; }
  UINT length() const { return SysStringLen(m_b); }
  // Gives the string up to the caller (a callee that takes ownership, a VARIANT).
  BSTR release() { return std::exchange(m_b, nullptr); }
  // For out-parameters: frees what is held and gives the address to fill.
  BSTR* put() {
    SysFreeString(std::exchange(m_b, nullptr));
    return &m_b;
  }

 private:
  BSTR m_b = nullptr;
};

}  // namespace vx::win
