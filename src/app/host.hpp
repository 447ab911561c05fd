#pragma once
// The music service's address as the user or the command line gives it.
#include <string_view>

namespace qiwa {

// A host name or IPv4 address, or an IPv6 address in brackets, and an optional port of 1 to 65535.
bool valid_host(std::string_view host);

}  // namespace qiwa
