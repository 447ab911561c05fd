#include "app/startup.hpp"

#include "skin/skin_blobs.hpp"
#include "skin/skin_entry.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr const char* kSkinLibraryName = "SkinH_EL.dll";

}  // namespace

Text resolve_skin_library_path(Files& files, std::string_view candidate, std::string_view run_directory,
                               std::string_view system_directory) {
  Text path = trim(candidate);
  if (files.exact_exists(path)) return path;
  // Both fallbacks are tested in turn, so the system directory's copy wins.
  Text beside = Text(run_directory) + "\\" + kSkinLibraryName;
  if (files.exact_exists(beside)) path = beside;
  Text system = Text(system_directory) + kSkinLibraryName;
  if (files.exact_exists(system)) path = system;
  return path;
}

bool attach_skin(Files& files, LibraryBindings& libraries, std::string_view library_path,
                 std::span<const unsigned char> skin, const char* text, int a, int b, int c) {
  if (!files.exact_exists(library_path)) return false;
  if (!libraries.bind(kSkinEntryName, library_path, kSkinEntryName)) return false;
  auto entry = reinterpret_cast<SkinAttachRes>(libraries.bound(kSkinEntryName));
  const int result = entry ? entry(skin.data(), static_cast<int>(skin.size()), text, a, b, c) : -1;
  // The library stays loaded, so the skin stays in effect.
  libraries.reset(kSkinEntryName);
  return entry && result == 0;
}

void on_main_window_created(AppContext& app) {
  Files& files = app.platform.files;
  const Text candidate = app.run_directory + "\\pf.dll";
  const auto image = skin_library_image();
  // Unchecked: another running copy may hold the file; whatever is there is used then.
  files.write(candidate, Bytes(image.begin(), image.end()));
  const Text path = resolve_skin_library_path(files, candidate, app.run_directory, files.system_directory());
  app.skin_library_path = path;
  attach_skin(files, app.libraries, path, skin_data(), nullptr, 0, 0, 0);
}

// Stops every search and play, removes the downloads this closing cuts short, and deletes the songs
// this run downloaded when the user asked for it. The workers then end on their raised tokens. The end
// of the Windows session runs it too, and a destroying after it then finds nothing left to do.
void on_main_window_destroying(AppContext& app) {
  app.searches.stop_all();
  app.plays.stop_all();
  app.batches.stop_all();
  app.levels.stop_all();
  app.platform.player.stop();  // closes the playing song's file, so it can go too
  app.window.hold_media_key(false);
  app.lyrics.stop();
  const bool delete_songs = app.window.delete_on_exit();
  DownloadRegistry::Leftovers left = app.downloads.close();
  Files& files = app.platform.files;
  for (const Text& part : left.parts) files.remove(part);  // opened for writing with delete sharing
  if (!delete_songs) return;
  for (const Text& song : left.songs)
    if (files.exact_exists(song)) files.remove(song);  // one held open is passed over
}

}  // namespace qiwa
