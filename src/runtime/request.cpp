#include "runtime/request.hpp"

#include <array>

namespace qiwa {

std::string_view method_name(HttpMethod method) {
  static constexpr std::array<std::string_view, 8> kNames{"GET",     "POST",   "HEAD",  "PUT",
                                                          "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return kNames[static_cast<std::size_t>(method)];
}

}  // namespace qiwa
