#pragma once
// The event bindings: which handler each window event runs.
#include <memory>

#include "app/context.hpp"

namespace qiwa {

class Application {
 public:
  explicit Application(std::shared_ptr<AppContext> context) : context_(std::move(context)) {}
  void on_event(WindowEvent event);
  AppContext& context() { return *context_; }

 private:
  std::shared_ptr<AppContext> context_;
};

}  // namespace qiwa
