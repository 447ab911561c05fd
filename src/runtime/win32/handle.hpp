#pragma once
// One owner template for every Win32 handle kind; each kind is a one-line alias below or beside its backend.
#include <windows.h>

#include <utility>

namespace qiwa {

template <class Traits>
class Handle {
 public:
  using Value = typename Traits::Value;
  Handle() noexcept : value_(Traits::invalid()) {}
  explicit Handle(Value v) noexcept : value_(v) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : value_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Value get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
  Value release() noexcept { return std::exchange(value_, Traits::invalid()); }
  void reset(Value v = Traits::invalid()) noexcept {
    if (value_ != Traits::invalid()) Traits::close(value_);
    value_ = v;
  }

 private:
  Value value_;
};

// Traits for a handle closed by a plain function; Invalid is the kind's explicit "no handle" value.
template <class T, auto Close, INT_PTR Invalid = 0>
struct SimpleTraits {
  using Value = T;
  static Value invalid() noexcept { return reinterpret_cast<Value>(Invalid); }  // 0 or -1 per kind
  static void close(Value v) noexcept { Close(v); }
};

using KernelHandle = Handle<SimpleTraits<HANDLE, &CloseHandle>>;  // threads, events, mutexes
using FileHandle = Handle<SimpleTraits<HANDLE, &CloseHandle, -1>>;  // CreateFile: INVALID_HANDLE_VALUE
using FindHandle = Handle<SimpleTraits<HANDLE, &FindClose, -1>>;
using ModuleHandle = Handle<SimpleTraits<HMODULE, &FreeLibrary>>;
using GdiObject = Handle<SimpleTraits<HGDIOBJ, &DeleteObject>>;
using MenuHandle = Handle<SimpleTraits<HMENU, &DestroyMenu>>;
using MemoryDc = Handle<SimpleTraits<HDC, &DeleteDC>>;  // CreateCompatibleDC
using IconHandle = Handle<SimpleTraits<HICON, &DestroyIcon>>;  // CreateIconIndirect
using WindowHandle = Handle<SimpleTraits<HWND, &DestroyWindow>>;  // windows of our own making, not children

// A COM interface pointer, released at the end.
template <class I>
struct ComTraits {
  using Value = I*;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { v->Release(); }
};
template <class I>
using ComRef = Handle<ComTraits<I>>;

// A window's device context (GetDC, or GetWindowDC when `whole`), released when the scope ends.
class WindowDc {
 public:
  explicit WindowDc(HWND window, bool whole = false) noexcept
      : window_(window), dc_(whole ? GetWindowDC(window) : GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for the scope; the one it replaced goes back at its end.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
  ~Selected() {
    if (old_) SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace qiwa
