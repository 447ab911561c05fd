#include "remote.hpp"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstddef>

#include "probe_abi.hpp"

namespace qiwa::driver {
namespace {

constexpr int kTextChars = 1024;
constexpr DWORD kTimeoutMs = 3000;

LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kTimeoutMs, &result)) return -1;
  return static_cast<LRESULT>(result);
}

// An LVITEMW or LVCOLUMNW followed by its text buffer, in the program's memory.
template <class T>
struct Remote {
  T head;
  wchar_t text[kTextChars];
};

std::wstring remote_text(const RemoteBuffer& buf, std::size_t offset) {
  std::wstring s(kTextChars, L'\0');
  if (!buf.read(offset, s.data(), kTextChars * sizeof(wchar_t))) return {};
  s.resize(wcsnlen(s.c_str(), kTextChars));
  return s;
}

// Runs fn(arg) on a new thread of `process` and waits for it; returns its exit code.
bool run_remote(HANDLE process, const void* fn, void* arg, DWORD& code) {
  KernelHandle thread(CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(fn), arg, 0,
                                         nullptr));
  if (!thread || WaitForSingleObject(thread.get(), kTimeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeThread(thread.get(), &code) != 0;
}

std::wstring probe_path() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L"\\/") + 1) + L"qiwa_probe.dll";
}

// Where the module `path` is loaded in `process`, or nullptr. A thread's exit code cannot carry a
// 64-bit module address, so it is looked up in the process's module list instead.
const char* remote_module_base(HANDLE process, const std::wstring& path) {
  const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, GetProcessId(process)));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return nullptr;
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(snapshot.get(), &module); more; more = Module32NextW(snapshot.get(), &module)) {
    if (_wcsicmp(module.szModule, name.c_str()) == 0) return reinterpret_cast<const char*>(module.modBaseAddr);
  }
  return nullptr;
}

// Loads the probe DLL into `process`; returns the address of its export there.
const void* remote_probe(HANDLE process, std::wstring& error) {
  std::wstring path = probe_path();
  ModuleHandle local(LoadLibraryW(path.c_str()));
  if (!local) {
    error = L"qiwa_probe.dll not found beside the driver";
    return nullptr;
  }
  auto proc = reinterpret_cast<const char*>(GetProcAddress(local.get(), "qiwa_probe_menu@4"));
  if (!proc) proc = reinterpret_cast<const char*>(GetProcAddress(local.get(), "qiwa_probe_menu"));
  RemoteBuffer name(process, (path.size() + 1) * sizeof(wchar_t));
  DWORD loaded = 0;
  auto load = reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW"));
  const char* base = nullptr;
  if (!proc || !name || !name.write(0, path.c_str(), (path.size() + 1) * sizeof(wchar_t)) ||
      !run_remote(process, load, name.address(), loaded) || !(base = remote_module_base(process, path))) {
    error = L"could not load qiwa_probe.dll into the program";
    return nullptr;
  }
  return base + (proc - reinterpret_cast<const char*>(local.get()));
}

}  // namespace

RemoteBuffer::RemoteBuffer(HANDLE process, std::size_t size)
    : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}

