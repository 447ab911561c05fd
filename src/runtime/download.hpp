#pragma once
// The one-shot HTTP download: a GET with "Accept: */*", no cache, TLS when the scheme asks.
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>

#include "runtime/types.hpp"

namespace qiwa {

enum class DownloadStatus {
  ok,
  no_connection,  // bad URL, refused, name not found, time-out before the status line
  bad_status,     // status not 2xx
  empty_body,
  too_large,      // more than the cap; stopped without reading it all
  interrupted,    // the connection broke part way
  sink_failed,    // the receiver refused the bytes (disk full, ...)
  stopped         // a stop was requested
};

struct DownloadResult {
  DownloadStatus status = DownloadStatus::no_connection;
  int http_status = 0;
  std::uint64_t bytes = 0;
};

inline constexpr std::uint64_t kDownloadCap = 256ull << 20;

// Receives the body piece by piece; returning false stops the download.
using DownloadSink = std::function<bool(const unsigned char* data, std::size_t size)>;
// Told once, before the body, the length the response declares (nothing when it declares none).
using DownloadLength = std::function<void(std::optional<std::uint64_t> length)>;

class Downloader {
 public:
  virtual ~Downloader() = default;
  // A stop request ends the transfer (stopped) before the next piece reaches the sink, and drops the
  // connection.
  virtual DownloadResult download(std::string_view url, const DownloadSink& sink, std::uint64_t cap = kDownloadCap,
                                  std::stop_token stop = {}, const DownloadLength& length = {}) = 0;
};

const char* describe(DownloadStatus status);

}  // namespace qiwa
