// Benchmarks of the portable core over answers shaped like the service's: every non-ASCII character
// escaped as \uXXXX, "/" as "\/", 20 hits a page. Run build/bench/core_bench (tools/figures does).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fakes/fake_files.hpp"
#include "fakes/fake_window.hpp"
#include "music/lyrics.hpp"
#include "music/retag.hpp"
#include "music/search.hpp"
#include "runtime/mp3_frames.hpp"
#include "runtime/text.hpp"
#include "text/extract.hpp"
#include "text/unescape.hpp"

namespace {

using qiwa::Text;

// One hit as the kugou catalogue sends it: quoted hexadecimal ids, escaped Chinese names.
std::string hit(int i) {
  const std::string id = "3DE3C8085D2F5923FE780AD62CD79F" + std::to_string(10 + i % 90);
  return "{\"id\":\"" + id + "\",\"name\":\"\\u6674\\u5929 " + std::to_string(i) +
         "\",\"artist\":[\"\\u5468\\u6770\\u4f26\",\"\\u6842\\u7eb6\\u9541\"],\"album\":\"\\u53f6\\u60e0\\u7f8e\"," +
         "\"pic_id\":\"3CB01DCEA24897494267CFB37500E2" + std::to_string(10 + i % 90) + "\",\"url_id\":\"" + id +
         "\",\"lyric_id\":\"" + id + "\",\"source\":\"kugou\"}";
}

std::string search_answer(int hits) {
  std::string s = "jQuery111305848566045983208_1532569697124([";
  for (int i = 0; i < hits; ++i) s.append(i ? "," : "").append(hit(i));
  return s + "])";
}

// An answer of about `bytes` bytes: as many hits as fit.
std::string answer_of_size(std::size_t bytes) {
  std::string s = "cb([";
  for (int i = 0; s.size() < bytes; ++i) s.append(i ? "," : "").append(hit(i));
  return s + "])";
}

std::string lyric_answer(int lines) {
  std::string lyric = "[ti:\\u6674\\u5929]\\n[ar:\\u5468\\u6770\\u4f26]\\n[by:qiwa]\\n";
  for (int i = 0; i < lines; ++i)
    lyric += "[0" + std::to_string(i / 60 % 10) + ":" + std::to_string(10 + i % 50) +
             ".00]\\u522e\\u98ce\\u8fd9\\u5929 \\u6211\\u8bd5\\u8fc7\\u63e1\\u7740\\u4f60\\u624b\\n";
  return "cb({\"lyric\":\"" + lyric + "\",\"tlyric\":\"\"})";
}

void set_bytes(benchmark::State& state, std::size_t per_iteration) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * per_iteration));
}

void BM_UnescapeSearchAnswer(benchmark::State& state) {
  const std::string answer = search_answer(20);
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::unescape_text(answer));
  set_bytes(state, answer.size());
}
BENCHMARK(BM_UnescapeSearchAnswer);

void BM_UnescapeOneMebibyte(benchmark::State& state) {
  const std::string answer = answer_of_size(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::unescape_text(answer));
  set_bytes(state, answer.size());
}
BENCHMARK(BM_UnescapeOneMebibyte)->Unit(benchmark::kMillisecond);

// The text operations over a decoded answer, as the program's scanners use them.
void BM_TextFind(benchmark::State& state) {
  const Text text = qiwa::unescape_text(search_answer(20));
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::find(text, "\"source\":\"kugou\"}]", 1));
  set_bytes(state, text.size());
}
BENCHMARK(BM_TextFind);

void BM_TextReplace(benchmark::State& state) {
  const Text text = search_answer(20);
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::replace(text, "\\/", "/", true));
  set_bytes(state, text.size());
}
BENCHMARK(BM_TextReplace);

void BM_TextSplit(benchmark::State& state) {
  const Text text = qiwa::unescape_text(search_answer(20));
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::split(text, "},{"));
  set_bytes(state, text.size());
}
BENCHMARK(BM_TextSplit);

void BM_ExtractBetween(benchmark::State& state) {
  const Text text = search_answer(20);
  qiwa::TextArray out;
  for (auto _ : state) benchmark::DoNotOptimize(qiwa::extract_between(text, "\"name\":\"", "\"", out));
  set_bytes(state, text.size());
}
BENCHMARK(BM_ExtractBetween);

