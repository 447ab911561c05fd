#include <gtest/gtest.h>

#include <array>
#include <map>

#include <climits>

#include "fakes/recording_request.hpp"
#include "http/request.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::RecordingRequest;
using fakes::RecordingRequestFactory;
using fakes::ScriptedResponse;
using Headers = std::vector<std::pair<Text, Text>>;

const Text kUrl = "http://127.0.0.1:8765/gqss/api.php?callback=jQuery1";
const Text kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

ScriptedResponse ok_response(std::string_view body,
                             Text headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html") {
  return {to_bytes(body), std::move(headers), 200, RequestFailure::none};
}

RequestOptions form_post(Text body) {
  RequestOptions o;
  o.url = kUrl;
  o.method = 1;
  o.body_text = std::move(body);
  return o;
}

TEST(PerformRequest, OwnFormPostReachesTheServerSoAndIsReadBack) {
  RecordingRequestFactory factory(ok_response("jQuery1({})"));
  RequestResult r =
      perform_request(factory.requests(), form_post("types=search&count=20&source=netease&pages=1&name=abc"));
  ASSERT_NE(factory.last(), nullptr);
  const fakes::SentRequest sent = factory.last()->last_sent();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.url, kUrl);
  EXPECT_EQ(sent.headers, (Headers{{"Accept", "*/*"},
                                   {"Referer", kUrl},
                                   {"Accept-Language", "zh-cn"},
                                   {"User-Agent", kAgent},
                                   {"Content-Type", "application/x-www-form-urlencoded"}}));
  EXPECT_EQ(sent.body_text, "types=search&count=20&source=netease&pages=1&name=abc");
  EXPECT_FALSE(sent.body_was_bytes);
  EXPECT_EQ(sent.timeouts, (std::array<int, 4>{15000, 15000, 15000, 15000}));
  // No option is set: redirects are left on, and no certificate error is ever ignored.
  EXPECT_TRUE(sent.options.empty());
  EXPECT_EQ(sent.proxy, "");
  EXPECT_TRUE(r.object_created);
  EXPECT_EQ(to_text(r.body), "jQuery1({})");
  EXPECT_EQ(r.status_out, 200);
  EXPECT_EQ(r.headers_out, "HTTP/1.1 200 OK\r\nContent-Type: text/html");
  EXPECT_EQ(r.headers, "Accept: */*\r\nReferer: " + kUrl + "\r\nAccept-Language: zh-cn\r\nUser-Agent: " +
                           kAgent + "\r\nContent-Type: application/x-www-form-urlencoded");
  EXPECT_FALSE(r.cookies.has_value());
  EXPECT_EQ(r.failure, RequestFailure::none);
}

TEST(PerformRequest, PlainGetHasTheDefaultsButNoContentType) {
  RecordingRequestFactory factory(ok_response("\x89PNG"));
  RequestOptions o;
  o.url = "http://127.0.0.1:8765/pic.jpg";
  RequestResult r = perform_request(factory.requests(), o);
  fakes::SentRequest sent = factory.last()->last_sent();
  EXPECT_EQ(sent.method, "GET");
  EXPECT_EQ(sent.headers, (Headers{{"Accept", "*/*"},
                                   {"Referer", "http://127.0.0.1:8765/pic.jpg"},
                                   {"Accept-Language", "zh-cn"},
                                   {"User-Agent", kAgent}}));
  EXPECT_FALSE(sent.body_was_bytes);
  EXPECT_EQ(sent.body_text, "");
  EXPECT_EQ(r.headers,
            "Accept: */*\r\nReferer: http://127.0.0.1:8765/pic.jpg\r\nAccept-Language: zh-cn\r\n"
            "User-Agent: " +
                kAgent);
}

TEST(PerformRequest, MethodCodesOutsideTheTableAreGet) {
  EXPECT_EQ(method_text(0), "GET");
  EXPECT_EQ(method_text(1), "POST");
  EXPECT_EQ(method_text(2), "HEAD");
  EXPECT_EQ(method_text(3), "PUT");
  EXPECT_EQ(method_text(4), "OPTIONS");
  EXPECT_EQ(method_text(5), "DELETE");
  EXPECT_EQ(method_text(6), "TRACE");
  EXPECT_EQ(method_text(7), "CONNECT");
  EXPECT_EQ(method_text(8), "GET");
  EXPECT_EQ(method_text(-1), "GET");
  EXPECT_EQ(method_text(INT_MIN), "GET");

  RecordingRequestFactory factory;
  for (int code : {8, -1, 3}) {
    RequestOptions o = form_post("x=1");
    o.method = code;
    RequestResult r = perform_request(factory.requests(), o);
    EXPECT_EQ(factory.last()->last_sent().method, code == 3 ? "PUT" : "GET");
    EXPECT_EQ(find(r.headers, "Content-Type"), -1) << code;  // only a POST gets the form type
  }
}

