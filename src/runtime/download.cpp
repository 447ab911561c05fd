#include "runtime/download.hpp"

namespace qiwa {

const char* describe(DownloadStatus status) {
  switch (status) {
    case DownloadStatus::ok: return "ok";
    case DownloadStatus::no_connection: return "transport failed";
    case DownloadStatus::bad_status: return "status not 2xx";
    case DownloadStatus::empty_body: return "empty body";
    case DownloadStatus::too_large: return "body over the cap";
    case DownloadStatus::interrupted: return "connection cut mid-body";
    case DownloadStatus::sink_failed: return "could not store the body";
    case DownloadStatus::stopped: return "stopped";
  }
  return "unknown";
}

}  // namespace qiwa
