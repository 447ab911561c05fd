#include "runtime/win32/winhttp_common.hpp"

#include "runtime/win32/wide.hpp"

namespace qiwa {

std::optional<CrackedUrl> crack_url(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  std::wstring url = wide(text);
  if (url.empty()) return std::nullopt;
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
  if (parts.dwHostNameLength == 0) return std::nullopt;
  CrackedUrl out;
  out.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  out.port = parts.nPort;
  if (parts.lpszUrlPath) out.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) out.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (out.path.empty() || out.path[0] != L'/') out.path.insert(0, L"/");
  out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return out;
}

WinHttpHandle open_session(const wchar_t* agent, const wchar_t* proxy) {
  if (proxy) return WinHttpHandle(WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy, L"", 0));
  return WinHttpHandle(
      WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
}

bool set_timeouts(HINTERNET request, int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  if (!WinHttpSetTimeouts(request, resolve_ms, connect_ms, send_ms, receive_ms)) return false;
  DWORD wait = static_cast<DWORD>(receive_ms);
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &wait, sizeof wait);
  return true;
}

bool refuse_insecure_redirects(HINTERNET request) {
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  return WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
}

int query_status(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return 0;
  return static_cast<int>(status);
}

// Read as text: the number flag would cut lengths above 4 GiB.
std::optional<std::uint64_t> query_content_length(HINTERNET request) {
  wchar_t text[32] = {};
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX))
    return std::nullopt;
  std::uint64_t value = 0;
  bool digits = false;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p == L' ' && !digits) continue;
    if (*p < L'0' || *p > L'9') break;
    if (value > (UINT64_MAX - 9) / 10) return UINT64_MAX;  // absurd: surely over any cap
    value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
    digits = true;
  }
  if (!digits) return std::nullopt;
  return value;
}

std::wstring query_raw_headers(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                           WINHTTP_NO_HEADER_INDEX))
    return {};
  raw.resize(size / sizeof(wchar_t));
  return raw;
}

}  // namespace qiwa