TEST(PerformRequest, TimeoutRule) {
  EXPECT_EQ(timeout_milliseconds(0), 15000);
  EXPECT_EQ(timeout_milliseconds(-2), 15000);
  EXPECT_EQ(timeout_milliseconds(INT_MIN), 15000);
  EXPECT_EQ(timeout_milliseconds(1), 1000);
  EXPECT_EQ(timeout_milliseconds(30), 30000);
  EXPECT_EQ(timeout_milliseconds(-1), std::nullopt);
  EXPECT_EQ(timeout_milliseconds(INT_MAX), INT_MAX);  // no overflow

  RecordingRequestFactory factory;
  RequestOptions o;
  o.url = kUrl;
  o.timeout_seconds = 30;
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().timeouts, (std::array<int, 4>{30000, 30000, 30000, 30000}));
  o.timeout_seconds = -1;
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().timeouts, std::nullopt);
}

TEST(PerformRequest, CallersHeadersComeFirstAndAreNotRepeated) {
  RecordingRequestFactory factory;
  RequestOptions o = form_post("a=1");
  o.headers = "accept: text/html\r\nx-requested-with: XMLHttpRequest\r\nREFERER: http://other/";
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers,
            (Headers{{"Accept", "text/html"},
                     {"X-Requested-With", "XMLHttpRequest"},
                     {"REFERER", "http://other/"},
                     {"Accept-Language", "zh-cn"},
                     {"User-Agent", kAgent},
                     {"Content-Type", "application/x-www-form-urlencoded"}}));
  EXPECT_EQ(r.headers,
            "Accept: text/html\r\nX-Requested-With: XMLHttpRequest\r\nREFERER: http://other/\r\n"
            "Accept-Language: zh-cn\r\nUser-Agent: " +
                kAgent + "\r\nContent-Type: application/x-www-form-urlencoded");
}

TEST(PerformRequest, WithoutCompletionAnEmptyHeaderTextIsOneEmptyHeader) {
  RecordingRequestFactory factory;
  RequestOptions o = form_post("a=1");
  o.complete_headers = false;
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers, (Headers{{"", ""}}));
  EXPECT_EQ(r.headers, "");
  EXPECT_EQ(factory.last()->send_count(), 1);  // the request still goes out

  o.headers = "content-type: text/plain";
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers, (Headers{{"Content-Type", "text/plain"}}));
}

TEST(NormalizeHeaders, CaseOfNamesAndDroppedLines) {
  EXPECT_EQ(normalize_headers("\r\naccept: */*\r\nx-requested-with: a"),
            "Accept: */*\r\nX-Requested-With: a");
  EXPECT_EQ(normalize_headers("ACCEPT-LANGUAGE: zh-cn"), "ACCEPT-LANGUAGE: zh-cn");
  EXPECT_EQ(normalize_headers("Host:x\r\n\r\ngarbage\r\nA: 1\r\n"), "A: 1");  // no ": ", empty line
  EXPECT_EQ(normalize_headers("a--b: 1\r\n-x: 2"), "A--B: 1\r\n-X: 2");
  EXPECT_EQ(normalize_headers("empty: "), "Empty: ");
  EXPECT_EQ(normalize_headers(""), "");
  EXPECT_EQ(normalize_headers("junk"), "");
  EXPECT_EQ(normalize_headers("名字: 值"), "名字: 值");
}

TEST(NormalizeHeaders, ValueHoldingColonSpaceIsKeptWhole) {
  EXPECT_EQ(normalize_headers("x-note: a: b: c"), "X-Note: a: b: c");
  EXPECT_EQ(header_value("X-Note: a: b: c"), "a: b: c");
}

