#include "app/song_files.hpp"

#include "app/keeping.hpp"
#include "music/file_name.hpp"

namespace qiwa {

Text songs_folder(const AppContext& app) {
  Text folder = app.stores.settings.download_folder();
  return folder.empty() ? app.run_directory : folder;
}

Text song_name(const Track& track, NamePattern pattern) {
  if (track.singer.empty()) return track.title;
  switch (pattern) {
    case NamePattern::singer_title:
      return track.singer + " - " + track.title;
    case NamePattern::title_singer:
      return track.title + " - " + track.singer;
    case NamePattern::title:
      break;
  }
  return track.title;
}

std::optional<PartFile> begin_part_file(AppContext& app, const Text& folder, const Text& name, unsigned n,
                                        bool& closing) {
  std::optional<PartFile> part;
  closing = !app.downloads.begin([&]() -> std::optional<Text> {
    part = create_part_file(app.platform.files, song_file_path(folder, name), n);
    return part ? std::optional<Text>(part->path) : std::nullopt;
  });
  return part;
}

Text place_download(AppContext& app, const Text& part, const Text& folder, const Text& name,
                    const SongRow& row) {
  Files& files = app.platform.files;
  Text placed;
  if (app.downloads.place(part, [&] { return placed = put_in_place(files, part, folder, name); })) {
    app.stores.library.downloaded(LibrarySong{row.source, row, placed});
    stores_changed(app);
    return placed;
  }
  files.remove(part);
  return {};
}

}  // namespace qiwa
