#include <mutex>

#include "runtime/request.hpp"

namespace qiwa {
namespace {
std::mutex factory_mutex;
RequestFactory& factory() {
  static RequestFactory f;
  return f;
}
}  // namespace

void set_request_factory(RequestFactory f) {
  std::lock_guard lock(factory_mutex);
  factory() = std::move(f);
}

std::shared_ptr<RequestObject> create_request_object() {
  RequestFactory f;
  {
    std::lock_guard lock(factory_mutex);
    f = factory();
  }
  return f ? f() : nullptr;
}

}  // namespace qiwa
