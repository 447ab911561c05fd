#include "music/kept_tag.hpp"

#include "music/lrc.hpp"
#include "music/retag.hpp"

namespace qiwa {

SongTag kept_tag(const Track& track, const SongExtras& extras, const SongTag& before) {
  SongTag tag = song_tag(track);
  tag.cover = extras.cover;
  tag.lyrics = extras.lyrics.lines;
  tag.timed_lyrics = timed_lines(extras.lyrics);
  tag.gain_db = before.gain_db;
  tag.peak = before.peak;
  return tag;
}

KeptTag tag_kept_song(Files& files, std::string_view path, const Track& track, const SongExtras& extras,
                      const GainMeasure& measure, const std::stop_token& stop) {
  const std::optional<SongTag> before = read_file_tag(files, path, kMaxWholeTagRead);  // a large cover too
  if (!before || !is_tag_of(*before, track)) return KeptTag::not_ours;
  SongTag tag = kept_tag(track, extras, *before);
  if (!tag.gain_db && measure) {
    if (const std::optional<ReplayGain> gain = measure()) {
      tag.gain_db = gain->gain_db;
      tag.peak = gain->peak;
    }
  }
  if (stop.stop_requested()) return KeptTag::stopped;
  // What the writer would keep of it: a cover it leaves out is compared as left out.
  const std::optional<SongTag> written = read_id3_tag(write_id3_tag(tag));
  if (written && *written == *before) return KeptTag::already;
  return retag_song(files, path, tag) == Retag::done ? KeptTag::tagged : KeptTag::failed;
}

Text lrc_path(std::string_view song_path) {
  constexpr std::string_view kMp3 = ".mp3";
  std::string_view stem = song_path;
  if (stem.size() >= kMp3.size() && stem.substr(stem.size() - kMp3.size()) == kMp3)
    stem.remove_suffix(kMp3.size());
  return Text(stem) + ".lrc";
}

LrcFile write_lrc(Files& files, std::string_view song_path, const Lyrics& lyrics) {
  const Text text = lrc_text(lyrics);
  if (text.empty()) return LrcFile::none;
  const Text path = lrc_path(song_path);
  if (files.exact_exists(path)) {
    const std::optional<Text> there = files.read_file(path, text.size());
    return there && *there == text ? LrcFile::same : LrcFile::kept;
  }
  return files.replace_file(path, text) ? LrcFile::written : LrcFile::failed;
}

}  // namespace qiwa
