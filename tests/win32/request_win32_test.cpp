// The WinHTTP request object against http_test_server.py (started by run_with_server.sh).
#include <gtest/gtest.h>

#include <windows.h>  // GetTickCount64: <chrono> does not build with the GBK execution charset

#include "http/request.hpp"
#include "runtime/win32/backends.hpp"
#include "win32/test_server.hpp"

namespace qiwa {
namespace {

using test::recorded;
using test::server_url;

#define REQUIRE_SERVER() \
  if (!test::have_server()) GTEST_SKIP() << "needs run_with_server.sh"

std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }
std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

// The program's own form post, driven with the calls perform_request makes, in its order.
void form_post(RequestObject& r, const std::string& url, std::string_view form) {
  r.set_timeouts(15000, 15000, 15000, 15000);
  r.open(HttpMethod::post, url);
  r.set_request_header("Accept", "*/*");
  r.set_request_header("Referer", url);
  r.set_request_header("Accept-Language", "zh-cn");
  r.set_request_header("User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  r.set_request_header("Content-Type", "application/x-www-form-urlencoded");
  r.send(form);
}

// The header lines such a post arrives with: ours in call order, then what WinHTTP adds by itself
// (Host, Content-Length and Connection).
std::vector<std::string> form_post_lines(const std::string& referer, const std::string& body) {
  return {
      "Accept: */*",
      "Referer: " + referer,
      "Accept-Language: zh-cn",
      "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
      "Content-Type: application/x-www-form-urlencoded",
      "Host: 127.0.0.1:" + test::env("QIWA_TEST_HTTP_PORT"),
      "Content-Length: " + std::to_string(body.size()),
      "Connection: Keep-Alive",
  };
}

TEST(WinHttpRequestWire, FormPostKeepsHeaderOrderAndSendsUtf8) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  const std::string url = server_url("/echo?id=form");
  form_post(*r, url, "types=search&count=20&source=netease&pages=1&name=周杰伦");
  EXPECT_EQ(r->status(), 200);
  EXPECT_EQ(text_of(r->response_body()), "ok");
  EXPECT_EQ(r->failure(), RequestFailure::none);

  auto got = recorded("form");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "POST /echo?id=form HTTP/1.1");
  const std::string body = utf8(u8"types=search&count=20&source=netease&pages=1&name=周杰伦");
  EXPECT_EQ(got->body, body);
  EXPECT_EQ(got->lines, form_post_lines(url, body));
}

TEST(WinHttpRequestWire, ByteBodyUnchangedAndEmptyCookieStillSent) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->open(HttpMethod::put, server_url("/echo?id=bytes"));
  r->set_request_header("Cookie", "");
  r->set_request_header("x-lower", "v1");
  r->send(Bytes{0x00, 0xFF, 0x80, 'a', 0xD6, 0xDC});  // a NUL and GBK bytes, not converted
  EXPECT_EQ(r->status(), 200);
  auto got = recorded("bytes");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "PUT /echo?id=bytes HTTP/1.1");
  EXPECT_EQ(got->body, std::string("\0\xFF\x80" "a\xD6\xDC", 6));
  ASSERT_GE(got->lines.size(), 2u);
  EXPECT_EQ(got->headers[0].first, "Cookie");
  EXPECT_EQ(got->headers[0].second, "");
  EXPECT_EQ(got->lines[1], "x-lower: v1");  // names go out as given
}

TEST(WinHttpRequestWire, RepeatedHeaderNameReplacesTheValue) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, server_url("/echo?id=repeat"));
  r->set_request_header("X-A", "1");
  r->set_request_header("X-B", "2");
  r->set_request_header("X-A", "3");
  r->send("");
  auto got = recorded("repeat");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "GET /echo?id=repeat HTTP/1.1");
  EXPECT_EQ(got->header("X-A"), "3");
  EXPECT_EQ(got->header("X-B"), "2");
  EXPECT_EQ(got->body, "");
}