TEST(HeaderParts, NameValueAndCapitalize) {
  EXPECT_EQ(header_name("  Accept : */* "), "Accept");
  EXPECT_EQ(header_value("  Accept : */* "), "*/*");
  EXPECT_EQ(header_name("Host:x:1"), "Host");
  EXPECT_EQ(header_value("Host:x:1"), "x:1");
  EXPECT_EQ(header_name("no colon"), "");
  EXPECT_EQ(header_value("no colon"), "");
  EXPECT_EQ(header_value("A:"), "");
  EXPECT_EQ(capitalize_word("accept"), "Accept");
  EXPECT_EQ(capitalize_word("ACCEPT"), "ACCEPT");
  EXPECT_EQ(capitalize_word("1a"), "1a");
  EXPECT_EQ(capitalize_word(""), "");
}

TEST(Base64, PaddingForOneTwoAndThreeBytes) {
  EXPECT_EQ(base64_encode({}), "");
  EXPECT_EQ(base64_encode(to_bytes("M")), "TQ==");
  EXPECT_EQ(base64_encode(to_bytes("Ma")), "TWE=");
  EXPECT_EQ(base64_encode(to_bytes("Man")), "TWFu");
  EXPECT_EQ(base64_encode(to_bytes("Many")), "TWFueQ==");
  EXPECT_EQ(base64_encode(Bytes{0xFF, 0xFE, 0x00}), "//4A");
  EXPECT_EQ(base64_encode(Bytes{0xFB, 0xEF, 0xBE}), "++++");
  EXPECT_EQ(base64_encode(to_bytes("user:pass")), "dXNlcjpwYXNz");
}

TEST(PerformRequest, ProxyAndItsCredentials) {
  RecordingRequestFactory factory;
  RequestOptions o;
  o.url = kUrl;
  o.proxy = "127.0.0.1:3128";
  o.proxy_user = "user";
  o.proxy_password = "pass";
  o.cookies = "a=1";
  perform_request(factory.requests(), o);
  auto r = factory.last();
  EXPECT_EQ(r->last_sent().proxy, "127.0.0.1:3128");
  Headers sent = r->last_sent().headers;
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0], (std::pair<Text, Text>{"Proxy-Authorization", "Basic dXNlcjpwYXNz"}));
  EXPECT_EQ(sent[1], (std::pair<Text, Text>{"Cookie", "a=1"}));
  EXPECT_EQ(sent[2].first, "Accept");

  o.proxy_password.clear();
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers[0].second, "Basic " + base64_encode(to_bytes("user:")));

  o.proxy_user = "用户";  // its UTF-8 bytes are encoded as they are
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers[0].second,
            "Basic " + base64_encode(Bytes{0xE7, 0x94, 0xA8, 0xE6, 0x88, 0xB7, ':'}));

  for (auto change :
       {+[](RequestOptions& x) { x.proxy_user.clear(); }, +[](RequestOptions& x) { x.proxy.clear(); },
        +[](RequestOptions& x) { x.proxy_auth_mode = 0; }}) {
    RequestOptions p = o;
    change(p);
    perform_request(factory.requests(), p);
    EXPECT_EQ(factory.last()->last_sent().headers[0].first, "Cookie");
  }
  EXPECT_EQ(factory.last()->last_sent().proxy, "127.0.0.1:3128");  // the auth-mode case still has its proxy
}

TEST(PerformRequest, TheRedirectSwitchIsTheOnlyOption) {
  RecordingRequestFactory factory;
  RequestOptions o;
  o.url = kUrl;
  o.no_redirect = true;
  perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().options,
            (std::map<RequestOption, int>{{RequestOption::redirects, 0}}));
}

TEST(PerformRequest, ByteBodyWinsOverText) {
  RecordingRequestFactory factory;
  RequestOptions o = form_post("ignored");
  o.body_bytes = Bytes{'a', 0, 'b'};
  perform_request(factory.requests(), o);
  fakes::SentRequest sent = factory.last()->last_sent();
  EXPECT_TRUE(sent.body_was_bytes);
  EXPECT_EQ(sent.body_bytes, (Bytes{'a', 0, 'b'}));
  EXPECT_EQ(sent.body_text, "");
}

