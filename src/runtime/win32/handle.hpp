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

}  // namespace qiwa