TEST(WinHttpRequestAnswer, HeadersStatusAndCookiesReadBack) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, server_url("/headers?id=answer"));
  r->send("");
  EXPECT_EQ(r->status(), 201);
  EXPECT_EQ(text_of(r->response_body()), "hello");
  Text headers = r->all_response_headers();
  EXPECT_NE(headers.rfind("HTTP/", 0), 0u) << "no status line: " << headers;
  EXPECT_NE(headers.find("Set-Cookie: uid=1; path=/\r\n"), Text::npos) << headers;
  EXPECT_NE(headers.find("Set-Cookie: lang=2\r\n"), Text::npos) << headers;
  EXPECT_NE(headers.find("X-Qiwa-Test: yes\r\n"), Text::npos) << headers;
  EXPECT_NE(headers.find("Content-Length: 5\r\n"), Text::npos) << headers;
}

TEST(WinHttpRequestAnswer, ReusedObjectKeepsItsSessionCookies) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, server_url("/set-cookie?id=cookie1"));
  r->send("");
  ASSERT_EQ(r->status(), 200);
  r->open(HttpMethod::get, server_url("/echo?id=cookie2"));
  r->send("");
  auto again = recorded("cookie2");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->header("Cookie"), "session=abc123");

  auto fresh = make_winhttp_request();
  fresh->open(HttpMethod::get, server_url("/echo?id=cookie3"));
  fresh->send("");
  auto other = recorded("cookie3");
  ASSERT_TRUE(other);
  EXPECT_FALSE(other->header("Cookie"));
}

TEST(WinHttpRequestAnswer, RedirectFollowedUnlessSwitchedOff) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, server_url("/redirect?id=follow"));
  r->send("");
  EXPECT_EQ(r->status(), 200);
  EXPECT_EQ(text_of(r->response_body()), "ok");
  EXPECT_TRUE(recorded("follow-target"));

  auto stay = make_winhttp_request();
  stay->open(HttpMethod::get, server_url("/redirect?id=stay"));
  stay->set_option(RequestOption::redirects, 0);
  stay->send("");
  EXPECT_EQ(stay->status(), 302);
  EXPECT_EQ(text_of(stay->response_body()), "moved");
  EXPECT_NE(stay->all_response_headers().find("Location: /echo?id=stay-target"), Text::npos);
  EXPECT_FALSE(recorded("stay-target"));
}

TEST(WinHttpRequestAnswer, NamedProxyGetsAbsoluteUriAndCredentials) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->set_proxy("127.0.0.1:" + test::env("QIWA_TEST_HTTP_PORT"));
  r->open(HttpMethod::get, "http://qiwa.test/echo?id=proxy");  // the name resolves nowhere: only the proxy answers
  r->set_request_header("Proxy-Authorization", "Basic dXNlcjpwYXNz");
  r->send("");
  EXPECT_EQ(r->status(), 200);
  auto got = recorded("proxy");
  ASSERT_TRUE(got);
  // Wine writes the default port into the absolute URI; both forms are valid.
  EXPECT_TRUE(got->request_line == "GET http://qiwa.test/echo?id=proxy HTTP/1.1" ||
              got->request_line == "GET http://qiwa.test:80/echo?id=proxy HTTP/1.1")
      << got->request_line;
  EXPECT_EQ(got->header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(got->header("Host"), "qiwa.test");
}

// A certificate the system does not trust fails the request like any failed request: no option of the
// program lifts the check, and the server never sees the request.
TEST(WinHttpRequestAnswer, AnUntrustedCertificateIsAFailedRequest) {
  if (!test::have_tls_server()) GTEST_SKIP() << "needs run_with_server.sh with openssl";
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, test::tls_url("/echo?id=tls-untrusted"));
  r->send("");
  EXPECT_EQ(r->status(), 0);
  EXPECT_TRUE(r->response_body().empty());
  EXPECT_EQ(r->failure(), RequestFailure::transport);
  EXPECT_FALSE(test::recorded("tls-untrusted"));
}

