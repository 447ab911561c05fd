#pragma once
// Where run_with_server.sh put http_test_server.py, and what it recorded. Without the server the tests skip.
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qiwa::test {

inline std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

inline bool have_server() { return !env("QIWA_TEST_HTTP_PORT").empty(); }
inline bool have_tls_server() { return have_server() && env("QIWA_TEST_HTTPS_PORT") != "0"; }

// "http://127.0.0.1:PORT" + path_and_query
inline std::string server_url(const std::string& path_and_query) {
  return "http://127.0.0.1:" + env("QIWA_TEST_HTTP_PORT") + path_and_query;
}
inline std::string tls_url(const std::string& path_and_query) {
  return "https://localhost:" + env("QIWA_TEST_HTTPS_PORT") + path_and_query;
}
inline std::string closed_url(const std::string& path_and_query) {
  return "http://127.0.0.1:" + env("QIWA_TEST_CLOSED_PORT") + path_and_query;
}

// One request as it came over the wire.
struct Recorded {
  std::string request_line;
  std::vector<std::string> lines;  // header lines in wire order, exactly
  std::vector<std::pair<std::string, std::string>> headers;  // the same split at the first ":", value trimmed
  std::string body;

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& h : headers) out.push_back(h.first);
    return out;
  }
  std::optional<std::string> header(const std::string& name) const {
    for (const auto& h : headers)
      if (h.first == name) return h.second;
    return std::nullopt;
  }
};

// nullopt when the server saw no request with that id.
inline std::optional<Recorded> recorded(const std::string& id) {
  std::ifstream in(env("QIWA_TEST_RECORD_DIR") + "\\" + id + ".raw", std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream all;
  all << in.rdbuf();
  std::string raw = all.str();
  std::size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  Recorded r;
  r.body = raw.substr(end + 4);
  std::string head = raw.substr(0, end) + "\r\n";
  std::size_t at = head.find("\r\n");
  r.request_line = head.substr(0, at);
  for (at += 2; at < head.size();) {
    std::size_t next = head.find("\r\n", at);
    std::string line = head.substr(at, next - at);
    r.lines.push_back(line);
    std::size_t colon = line.find(':');
    std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    r.headers.emplace_back(line.substr(0, colon), value);
    at = next + 2;
  }
  return r;
}

// The HTTPS server's certificate trusted by the current user while this lives: added to the user's root
// store, and taken out again. For what only a trusted server can show; the prefix itself never trusts it.
class TrustedCertificate {
 public:
  TrustedCertificate() {
    std::ifstream in(env("QIWA_TEST_TLS_CERT"), std::ios::binary);
    std::stringstream pem;
    pem << in.rdbuf();
    const std::string text = pem.str();
    DWORD size = 0;
    if (text.empty() || !CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      return;
    std::string der(size, '\0');
    CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    store_ = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (store_ &&
        CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         size, CERT_STORE_ADD_REPLACE_EXISTING, &added_))
      CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);  // seen by the store the checks open
  }
  ~TrustedCertificate() {
    if (added_) CertDeleteCertificateFromStore(added_);  // frees the context too
    if (store_) CertCloseStore(store_, 0);
  }
  TrustedCertificate(const TrustedCertificate&) = delete;
  TrustedCertificate& operator=(const TrustedCertificate&) = delete;
  explicit operator bool() const { return added_ != nullptr; }

 private:
  HCERTSTORE store_ = nullptr;
  PCCERT_CONTEXT added_ = nullptr;
};

}  // namespace qiwa::test