TEST(PerformRequestCookies, UnsuppliedSendsNoneAndDoesNotMerge) {
  RecordingRequestFactory factory(ok_response("",
                                              "HTTP/1.1 200 OK\r\nSet-Cookie: uid=9; path=/\r\n"
                                              "set-cookie: low=1\r\nSet-Cookie: lang=2"));
  RequestResult r = perform_request(factory.requests(), form_post("a=1"));
  for (const auto& h : factory.last()->last_sent().headers) EXPECT_NE(h.first, "Cookie");
  EXPECT_EQ(r.cookies_out, "uid=9; lang=2");
  EXPECT_FALSE(r.cookies.has_value());
}

TEST(PerformRequestCookies, SuppliedAreSentAndMerged) {
  RecordingRequestFactory factory(ok_response("", "Set-Cookie: uid=9; path=/\r\nSet-Cookie: theme=deleted"));
  RequestOptions o = form_post("a=1");
  o.cookies = "uid=1; theme=3; note=a b";
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers[0],
            (std::pair<Text, Text>{"Cookie", "uid=1; theme=3; note=a b"}));
  EXPECT_EQ(r.cookies, "uid=9; note=ab");
  EXPECT_EQ(r.cookies_out, "uid=9; note=ab");

  o.merge_cookies = false;
  r = perform_request(factory.requests(), o);
  EXPECT_EQ(r.cookies, "uid=1; theme=3; note=a b");
  EXPECT_EQ(r.cookies_out, "uid=9; theme=deleted");
}

TEST(PerformRequestCookies, EmptyCookiesStillSendTheHeader) {
  RecordingRequestFactory factory(ok_response("", "Set-Cookie: sid=5"));
  RequestOptions o = form_post("a=1");
  o.cookies = "";
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_EQ(factory.last()->last_sent().headers[0], (std::pair<Text, Text>{"Cookie", ""}));
  EXPECT_EQ(r.cookies, "sid=5");
  EXPECT_EQ(r.cookies_out, "sid=5");
}

TEST(PerformRequestFailures, NoObjectLeavesEverythingAsGiven) {
  RecordingRequestFactory factory;
  factory.fail_creation(true);
  RequestOptions o = form_post("a=1");
  o.cookies = "uid=1";
  o.headers = "accept: x";
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_FALSE(r.object_created);
  EXPECT_TRUE(r.body.empty());
  EXPECT_EQ(r.cookies, "uid=1");
  EXPECT_EQ(r.headers, "accept: x");
  EXPECT_EQ(r.cookies_out, "");
  EXPECT_EQ(r.status_out, 0);
  EXPECT_TRUE(factory.created().empty());
}

TEST(PerformRequestFailures, FailedSendReadsNothingButStillMerges) {
  RecordingRequestFactory factory(
      ScriptedResponse{to_bytes("lost"), "Set-Cookie: a=1", 200, RequestFailure::transport});
  RequestOptions o = form_post("a=1");
  o.cookies = "b=2 ";
  RequestResult r = perform_request(factory.requests(), o);
  EXPECT_TRUE(r.object_created);
  EXPECT_TRUE(r.body.empty());
  EXPECT_EQ(r.headers_out, "");
  EXPECT_EQ(r.status_out, 0);
  EXPECT_EQ(r.cookies_out, "b=2");
  EXPECT_EQ(r.failure, RequestFailure::transport);
}

TEST(PerformRequestFailures, OversizedBodyIsAFailedRequest) {
  Bytes huge(kRequestBodyCap + 1, 'x');
  RecordingRequestFactory factory(
      ScriptedResponse{std::move(huge), "HTTP/1.1 200 OK", 200, RequestFailure::none});
  RequestResult r = perform_request(factory.requests(), form_post("a=1"));
  EXPECT_TRUE(r.body.empty());
  EXPECT_EQ(r.failure, RequestFailure::body_too_large);
}

TEST(PerformRequest, ReuseObjectIsDrivenAndStaysWithItsOwner) {
  RecordingRequestFactory factory;
  auto own = std::make_shared<RecordingRequest>(ok_response("one"));
  RequestOptions o;
  o.url = kUrl;
  o.reuse_object = own;
  EXPECT_EQ(to_text(perform_request(factory.requests(), o).body), "one");
  EXPECT_EQ(to_text(perform_request(factory.requests(), o).body), "one");
  EXPECT_TRUE(factory.created().empty());
  EXPECT_EQ(own->send_count(), 2);
  EXPECT_EQ(own.use_count(), 2);  // ours and the options'; the operation kept none
}

}  // namespace
}  // namespace qiwa