// Once the same server is trusted it answers; and its redirect to plain http is refused, not followed.
TEST(WinHttpRequestAnswer, ATrustedServerAnswersButNeverLeadsToPlainHttp) {
  if (!test::have_tls_server()) GTEST_SKIP() << "needs run_with_server.sh with openssl";
  test::TrustedCertificate trusted;
  ASSERT_TRUE(trusted) << "the test certificate could not be trusted for the test";
  auto r = make_winhttp_request();
  r->open(HttpMethod::get, test::tls_url("/echo?id=tls-trusted"));
  r->send("");
  EXPECT_EQ(r->status(), 200);
  EXPECT_EQ(text_of(r->response_body()), "ok");

  auto down = make_winhttp_request();
  down->open(HttpMethod::get, test::tls_url("/redirect-to-http?id=tls-down"));
  down->send("");
  EXPECT_EQ(down->failure(), RequestFailure::transport);
  EXPECT_EQ(down->status(), 0);
  EXPECT_TRUE(test::recorded("tls-down"));
  EXPECT_FALSE(test::recorded("tls-down-target")) << "the redirect to http was followed";
}

void expect_nothing(RequestObject& r, RequestFailure why) {
  EXPECT_TRUE(r.response_body().empty());
  EXPECT_EQ(r.all_response_headers(), "");
  EXPECT_EQ(r.status(), 0);
  EXPECT_EQ(r.failure(), why);
}

TEST(WinHttpRequestFailure, StalledServerGivesUpAfterTheTimeout) {
  REQUIRE_SERVER();
  auto r = make_winhttp_request();
  r->set_timeouts(2000, 2000, 2000, 2000);
  r->open(HttpMethod::get, server_url("/stall?id=stall"));
  ULONGLONG start = GetTickCount64();
  r->send("");
  ULONGLONG waited_ms = GetTickCount64() - start;
  expect_nothing(*r, RequestFailure::transport);
  EXPECT_LT(waited_ms, 20000u) << "the server stalls for 60 s; the time-out is 2 s";
}

TEST(WinHttpRequestFailure, NoConnectionBadUrlAndNoOpen) {
  REQUIRE_SERVER();
  auto refused = make_winhttp_request();
  refused->open(HttpMethod::get, test::closed_url("/echo"));
  refused->send("x");
  expect_nothing(*refused, RequestFailure::transport);

  auto bad = make_winhttp_request();
  bad->open(HttpMethod::get, "ftp://127.0.0.1/file");
  bad->set_request_header("Accept", "*/*");
  bad->send("x");
  expect_nothing(*bad, RequestFailure::not_opened);

  auto never = make_winhttp_request();
  never->send(Bytes{1, 2});
  expect_nothing(*never, RequestFailure::not_opened);

  // A failed send does not spoil the object for the next request.
  refused->open(HttpMethod::get, server_url("/echo?id=after-failure"));
  refused->send("");
  EXPECT_EQ(refused->status(), 200);
}

TEST(WinHttpRequestFailure, BodyOverTheCapOrCutShortIsRefused) {
  REQUIRE_SERVER();
  const std::string over = std::to_string(kRequestBodyCap + 1);
  auto declared = make_winhttp_request();
  declared->open(HttpMethod::get, server_url("/data?id=cap1&size=" + over));
  declared->send("");
  expect_nothing(*declared, RequestFailure::body_too_large);

  auto streamed = make_winhttp_request();
  streamed->open(HttpMethod::get, server_url("/data?id=cap2&nolength=1&size=" + over));
  streamed->send("");
  expect_nothing(*streamed, RequestFailure::body_too_large);

  auto at_cap = make_winhttp_request();
  at_cap->open(HttpMethod::get, server_url("/data?id=cap3&size=" + std::to_string(kRequestBodyCap)));
  at_cap->send("");
  EXPECT_EQ(at_cap->response_body().size(), kRequestBodyCap);
  EXPECT_EQ(at_cap->failure(), RequestFailure::none);

  auto cut = make_winhttp_request();
  cut->open(HttpMethod::get, server_url("/cut?id=cut&length=100000&send=5000"));
  cut->send("");
  expect_nothing(*cut, RequestFailure::transport);
}

