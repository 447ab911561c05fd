#include "target.hpp"

#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cwctype>

#include "runtime/win32/handle.hpp"

namespace qiwa::driver {
namespace {

using SnapshotHandle = Handle<SimpleTraits<HANDLE, &CloseHandle, -1>>;  // CreateToolhelp32Snapshot

// The window's own control order.
constexpr std::array<const wchar_t*, 10> kControlNames{
    L"选择框1", L"编辑框2", L"图片框1", L"按钮4", L"按钮3", L"按钮2", L"超级列表框1", L"组合框1", L"按钮1", L"编辑框1"};

constexpr int kFirstStripId = 1101;  // the strip's control ids, in the order of its roles

bool same_ci(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return towlower(x) == towlower(y); });
}

bool owned_by(HWND h, const std::vector<DWORD>& pids) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

struct TopSearch {
  const std::vector<DWORD>* pids;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_top(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<TopSearch*>(lp);
  if (owned_by(h, *s->pids)) s->found.push_back(h);
  return TRUE;
}

std::vector<HWND> top_windows(const std::vector<DWORD>& pids) {
  TopSearch s{&pids, {}};
  EnumWindows(collect_top, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool is_helper_class(const std::wstring& cls) {
  static const std::array<const wchar_t*, 6> skip{L"#32770", L"#32768", L"tooltips_class32", L"IME", L"MSCTFIME UI",
                                                  L"ComboLBox"};
  return std::any_of(skip.begin(), skip.end(), [&](const wchar_t* s) { return cls == s; });
}

}  // namespace

std::vector<DWORD> processes_named(const std::wstring& exe) {
  std::vector<DWORD> pids;
  SnapshotHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return pids;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap.get(), &e); ok; ok = Process32NextW(snap.get(), &e)) {
    if (same_ci(e.szExeFile, exe)) pids.push_back(e.th32ProcessID);
  }
  return pids;
}

HWND find_main_window(const std::vector<DWORD>& pids) {
  HWND hidden = nullptr;
  for (HWND h : top_windows(pids)) {
    if (GetWindow(h, GW_OWNER) || is_helper_class(class_name(h))) continue;
    if (IsWindowVisible(h)) return h;
    if (!hidden) hidden = h;
  }
  return hidden;
}

std::vector<HWND> top_windows_of_class(const std::vector<DWORD>& pids, const wchar_t* cls) {
  std::vector<HWND> out;
  for (HWND h : top_windows(pids)) {
    if (IsWindowVisible(h) && class_name(h) == cls) out.push_back(h);
  }
  return out;
}

std::vector<HWND> child_controls(HWND main) {
  std::vector<HWND> out;
  for (HWND h = GetWindow(main, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) out.push_back(h);
  return out;
}

// The strip's controls by their role, in the window's order of them.
constexpr const wchar_t* kStripNames[] = {L"previous", L"play_pause", L"next", L"mode",
                                          L"lists",    L"volume",     L"seek", L"time"};

std::wstring control_name(std::size_t index, HWND h) {
  if (index < kControlNames.size()) return kControlNames[index];
  const int strip = h ? GetDlgCtrlID(h) - kFirstStripId : -1;
  return strip >= 0 && strip < static_cast<int>(std::size(kStripNames)) ? kStripNames[strip] : L"";
}

HWND resolve_control(HWND main, const std::wstring& name) {
  auto children = child_controls(main);
  for (std::size_t i = 0; i < kControlNames.size(); ++i) {
    if (name == kControlNames[i]) return i < children.size() ? children[i] : nullptr;
  }
  for (std::size_t i = 0; i < std::size(kStripNames); ++i) {
    if (name == kStripNames[i]) {
      for (HWND h : children)
        if (GetDlgCtrlID(h) == kFirstStripId + static_cast<int>(i)) return h;
      return nullptr;
    }
  }
  if (name.size() > 1 && name[0] == L'#') {
    std::size_t i = wcstoul(name.c_str() + 1, nullptr, 10);
    return i < children.size() ? children[i] : nullptr;
  }
  if (name.rfind(L"id:", 0) == 0) {
    int id = static_cast<int>(wcstol(name.c_str() + 3, nullptr, 10));
    for (HWND h : children) {
      if (GetDlgCtrlID(h) == id) return h;
    }
    return nullptr;
  }
  auto colon = name.rfind(L':');
  if (colon != std::wstring::npos) {
    std::wstring cls = name.substr(0, colon);
    long nth = wcstol(name.c_str() + colon + 1, nullptr, 10);
    for (HWND h : children) {
      if (same_ci(class_name(h), cls) && nth-- == 0) return h;
    }
  }
  return nullptr;
}

std::wstring window_text(HWND h) {
  // WM_GETTEXT rather than GetWindowText, which reads no control text of another process.
  LRESULT len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, reinterpret_cast<PDWORD_PTR>(&len)))
    return {};
  std::wstring s(static_cast<std::size_t>(len) + 1, L'\0');
  LRESULT got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()), SMTO_ABORTIFHUNG, 2000,
                      reinterpret_cast<PDWORD_PTR>(&got));
  s.resize(std::min<std::size_t>(static_cast<std::size_t>(got), static_cast<std::size_t>(len)));
  return s;
}

std::wstring class_name(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

RECT rect_in_client(HWND main, HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace qiwa::driver
