#pragma once
// The event bindings: which handler each window event runs.
#include "app/context.hpp"

namespace qiwa {

class Application {
 public:
  explicit Application(AppContext& context) : context_(&context) {}
  void on_event(WindowEvent event);

 private:
  AppContext* context_;
};

}  // namespace qiwa
