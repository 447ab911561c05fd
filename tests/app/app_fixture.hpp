#pragma once
// The application over doubles: a window, the platform's services and the music service.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "app/context.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/fake_window.hpp"

namespace qiwa {

// Waits for the worker threads; a generous bound only so a broken build cannot hang the suite.
template <class Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 2000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

struct AppFixture : ::testing::Test {
  fakes::FakeWindow window;
  fakes::FakePlatform fake;
  std::shared_ptr<AppContext> app = std::make_shared<AppContext>(window, fake.platform(), "127.0.0.1:8765");

  void TearDown() override {
    app->searches.stop_all();
    app->plays.stop_all();
    EXPECT_TRUE(eventually([&] { return app.use_count() == 1; }));  // every worker has let go
  }
  // The song file of a title in the run directory.
  Text song(std::string_view title) const { return app->run_directory + "\\" + Text(title) + ".mp3"; }
  std::set<Text> files() const { return fake.files.names_in(app->run_directory); }
};

}  // namespace qiwa
