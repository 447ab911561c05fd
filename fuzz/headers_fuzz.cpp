// Header completion and normalisation: every line that survives has "name: value" form.
#include <cstdlib>

#include "fuzz/input.hpp"
#include "http/request.hpp"
#include "runtime/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qiwa::fuzz::Input in(data, size);
  std::string url = in.piece(), headers = in.rest();
  std::string done = qiwa::normalize_headers(qiwa::complete_default_headers(headers, url, in.number()));
  if (!done.empty())
    for (const auto& line : qiwa::split(done, "\r\n"))
      if (qiwa::find(line, ": ") < 1) std::abort();
  (void)qiwa::header_name(headers);
  (void)qiwa::header_value(headers);
  std::string b64 = qiwa::base64_encode(qiwa::Bytes(headers.begin(), headers.end()));
  if (b64.size() != (headers.size() + 2) / 3 * 4) std::abort();
  return 0;
}
