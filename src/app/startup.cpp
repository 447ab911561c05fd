#include "app/startup.hpp"

#include "app/skin_blobs.hpp"
#include "app/skin_entry.hpp"
#include "runtime/files.hpp"
#include "runtime/native_library.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr const char* kSkinEntry = kSkinEntryName;
constexpr const char* kSkinLibraryName = "SkinH_EL.dll";

LockedText& chosen_library() {
  static LockedText path;
  return path;
}

}  // namespace

Text resolve_skin_library_path(std::string_view candidate, std::string_view run_directory,
                               std::string_view system_directory) {
  Text path = trim(candidate);
  if (exact_file_exists(path)) return path;
  // Both fallbacks are tested in turn, so the system directory's copy wins.
  Text beside = Text(run_directory) + "\\" + kSkinLibraryName;
  if (exact_file_exists(beside)) path = beside;
  Text system = Text(system_directory) + kSkinLibraryName;
  if (exact_file_exists(system)) path = system;
  return path;
}

Text skin_library_path() { return chosen_library().get(); }

bool attach_skin(std::string_view library_path, std::span<const unsigned char> skin, const char* text, int a, int b,
                 int c) {
  if (!exact_file_exists(library_path)) return false;
  if (!bind_library_function(kSkinEntry, library_path, kSkinEntry)) return false;
  auto entry = reinterpret_cast<SkinAttachRes>(bound_function(kSkinEntry));
  const int result = entry ? entry(skin.data(), static_cast<int>(skin.size()), text, a, b, c) : -1;
  // The library stays loaded, so the skin stays in effect.
  reset_library_binding(kSkinEntry);
  return entry && result == 0;
}

void on_main_window_created(AppContext& app) {
  const Text candidate = app.run_directory + "\\pf.dll";
  const auto image = skin_library_image();
  // Unchecked: another running copy may hold the file; whatever is there is used then.
  write_file(candidate, Bytes(image.begin(), image.end()));
  const Text path = resolve_skin_library_path(candidate, app.run_directory, system_directory());
  chosen_library().set(path);
  attach_skin(path, skin_data(), nullptr, 0, 0, 0);
}

// Deletes only the songs this run downloaded, and only when the user asked for it.
void on_main_window_destroying(AppContext& app) {
  app.closing = true;
  app.player.stop();  // closes the playing song's file, so it can go too
  if (!app.window.checked(Control::选择框1)) return;
  for (const Text& path : app.downloads.close())
    if (exact_file_exists(path)) delete_file(path);  // a file still held open is passed over
}

}  // namespace qiwa
