#pragma once
// WinHTTP plumbing shared by the request object and the download.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/types.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {

using WinHttpHandle = Handle<SimpleTraits<HINTERNET, &WinHttpCloseHandle>>;

struct CrackedUrl {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // path and query, "/" when the URL has none
  bool secure = false;
};

// http and https only; nullopt for anything else.
std::optional<CrackedUrl> crack_url(std::string_view url);
// proxy: "host:port" for a named proxy, nullptr for the system's configuration.
WinHttpHandle open_session(const wchar_t* agent, const wchar_t* proxy = nullptr);
// All four, plus the wait for the status line, which WinHTTP times separately.
bool set_timeouts(HINTERNET request, int resolve_ms, int connect_ms, int send_ms, int receive_ms);
// Redirects are followed, but never from https to plain http (WinHTTP's own default, set explicitly so no
// other setting can lift it); false when the option cannot be set.
bool refuse_insecure_redirects(HINTERNET request);
// After WinHttpReceiveResponse.
int query_status(HINTERNET request);
std::optional<std::uint64_t> query_content_length(HINTERNET request);
std::wstring query_raw_headers(HINTERNET request);

}  // namespace qiwa