// A 20-hit answer to the rows of the list (an in-memory list: the part of the work that is ours).
void BM_SearchAnswerToRows(benchmark::State& state) {
  const std::string answer = search_answer(20);
  for (auto _ : state) {
    qiwa::fakes::FakeWindow window;
    for (const qiwa::SongRow& r : qiwa::parse_search_hits(answer, qiwa::catalogue_at(1))) {
      int row = window.list_append_row();
      window.list_set_cell(row, 3, r.title);
      window.list_set_cell(row, 4, r.singer);
    }
    benchmark::DoNotOptimize(window.list_row_count());
  }
  set_bytes(state, answer.size());
}
BENCHMARK(BM_SearchAnswerToRows);

void BM_LyricsToLines(benchmark::State& state) {
  const std::string answer = lyric_answer(60);
  for (auto _ : state)
    benchmark::DoNotOptimize(qiwa::lyric_lines(qiwa::unescape_text(qiwa::lyric_value(answer))));
  set_bytes(state, answer.size());
}
BENCHMARK(BM_LyricsToLines);

// A downloaded song followed as it arrives, in the downloader's 100 KB pieces: 10,000 frames of 128 kbit/s
// (4 MB, four minutes), the work the whole-song check adds to every download.
void BM_Mp3WholeCheck(benchmark::State& state) {
  std::string song;
  for (int i = 0; i < 10000; ++i) song.append("\xFF\xFB\x90\x00", 4).append(413, '\0');
  const auto* data = reinterpret_cast<const unsigned char*>(song.data());
  for (auto _ : state) {
    qiwa::Mp3WholeCheck check;
    for (std::size_t at = 0; at < song.size(); at += 102400)
      check.feed(data + at, std::min<std::size_t>(102400, song.size() - at));
    benchmark::DoNotOptimize(check.whole());
  }
  set_bytes(state, song.size());
}
BENCHMARK(BM_Mp3WholeCheck)->Unit(benchmark::kMillisecond);

// A kept song of 10 MB tagged with a 1 MB cover, through the files in memory: the retag's own work,
// disk aside. Its yardstick is the plainest copy of the same file through the same files, in the same
// pieces: open, create, read and write, flush, replace.
const Text kSongPath = "C:\\Qiwa\\song.mp3";

qiwa::fakes::FakeFiles& files_with_song() {
  static qiwa::fakes::FakeFiles files;
  std::string song;
  while (song.size() < (10u << 20)) song.append("\xFF\xFB\x90\x00", 4).append(413, '\x55');
  files.put(kSongPath, song);
  return files;
}

void BM_RetagTenMegabyteSong(benchmark::State& state) {
  qiwa::fakes::FakeFiles& files = files_with_song();
  qiwa::SongTag tag{"晴天", "周杰伦", "叶惠美", {{"QIWA_SOURCE", "netease"}, {"QIWA_ID", "186016"}}};
  tag.cover.assign(1 << 20, 0x5A);
  tag.cover[0] = 0xFF, tag.cover[1] = 0xD8, tag.cover[2] = 0xFF;
  tag.lyrics = "故事的小黄花\r\n从出生那年就飘着\r\n";
  tag.gain_db = -6.52;
  for (auto _ : state)
    if (qiwa::retag_song(files, kSongPath, tag) != qiwa::Retag::done) state.SkipWithError("retag failed");
  set_bytes(state, files.read(kSongPath)->size());
}
BENCHMARK(BM_RetagTenMegabyteSong)->Unit(benchmark::kMillisecond);

void BM_CopyTenMegabyteSong(benchmark::State& state) {
  qiwa::fakes::FakeFiles& files = files_with_song();
  std::vector<unsigned char> piece(256 * 1024);
  for (auto _ : state) {
    std::unique_ptr<qiwa::InputFile> in = files.open(kSongPath);
    std::unique_ptr<qiwa::OutputFile> out = files.create_new(kSongPath + ".copy");
    while (std::optional<std::size_t> n = in->read(piece.data(), piece.size())) {
      if (*n == 0) break;
      out->write(piece.data(), *n);
    }
    out->flush();
    out->close();
    in.reset();
    files.replace_file(kSongPath + ".copy", kSongPath);
  }
  set_bytes(state, files.read(kSongPath)->size());
}
BENCHMARK(BM_CopyTenMegabyteSong)->Unit(benchmark::kMillisecond);

}  // namespace

// QIWA_ANSWER_FILE=PATH also writes the 1 MiB answer there, for a yardstick outside this program.
int main(int argc, char** argv) {
  if (const char* path = std::getenv("QIWA_ANSWER_FILE")) std::ofstream(path, std::ios::binary) << answer_of_size(1 << 20);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