// perform_request over this backend, as the program runs it.
class WinHttpPerformRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::have_server()) GTEST_SKIP() << "needs run_with_server.sh";
  }
};

TEST_F(WinHttpPerformRequest, ServiceFormPostOnTheWire) {
  RequestOptions o;
  o.url = server_url("/echo?id=pr-form");
  o.method = 1;
  o.body_text = "types=search&count=20&source=kugou&pages=1&name=晴天";
  RequestResult r = perform_request(make_winhttp_request, o);
  EXPECT_EQ(text_of(r.body), "ok");
  EXPECT_EQ(r.status_out, 200);
  auto got = recorded("pr-form");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "POST /echo?id=pr-form HTTP/1.1");
  const std::string body = utf8(u8"types=search&count=20&source=kugou&pages=1&name=晴天");
  EXPECT_EQ(got->body, body);
  EXPECT_EQ(got->lines, form_post_lines(o.url, body));
}

TEST_F(WinHttpPerformRequest, PictureGetHasNoFormTypeAndNoBody) {
  RequestOptions o;
  o.url = server_url("/echo?id=pr-get");
  perform_request(make_winhttp_request, o);
  auto got = recorded("pr-get");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->request_line, "GET /echo?id=pr-get HTTP/1.1");
  EXPECT_EQ(got->names(), (std::vector<std::string>{"Accept", "Referer", "Accept-Language", "User-Agent", "Host",
                                                     "Connection"}));
  EXPECT_EQ(got->body, "");
}

TEST_F(WinHttpPerformRequest, ProxyCredentialsCookiesAndMergedAnswer) {
  RequestOptions o;
  o.url = "http://qiwa.test/headers?id=pr-proxy";
  o.proxy = "127.0.0.1:" + test::env("QIWA_TEST_HTTP_PORT");
  o.proxy_user = "user";
  o.proxy_password = "pass";
  o.cookies = "a=1; uid=0";
  o.headers = "x-requested-with: XMLHttpRequest";
  RequestResult r = perform_request(make_winhttp_request, o);
  EXPECT_EQ(r.status_out, 201);
  EXPECT_EQ(r.cookies_out, "uid=1; lang=2; a=1");
  auto got = recorded("pr-proxy");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->names(),
            (std::vector<std::string>{"Proxy-Authorization", "Cookie", "X-Requested-With", "Accept", "Referer",
                                      "Accept-Language", "User-Agent", "Host", "Connection"}));
  EXPECT_EQ(got->header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(got->header("Cookie"), "a=1; uid=0");
}

TEST_F(WinHttpPerformRequest, NoRedirectAndStalledServer) {
  RequestOptions o;
  o.url = server_url("/redirect?id=pr-stay");
  o.no_redirect = true;
  RequestResult r = perform_request(make_winhttp_request, o);
  EXPECT_EQ(r.status_out, 302);
  EXPECT_FALSE(recorded("pr-stay-target"));

  RequestOptions stall;
  stall.url = server_url("/stall?id=pr-stall");
  stall.timeout_seconds = 2;
  RequestResult s = perform_request(make_winhttp_request, stall);
  EXPECT_TRUE(s.body.empty());
  EXPECT_EQ(s.status_out, 0);
  EXPECT_EQ(s.headers_out, "");
  EXPECT_EQ(s.failure, RequestFailure::transport);
}

}  // namespace
}  // namespace qiwa
