// The library's one entry point: checks the skin data, then skins the calling thread's windows.
#include <windows.h>

#include "skin/skin_entry.hpp"
#include "controls.hpp"
#include "runtime/win32/handle.hpp"
#include "skin_format.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

using HookHandle = Handle<SimpleTraits<HHOOK, &UnhookWindowsHookEx>>;

struct ThreadHook {
  DWORD thread = 0;
  HookHandle hook;
};

constexpr int kMaxThreads = 8;
ThreadHook g_hooks[kMaxThreads];
bool g_active = false;

// Windows created after the skin is attached are subclassed as they are made.
LRESULT CALLBACK cbt_proc(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && g_active) {
    const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lp);
    skin_window(reinterpret_cast<HWND>(wp), create->lpcs->style, false);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

ThreadHook* hook_of(DWORD thread) {
  for (auto& h : g_hooks)
    if (h.hook && h.thread == thread) return &h;
  return nullptr;
}

ThreadHook* free_slot() {
  for (auto& h : g_hooks)
    if (!h.hook) return &h;
  return nullptr;
}

// The subclass procedures live in this module: it must never be unloaded while they are in place.
void pin_library() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&cbt_proc), &self);
}

int attach(const unsigned char* data, int length) {
  Skin skin;
  if (ParseResult r = parse_skin(data, length, skin); r != kOk) return r;
  const DWORD thread = GetCurrentThreadId();
  HookHandle fresh;
  ThreadHook* slot = hook_of(thread);
  if (!slot) {
    slot = free_slot();
    if (!slot) return kSystemFailure;
    fresh.reset(SetWindowsHookExW(WH_CBT, cbt_proc, nullptr, thread));
    if (!fresh) return kSystemFailure;
  }
  if (!use_skin(skin)) return kSystemFailure;  // `fresh` unhooks itself
  if (fresh) {
    slot->thread = thread;
    slot->hook = static_cast<HookHandle&&>(fresh);
  }
  g_active = true;
  pin_library();
  skin_thread_windows();
  return kOk;
}

}  // namespace
}  // namespace qiwa::skin

// Called once by the program with (skin data, its length, null, 0, 0, 0); 0 means the skin is in effect.
extern "C" __declspec(dllexport) int QIWA_SKIN_CALL SkinH_AttachRes(const unsigned char* data, int length,
                                                                   const char*, int, int, int) {
  return qiwa::skin::attach(data, length);
}
