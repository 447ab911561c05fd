// Tags a song file as the program keeps one, for the check by Debian's tag readers (tag_check.py):
//   qiwa_tag_tool SONG COVER    SONG is retagged in place, and SONG.lrc written beside it.
// The song goes through the same retag as in the program, over the in-memory files.
#include <fstream>
#include <iostream>
#include <iterator>

#include "fakes/fake_files.hpp"
#include "music/lrc.hpp"
#include "music/retag.hpp"

namespace {

using namespace qiwa;

Text slurp(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Text(std::istreambuf_iterator<char>(in), {});
}

bool spill(const std::string& path, const Text& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qiwa_tag_tool SONG COVER\n";
    return 2;
  }
  const Lyrics lyrics =
      read_lyrics("[00:00.00]晴天 - 周杰伦\n[00:29.26]故事的小黄花\n[01:02.50]从出生那年就飘着\n");
  SongTag tag{"晴天", "周杰伦 / 杨瑞代", "叶惠美", {{"QIWA_SOURCE", "netease"}, {"QIWA_ID", "186016"}}};
  const Text cover = slurp(argv[2]);
  tag.cover.assign(cover.begin(), cover.end());
  tag.lyrics = lyrics.lines;
  tag.timed_lyrics = timed_lines(lyrics);
  tag.gain_db = -6.52;
  tag.peak = 0.988553;

  fakes::FakeFiles files;
  files.put("C:\\Qiwa\\song.mp3", slurp(argv[1]));
  const Retag result = retag_song(files, "C:\\Qiwa\\song.mp3", tag);
  if (result != Retag::done) {
    std::cerr << "retag failed: " << static_cast<int>(result) << "\n";
    return 1;
  }
  return spill(argv[1], *files.read("C:\\Qiwa\\song.mp3")) &&
                 spill(std::string(argv[1]) + ".lrc", lrc_text(lyrics))
             ? 0
             : 1;
}
