#pragma once
// The music service's one endpoint: form posts with a JSONP callback.
#include <utility>
#include <vector>

#include "runtime/request.hpp"
#include "runtime/types.hpp"

namespace qiwa {

inline constexpr const char* kSearchCallback = "callback=jQuery111305848566045983208_1532569697124";
inline constexpr const char* kTrackCallback = "callback=jQuery111305848566045983208_1532569697121";

// Where the service is and how to reach it.
struct ServiceClient {
  Text host;  // host[:port]
  RequestFactory requests;
};

using FormFields = std::vector<std::pair<Text, Text>>;

// "http://" + host + "/gqss/api.php?" + callback query.
Text service_url(std::string_view host, std::string_view callback_query);
// key=value pairs joined by "&" in the given order, each value's UTF-8 percent-encoded, so "&" or "="
// in a value can never make another field.
Text form_body(const FormFields& fields);
Text percent_encode(std::string_view text);

// The answer's body as text with its escapes kept; empty when the request failed or the status
// was not 2xx.
Text query_service_raw(const ServiceClient& service, std::string_view callback_query, std::string_view form);
// The same with the escapes decoded.
Text query_service(const ServiceClient& service, std::string_view callback_query, std::string_view form);
// A plain GET of an address a service answer gave; empty unless a 2xx answer came whole.
Bytes fetch_address(const ServiceClient& service, std::string_view url);

}  // namespace qiwa
