// The one-shot HTTP download over WinHTTP, streamed to the caller's sink in pieces of up to 100 KB.
// Certificates are checked and no redirect leads from https to http: the song address comes from a
// service answer, nothing tells us to trust it.
#include <optional>
#include <vector>

#include "runtime/download.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/winhttp_common.hpp"

namespace qiwa {
namespace {

constexpr wchar_t kAgent[] = L"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr DWORD kPiece = 102400;
constexpr int kConnectMs = 15000;
constexpr int kReceiveMs = 30000;  // per read

struct OpenedRequest {
  WinHttpHandle session;
  WinHttpHandle connection;
  WinHttpHandle request;
};

// Sends the GET and waits for the status line; an empty request handle when that failed.
OpenedRequest send_get(std::string_view url) {
  OpenedRequest r;
  std::optional<CrackedUrl> target = crack_url(url);
  if (!target) return r;
  r.session = open_session(kAgent);
  if (!r.session) return r;
  WinHttpSetTimeouts(r.session.get(), kConnectMs, kConnectMs, kReceiveMs, kReceiveMs);
  r.connection.reset(WinHttpConnect(r.session.get(), target->host.c_str(), target->port, 0));
  if (!r.connection) return r;
  DWORD flags = WINHTTP_FLAG_REFRESH | (target->secure ? WINHTTP_FLAG_SECURE : 0);
  r.request.reset(WinHttpOpenRequest(r.connection.get(), L"GET", target->path.c_str(), L"HTTP/1.0",
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!r.request) return r;
  HINTERNET h = r.request.get();
  set_timeouts(h, kConnectMs, kConnectMs, kReceiveMs, kReceiveMs);
  if (!refuse_insecure_redirects(h)) {
    r.request.reset();
    return r;
  }
  WinHttpAddRequestHeaders(h, L"Accept: */*", static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  if (!WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(h, nullptr))
    r.request.reset();
  return r;
}

// What has arrived, up to the buffer's size; got = 0 at the end of the body. Asking what is there
// first keeps each read short on a slow connection: a plain read may wait to fill the whole buffer.
bool read_some(HINTERNET h, std::vector<unsigned char>& buffer, DWORD& got) {
  got = 0;
  DWORD available = 0;
  if (!WinHttpQueryDataAvailable(h, &available)) return false;
  if (available == 0) return true;
  const DWORD want = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
  return WinHttpReadData(h, buffer.data(), want, &got);
}

class WinHttpDownloader final : public Downloader {
 public:
  DownloadResult download(std::string_view url, const DownloadSink& sink, std::uint64_t cap, std::stop_token stop,
                          const DownloadLength& length) override;
};

DownloadResult WinHttpDownloader::download(std::string_view url, const DownloadSink& sink, std::uint64_t cap,
                                           std::stop_token stop, const DownloadLength& length) {
  DownloadResult result;
  if (stop.stop_requested()) {
    result.status = DownloadStatus::stopped;
    return result;
  }
  OpenedRequest r = send_get(url);
  if (!r.request) return result;  // no_connection
  HINTERNET h = r.request.get();
  result.http_status = query_status(h);
  if (result.http_status < 200 || result.http_status > 299) {
    result.status = DownloadStatus::bad_status;
    return result;
  }
  std::optional<std::uint64_t> declared = query_content_length(h);
  if (declared && *declared > cap) {
    result.status = DownloadStatus::too_large;
    return result;
  }
  if (length) length(declared);
  std::vector<unsigned char> piece(kPiece);
  for (;;) {
    DWORD got = 0;
    if (!read_some(h, piece, got)) {
      result.status = DownloadStatus::interrupted;
      return result;
    }
    if (got == 0) break;
    if (stop.stop_requested()) {  // the handles close on the way out, and with them the connection
      result.status = DownloadStatus::stopped;
      return result;
    }
    if (result.bytes + got > cap) {
      result.status = DownloadStatus::too_large;
      return result;
    }
    if (!sink(piece.data(), got)) {
      result.status = DownloadStatus::sink_failed;
      return result;
    }
    result.bytes += got;
  }
  if (declared && result.bytes < *declared)
    result.status = DownloadStatus::interrupted;
  else
    result.status = result.bytes == 0 ? DownloadStatus::empty_body : DownloadStatus::ok;
  return result;
}

}  // namespace

std::unique_ptr<Downloader> make_winhttp_downloader() { return std::make_unique<WinHttpDownloader>(); }

}  // namespace qiwa
