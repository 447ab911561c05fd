#pragma once
// The application over doubles: a window, the platform's services and the music service. The test's
// thread plays the window's thread; workers run when the test runs the executor, never by themselves.
#include <gtest/gtest.h>

#include <set>

#include "app/context.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/fake_music_service.hpp"
#include "fakes/fake_window.hpp"

namespace qiwa {

struct AppFixture : ::testing::Test {
  fakes::FakeWindow window;
  fakes::FakePlatform fake;
  // The stores in a folder of their own, so that the run directory holds the songs only.
  const Text store_folder = (fake.files.make_directories("C:\\Store"), Text("C:\\Store"));
  Stores stores{fake.files, fake.clock, store_folder, "127.0.0.1:8765"};
  AppContext app{window, fake.platform(), stores, "127.0.0.1:8765"};

  void TearDown() override {
    app.searches.stop_all();
    app.plays.stop_all();
    fake.executor.close();  // the workers still waiting run to their end, as at exit
  }
  // Everything waiting runs: the window's thread's work, then the workers', until none is left.
  void settle() { fake.executor.run_all(); }
  // The rows the results show, the first one selected.
  void show_rows(std::vector<SongRow> rows) {
    app.rows = std::move(rows);
    window.clear_rows();
    window.add_rows(app.rows);
    window.select_row(0);
  }
  // The service gives each row an address on the demo host (a row whose id starts with "dead" none) and
  // no lyrics; `cover` says whether each row has a cover of its own ("cover/<id>.jpg").
  void serve_addresses(bool cover) {
    fake.service.on("url", [](const fakes::ServiceCall& c) {
      if (c.field("id").starts_with("dead")) return fakes::jsonp(R"({"url":"","size":0,"br":-1})");
      return fakes::jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/)" + c.field("id") +
                          R"(.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [cover](const fakes::ServiceCall& c) {
      return fakes::jsonp(cover ? R"({"url":"http:\/\/127.0.0.1:8765\/cover\/)" + c.field("id") + R"(.jpg"})"
                                : Text(R"({"url":""})"));
    });
    fake.service.on("lyric", [](const fakes::ServiceCall&) { return fakes::jsonp(R"({"lyric":""})"); });
  }
  // The song file of a title in the run directory.
  Text song(std::string_view title) const { return app.run_directory + "\\" + Text(title) + ".mp3"; }
  std::set<Text> files() const { return fake.files.names_in(app.run_directory); }
};

}  // namespace qiwa
