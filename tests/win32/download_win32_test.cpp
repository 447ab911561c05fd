// The WinHTTP download against http_test_server.py (started by run_with_server.sh).
#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/win32/backends.hpp"
#include "win32/test_server.hpp"

namespace qiwa {
namespace {

using test::server_url;

#define REQUIRE_SERVER() \
  if (!test::have_server()) GTEST_SKIP() << "needs run_with_server.sh"

// Checks the server's byte pattern piece by piece, keeping nothing but counts.
struct CheckingSink {
  std::uint64_t bytes = 0;
  std::size_t pieces = 0;
  std::size_t largest = 0;
  bool pattern_ok = true;
  bool accept = true;

  DownloadSink sink() {
    return [this](const unsigned char* data, std::size_t size) {
      for (std::size_t i = 0; i < size; ++i)
        if (data[i] != (bytes + i) % 251) pattern_ok = false;
      bytes += size;
      ++pieces;
      largest = std::max(largest, size);
      return accept;
    };
  }
};

DownloadResult fetch(const std::string& url, CheckingSink& s, std::uint64_t cap = kDownloadCap) {
  return make_winhttp_downloader()->download(url, s.sink(), cap);
}

TEST(WinHttpDownload, StreamsFiveMegabytesInPieces) {
  REQUIRE_SERVER();
  const std::uint64_t size = 5u << 20;
  CheckingSink s;
  DownloadResult r = fetch(server_url("/data?id=dl-big&size=" + std::to_string(size)), s);
  EXPECT_EQ(r.status, DownloadStatus::ok);
  EXPECT_EQ(r.http_status, 200);
  EXPECT_EQ(r.bytes, size);
  EXPECT_EQ(s.bytes, size);
  EXPECT_TRUE(s.pattern_ok);
  EXPECT_GE(s.pieces, 52u);
  EXPECT_LE(s.largest, 102400u);

  auto got = test::recorded("dl-big");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "GET /data?id=dl-big&size=" + std::to_string(size) + " HTTP/1.0");
  EXPECT_EQ(got->lines.at(0), "Accept: */*");
  EXPECT_EQ(got->header("Pragma"), "no-cache");  // bypasses caches
  EXPECT_EQ(got->header("Cache-Control"), "no-cache");
}

TEST(WinHttpDownload, BodyWithoutLengthAndRedirect) {
  REQUIRE_SERVER();
  CheckingSink s;
  DownloadResult r = fetch(server_url("/data?id=dl-nolength&nolength=1&size=300001"), s);
  EXPECT_EQ(r.status, DownloadStatus::ok);
  EXPECT_EQ(r.bytes, 300001u);
  EXPECT_TRUE(s.pattern_ok);

  CheckingSink moved;
  std::string body;
  DownloadResult m = make_winhttp_downloader()->download(
      server_url("/redirect?id=dl-redirect"), [&](const unsigned char* d, std::size_t n) {
        body.append(reinterpret_cast<const char*>(d), n);
        return true;
      });
  EXPECT_EQ(m.status, DownloadStatus::ok);
  EXPECT_EQ(body, "ok");
  EXPECT_TRUE(test::recorded("dl-redirect-target"));
}

TEST(WinHttpDownload, FailuresAreToldApart) {
  REQUIRE_SERVER();
  CheckingSink s;
  EXPECT_EQ(fetch(test::closed_url("/data?size=10"), s).status, DownloadStatus::no_connection);
  EXPECT_EQ(fetch("", s).status, DownloadStatus::no_connection);
  EXPECT_EQ(fetch("not a url", s).status, DownloadStatus::no_connection);

  DownloadResult missing = fetch(server_url("/status?code=404"), s);
  EXPECT_EQ(missing.status, DownloadStatus::bad_status);
  EXPECT_EQ(missing.http_status, 404);
  EXPECT_EQ(fetch(server_url("/status?code=500"), s).status, DownloadStatus::bad_status);

  DownloadResult empty = fetch(server_url("/empty"), s);
  EXPECT_EQ(empty.status, DownloadStatus::empty_body);
  EXPECT_EQ(empty.http_status, 200);
  EXPECT_EQ(s.bytes, 0u) << "nothing reached the sink so far";

  CheckingSink cut;
  DownloadResult broken = fetch(server_url("/cut?length=1000000&send=300000"), cut);
  EXPECT_EQ(broken.status, DownloadStatus::interrupted);
  EXPECT_EQ(broken.bytes, 300000u);
  EXPECT_TRUE(cut.pattern_ok);
}

TEST(WinHttpDownload, OverTheCapStopsEarly) {
  REQUIRE_SERVER();
  CheckingSink declared;
  DownloadResult r = fetch(server_url("/data?size=5000"), declared, 1000);
  EXPECT_EQ(r.status, DownloadStatus::too_large);
  EXPECT_EQ(declared.bytes, 0u) << "refused from Content-Length before reading";

  CheckingSink streamed;
  DownloadResult n = fetch(server_url("/data?nolength=1&size=2000000"), streamed, 250000);
  EXPECT_EQ(n.status, DownloadStatus::too_large);
  EXPECT_LE(streamed.bytes, 250000u);

  CheckingSink exact;
  EXPECT_EQ(fetch(server_url("/data?nolength=1&size=250000"), exact, 250000).status, DownloadStatus::ok);
}

TEST(WinHttpDownload, RefusingSinkAndUntrustedCertificate) {
  REQUIRE_SERVER();
  CheckingSink refusing;
  refusing.accept = false;
  DownloadResult r = fetch(server_url("/data?size=300000"), refusing);
  EXPECT_EQ(r.status, DownloadStatus::sink_failed);
  EXPECT_EQ(refusing.pieces, 1u);

  if (!test::have_tls_server()) GTEST_SKIP() << "needs openssl for the HTTPS case";
  CheckingSink s;
  EXPECT_EQ(fetch(test::tls_url("/data?size=10&id=dl-untrusted"), s).status, DownloadStatus::no_connection)
      << "certificates are checked for downloads";
  EXPECT_EQ(s.bytes, 0u);
  EXPECT_FALSE(test::recorded("dl-untrusted"));
}

// A song from a trusted https server comes; one it sends on to plain http does not.
TEST(WinHttpDownload, FromATrustedServerButNeverOnToPlainHttp) {
  if (!test::have_tls_server()) GTEST_SKIP() << "needs openssl for the HTTPS case";
  test::TrustedCertificate trusted;
  ASSERT_TRUE(trusted) << "the test certificate could not be trusted for the test";
  CheckingSink s;
  EXPECT_EQ(fetch(test::tls_url("/data?size=1000&id=dl-trusted"), s).status, DownloadStatus::ok);
  EXPECT_EQ(s.bytes, 1000u);
  CheckingSink down;
  EXPECT_EQ(fetch(test::tls_url("/redirect-to-http?id=dl-down"), down).status, DownloadStatus::no_connection);
  EXPECT_EQ(down.bytes, 0u);
  EXPECT_TRUE(test::recorded("dl-down"));
  EXPECT_FALSE(test::recorded("dl-down-target")) << "the redirect to http was followed";
}

}  // namespace
}  // namespace qiwa
