// Benchmarks of the portable core over answers shaped like the service's: every non-ASCII character
// escaped as \uXXXX, "/" as "\/", 20 hits a page. Run build/bench/core_bench (tools/figures does).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "fakes/fake_platform.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_window.hpp"
#include "music/library.hpp"
#include "music/lyrics.hpp"
#include "music/retag.hpp"
#include "music/search.hpp"
#include "runtime/loudness.hpp"
#include "runtime/mp3_frames.hpp"
#include "runtime/text.hpp"
#include "text/extract.hpp"
#include "text/unescape.hpp"

// Every heap block the program holds, as the allocator gives it (its usable size and its 8-byte header),
// so that a figure counts what the library costs in private memory.
std::atomic<long long> g_heap_bytes{0};

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  g_heap_bytes += static_cast<long long>(malloc_usable_size(p) + sizeof(void*));
  return p;
}
void release(void* p) noexcept {
  if (p) g_heap_bytes -= static_cast<long long>(malloc_usable_size(p) + sizeof(void*));
  std::free(p);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

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
    window.add_rows(qiwa::parse_search_hits(answer, qiwa::catalogue_at(1)));
    benchmark::DoNotOptimize(window.row_count());
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

// A library file of 10,000 favourites and 500 songs played, shaped like the service's songs: 32-digit
// hexadecimal ids, titles, singers and albums of a few Chinese characters.
struct LibraryScene {
  qiwa::fakes::FakeFiles files;
  qiwa::fakes::FakeClock clock;
  const Text path = "C:\\Qiwa\\QiwaMusic.library.txt";
  static constexpr int kFavourites = 10000, kPlayed = 500;

  LibraryScene() {
    qiwa::Library library(files, clock, path);
    std::vector<qiwa::LibrarySong> songs;
    for (int i = 0; i < kFavourites; ++i) {
      char id[40];
      std::snprintf(id, sizeof id, "3DE3C8085D2F5923FE780AD62CD7%04X", i);
      songs.push_back({"kugou", {id, id, id, "晴天之歌" + std::to_string(i), "周杰伦", "叶惠美"}, ""});
    }
    library.set_favourite(songs, true);
    for (int i = 0; i < kPlayed; ++i) {
      clock.advance(1);
      library.played(songs[static_cast<std::size_t>(i * 7)]);
    }
    library.flush(clock.now_ms());
  }
};

// Loading the library at start: its time, and the private bytes it holds per entry afterwards.
void BM_LibraryLoad10000(benchmark::State& state) {
  LibraryScene scene;
  long long held = 0;
  for (auto _ : state) {
    const long long before = g_heap_bytes;
    auto library = std::make_unique<qiwa::Library>(scene.files, scene.clock, scene.path);
    library->load();
    held = g_heap_bytes - before;
    benchmark::DoNotOptimize(library->count(qiwa::LibraryList::favourites));
    state.PauseTiming();
    library.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_entry"] = static_cast<double>(held) / (LibraryScene::kFavourites + LibraryScene::kPlayed);
  state.counters["file_bytes"] = static_cast<double>(scene.files.read(scene.path)->size());
}
BENCHMARK(BM_LibraryLoad10000)->Unit(benchmark::kMillisecond);

// Switching to the list of 10,000 favourites: its snapshot, newest first, and the first screen of cells.
void BM_LibraryList10000(benchmark::State& state) {
  LibraryScene scene;
  qiwa::Library library(scene.files, scene.clock, scene.path);
  library.load();
  for (auto _ : state) {
    const qiwa::SongList list = library.list(qiwa::LibraryList::favourites);
    std::size_t bytes = 0;
    for (std::size_t row = 0; row < 40; ++row)
      bytes += list.cell(row, qiwa::Cell::title).size() + list.cell(row, qiwa::Cell::singer).size();
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_LibraryList10000)->Unit(benchmark::kMillisecond);

// One batched write of that library: the snapshot and the whole file put in place.
void BM_LibraryWrite10000(benchmark::State& state) {
  LibraryScene scene;
  qiwa::Library library(scene.files, scene.clock, scene.path);
  library.load();
  for (auto _ : state) {
    scene.clock.advance(1000);
    library.played(qiwa::LibrarySong{"kugou", {"x", "x", "x", "t", "s", "a"}, ""});
    benchmark::DoNotOptimize(library.flush(scene.clock.now_ms()));
  }
}
BENCHMARK(BM_LibraryWrite10000)->Unit(benchmark::kMillisecond);
// The loudness of a 4-minute stereo 44.1 kHz song, fed as a decoder gives it (1152 frames a piece), on
// one thread. x_real_time: seconds of song measured per second (the goal is 100 or more).
void BM_LoudnessFourMinutes(benchmark::State& state) {
  constexpr int kRate = 44100, kSeconds = 10, kRepeats = 24;  // 10 s of sound fed 24 times
  std::vector<unsigned char> pcm;
  std::uint32_t noise = 1;
  for (int i = 0; i < kRate * kSeconds; ++i) {
    const double t = static_cast<double>(i) / kRate, swell = 0.6 + 0.4 * std::sin(2 * 3.14159265 * 0.5 * t);
    for (int c = 0; c < 2; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double v = swell * (0.3 * std::sin(2 * 3.14159265 * (220 + 110 * c) * t) + 0.1 * std::sin(2 * 3.14159265 * 3000 * t)) +
                       0.05 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
      const auto s = static_cast<std::int16_t>(std::lround(v * 32767));
      pcm.push_back(static_cast<unsigned char>(s & 0xFF));
      pcm.push_back(static_cast<unsigned char>((s >> 8) & 0xFF));
    }
  }
  constexpr std::size_t kPiece = 1152 * 4;
  for (auto _ : state) {
    auto meter = qiwa::LoudnessMeter::make(kRate, 2);
    for (int r = 0; r < kRepeats; ++r)
      for (std::size_t at = 0; at < pcm.size(); at += kPiece) meter->add(pcm.data() + at, std::min(kPiece, pcm.size() - at));
    benchmark::DoNotOptimize(meter->result());
  }
  state.counters["x_real_time"] = benchmark::Counter(kSeconds * kRepeats, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoudnessFourMinutes)->Unit(benchmark::kMillisecond);
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
    std::unique_ptr<qiwa::InputFile> in = files.open_read(kSongPath);
    std::unique_ptr<qiwa::OutputFile> out = files.create_new(kSongPath + ".copy");
    for (std::uint64_t at = 0;;) {
      const std::size_t n = in->read(at, piece.data(), piece.size());
      if (n == 0) break;
      out->write(piece.data(), n);
      at += n;
    }
    out->flush();
    out->close();
    in.reset();
    files.replace_with(kSongPath + ".copy", kSongPath);
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
