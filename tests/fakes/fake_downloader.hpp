#pragma once
// A downloader over scripted files: each address answers with its bytes (in pieces) or a failure.
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "runtime/download.hpp"

namespace qiwa::fakes {

struct ScriptedDownload {
  Text body;
  DownloadStatus status = DownloadStatus::ok;  // a failure still hands over `body` first (a cut transfer)
  std::size_t piece = 4096;
  std::function<void()> before = {};  // runs before the first byte, e.g. to wait for a test's signal
  std::function<void(std::size_t)> after_piece = {};  // runs with the bytes handed over so far
  bool declares_length = true;  // the response tells the body's length
};

class FakeDownloader : public Downloader {
 public:
  void serve(const Text& url, ScriptedDownload download) {
    std::lock_guard lock(mutex_);
    files_[url] = std::move(download);
  }
  std::vector<Text> requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
  }

  DownloadResult download(std::string_view url, const DownloadSink& sink, std::uint64_t cap, std::stop_token stop,
                          const DownloadLength& length) override {
    ScriptedDownload file;
    {
      std::lock_guard lock(mutex_);
      requested_.emplace_back(url);
      auto it = files_.find(Text(url));
      if (it == files_.end()) return {DownloadStatus::no_connection, 0, 0};
      file = it->second;
    }
    if (file.before) file.before();
    DownloadResult result{file.status, file.status == DownloadStatus::bad_status ? 404 : 200, 0};
    if (file.body.size() > cap) return {DownloadStatus::too_large, 200, 0};
    if (length && file.status != DownloadStatus::bad_status && file.status != DownloadStatus::no_connection)
      length(file.declares_length ? std::optional<std::uint64_t>(file.body.size()) : std::nullopt);
    for (std::size_t at = 0; at < file.body.size(); at += file.piece) {
      if (stop.stop_requested()) return {DownloadStatus::stopped, 200, result.bytes};
      std::size_t n = std::min(file.piece, file.body.size() - at);
      if (!sink(reinterpret_cast<const unsigned char*>(file.body.data() + at), n))
        return {DownloadStatus::sink_failed, 200, result.bytes};
      result.bytes += n;
      if (file.after_piece) file.after_piece(static_cast<std::size_t>(result.bytes));
    }
    if (file.status == DownloadStatus::ok && file.body.empty()) result.status = DownloadStatus::empty_body;
    return result;
  }

 private:
  mutable std::mutex mutex_;
  std::map<Text, ScriptedDownload> files_;
  std::vector<Text> requested_;
};

}  // namespace qiwa::fakes
