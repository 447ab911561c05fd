#pragma once
// The program's two stores, the settings and the library, in the folder store_directory picks, handled
// as one by the start-up, the app's write timer and the exit.
#include <memory>

#include "app/settings.hpp"
#include "music/library.hpp"
#include "runtime/platform.hpp"

namespace qiwa {

// The folder under the user's application data when the program's own folder is not writable.
inline constexpr std::string_view kStoreFolderName = "Qiwa音乐";

struct Stores {
  Stores(Files& files, Clock& clock, const Text& directory, Text default_service)
      : settings(files, clock, directory + "\\" + Text(Settings::kFileName), std::move(default_service)),
        library(files, clock, directory + "\\" + Text(Library::kFileName)) {}

  Settings settings;
  Library library;

  bool dirty() const { return settings.dirty() || library.dirty(); }
  // For the app's timer, armed while dirty(): each store is written when its second has passed.
  void flush_due(std::int64_t now_ms) {
    settings.flush_due(now_ms);
    library.flush_due(now_ms);
  }
  void flush(std::int64_t now_ms) {
    settings.flush(now_ms);
    library.flush(now_ms);
  }
  // What went wrong with either file, one line for the title; empty when nothing did.
  Text take_message() {
    Text a = settings.take_message(), b = library.take_message();
    return a.empty() || b.empty() ? a + b : a + "；" + b;
  }
};

// The stores of the running program, not yet read: load() each (the library after the window shows).
inline std::unique_ptr<Stores> open_stores(const Platform& platform, Text default_service) {
  return std::make_unique<Stores>(platform.files, platform.clock, store_directory(platform.files, kStoreFolderName),
                                  std::move(default_service));
}

}  // namespace qiwa
