#pragma once
// Every platform service as a double, handed to the core as one Platform, the way the program hands it
// the Win32 backends.
#include <atomic>
#include <functional>
#include <map>
#include <vector>

#include "fakes/fake_downloader.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_music_service.hpp"
#include "fakes/fake_player.hpp"
#include "fakes/manual_executor.hpp"
#include "fakes/tone_codecs.hpp"
#include "runtime/platform.hpp"

namespace qiwa::fakes {

// A loader whose libraries are names in a table: load gives a handle for a path the table knows,
// symbol gives what the test put there; loads and frees are recorded.
class FakeLibraries : public NativeLibraries {
 public:
  void* load(std::string_view path) override;
  void* symbol(void* library, std::string_view name) override;
  void free(void* library) override;

  // The library at `path` exports `name` as `address`.
  void provide(std::string_view path, std::string_view name, void* address);
  std::vector<Text> loaded() const;
  std::vector<Text> freed() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Text> paths_;  // handle i + 1 is paths_[i]
  std::map<std::pair<Text, Text>, void*> exports_;
  std::vector<Text> loaded_, freed_;
};

// A clock the test moves by hand.
class FakeClock : public Clock {
 public:
  std::int64_t now_ms() override { return now_.load(); }
  // The calendar moves with the steady clock; the local zone is 8 hours ahead.
  std::int64_t wall_ms() override { return kWallStart + now_.load(); }
  std::int64_t local_wall_ms() override { return wall_ms() + 8 * 3600 * 1000; }
  void advance(std::int64_t ms) { now_ += ms; }

  static constexpr std::int64_t kWallStart = 1'717'200'000'000;  // 2024-06-01 00:00:00 UTC

 private:
  std::atomic<std::int64_t> now_{1000};
};

struct FakePlatform {
  FakeFiles files;
  FakeMusicService service;
  FakeDownloader downloader;
  FakePlayer player{files};
  FakeLibraries libraries;
  FakeClock clock;
  ManualExecutor executor;
  ToneCodecs codecs;

  Platform platform() {
    return {files, service.requests(), downloader, player, libraries, clock, executor, codecs.codecs()};
  }
};

}  // namespace qiwa::fakes