RemoteBuffer::~RemoteBuffer() {
  if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::write(std::size_t offset, const void* data, std::size_t size) {
  SIZE_T done = 0;
  return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

bool RemoteBuffer::read(std::size_t offset, void* data, std::size_t size) const {
  SIZE_T done = 0;
  return ReadProcessMemory(process_, static_cast<const char*>(address_) + offset, data, size, &done) &&
         done == size;
}

KernelHandle open_process_of(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return KernelHandle(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                      PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION,
                                  FALSE, pid));
}

std::vector<ListColumn> list_columns(HWND list) {
  std::vector<ListColumn> out;
  auto header = reinterpret_cast<HWND>(send(list, LVM_GETHEADER, 0, 0));
  int count = header ? static_cast<int>(send(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  KernelHandle process = open_process_of(list);
  RemoteBuffer buf(process.get(), sizeof(Remote<LVCOLUMNW>));
  if (!buf) return out;
  auto text_at = reinterpret_cast<wchar_t*>(static_cast<char*>(buf.address()) + offsetof(Remote<LVCOLUMNW>, text));
  for (int i = 0; i < count; ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = text_at;
    col.cchTextMax = kTextChars;
    wchar_t nul = 0;
    buf.write(offsetof(Remote<LVCOLUMNW>, text), &nul, sizeof nul);
    buf.write(0, &col, sizeof col);
    send(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(buf.address()));
    buf.read(0, &col, sizeof col);
    out.push_back({remote_text(buf, offsetof(Remote<LVCOLUMNW>, text)), col.cx});
  }
  return out;
}

std::vector<ListRow> list_rows(HWND list, int column_count) {
  std::vector<ListRow> out;
  int rows = static_cast<int>(send(list, LVM_GETITEMCOUNT, 0, 0));
  KernelHandle process = open_process_of(list);
  RemoteBuffer buf(process.get(), sizeof(Remote<LVITEMW>));
  if (!buf || rows <= 0) return out;
  auto text_at = reinterpret_cast<wchar_t*>(static_cast<char*>(buf.address()) + offsetof(Remote<LVITEMW>, text));
  for (int r = 0; r < rows; ++r) {
    ListRow row{};
    auto state = static_cast<UINT>(send(list, LVM_GETITEMSTATE, r, LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK));
    row.selected = state & LVIS_SELECTED;
    row.focused = state & LVIS_FOCUSED;
    row.check_state = static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
    row.rect = RECT{};
    list_item_rect(list, r, row.rect);
    for (int c = 0; c < column_count; ++c) {
      LVITEMW item{};
      item.iSubItem = c;
      item.pszText = text_at;
      item.cchTextMax = kTextChars;
      wchar_t nul = 0;
      buf.write(offsetof(Remote<LVITEMW>, text), &nul, sizeof nul);
      buf.write(0, &item, sizeof item);
      send(list, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(buf.address()));
      row.cells.push_back(remote_text(buf, offsetof(Remote<LVITEMW>, text)));
    }
    out.push_back(std::move(row));
  }
  return out;
}

bool list_select(HWND list, int row, bool add) {
  KernelHandle process = open_process_of(list);
  RemoteBuffer buf(process.get(), sizeof(LVITEMW));
  if (!buf) return false;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  if (!add) {
    item.state = 0;
    buf.write(0, &item, sizeof item);
    send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(buf.address()));
  }
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  buf.write(0, &item, sizeof item);
  return send(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(buf.address())) == TRUE;
}

bool list_item_rect(HWND list, int row, RECT& r) {
  KernelHandle process = open_process_of(list);
  RemoteBuffer buf(process.get(), sizeof(RECT));
  RECT in{};
  in.left = LVIR_BOUNDS;
  if (!buf || !buf.write(0, &in, sizeof in)) return false;
  if (send(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(buf.address())) != TRUE) return false;
  return buf.read(0, &r, sizeof r);
}

bool tab_item_rect(HWND tabs, int item, RECT& r) {
  KernelHandle process = open_process_of(tabs);
  RemoteBuffer buf(process.get(), sizeof(RECT));
  if (!buf || send(tabs, TCM_GETITEMRECT, item, reinterpret_cast<LPARAM>(buf.address())) != TRUE) return false;
  return buf.read(0, &r, sizeof r);
}

bool read_popup_menu(HWND popup, std::vector<MenuItem>& items, std::wstring& error) {
  KernelHandle process = open_process_of(popup);
  if (!process) {
    error = L"cannot open the program's process";
    return false;
  }
  const void* probe = remote_probe(process.get(), error);
  if (!probe) return false;
  RemoteBuffer buf(process.get(), sizeof(ProbeMenu));
  ProbeMenu m{};
  m.popup = popup;
  DWORD code = 0;
  if (!buf || !buf.write(0, &m, sizeof m) || !run_remote(process.get(), probe, buf.address(), code) ||
      !buf.read(0, &m, sizeof m)) {
    error = L"the probe did not run";
    return false;
  }
  if (m.count < 0) {
    error = L"the popup window holds no menu";
    return false;
  }
  for (int i = 0; i < m.count; ++i) {
    const auto& p = m.items[i];
    items.push_back({std::wstring(p.text, wcsnlen(p.text, kProbeTextChars)), p.id, p.state, p.type, p.rect});
  }
  return true;
}

}  // namespace qiwa::driver
