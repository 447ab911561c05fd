#include "music/lrc.hpp"

#include <algorithm>

#include "runtime/text.hpp"

namespace qiwa {
namespace {

// The lines of the lyrics box, which ends each with CR LF.
std::vector<std::string_view> box_lines(std::string_view lines) {
  std::vector<std::string_view> out;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
  }
  return out;
}

Text two_digits(std::int64_t n) {
  return (n < 10 ? "0" : "") + to_text(static_cast<long long>(n));
}

}  // namespace

std::vector<TimedText> timed_lines(const Lyrics& lyrics) {
  const std::vector<std::string_view> lines = box_lines(lyrics.lines);
  std::vector<TimedText> out;
  for (const LyricCue& cue : lyrics.cues) {
    if (cue.line < 0 || static_cast<std::size_t>(cue.line) >= lines.size()) continue;
    const std::int64_t ms = std::clamp<std::int64_t>(cue.ms, 0, 0xFFFFFFFF);
    out.push_back({static_cast<std::uint32_t>(ms), Text(lines[static_cast<std::size_t>(cue.line)])});
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const TimedText& a, const TimedText& b) { return a.ms < b.ms; });
  return out;
}

Lyrics lyrics_of_tag(const SongTag& tag) {
  Lyrics out;
  if (tag.lyrics.empty()) {
    for (const TimedText& timed : tag.timed_lyrics) {
      out.cues.push_back({timed.ms, static_cast<int>(out.cues.size())});
      out.lines += timed.text + "\r\n";
    }
    return out;
  }
  const std::vector<std::string_view> lines = box_lines(tag.lyrics);
  for (std::string_view line : lines) out.lines.append(line).append("\r\n");
  std::size_t next = 0;
  for (const TimedText& timed : tag.timed_lyrics) {
    auto found = std::find(lines.begin() + static_cast<std::ptrdiff_t>(next), lines.end(), timed.text);
    if (found == lines.end()) found = std::find(lines.begin(), lines.end(), timed.text);
    if (found == lines.end()) continue;
    out.cues.push_back({timed.ms, static_cast<int>(found - lines.begin())});
    next = static_cast<std::size_t>(found - lines.begin()) + 1;
  }
  return out;
}

Text lrc_text(const Lyrics& lyrics) {
  const std::vector<TimedText> timed = timed_lines(lyrics);
  if (timed.empty() && lyrics.lines.empty()) return {};
  Text out = "\xEF\xBB\xBF";
  if (timed.empty()) {
    for (std::string_view line : box_lines(lyrics.lines)) out.append(line).append("\r\n");
    return out;
  }
  for (const TimedText& line : timed) {
    const std::int64_t centis = line.ms / 10;
    out += "[" + two_digits(centis / 6000) + ":" + two_digits(centis / 100 % 60) + "." +
           two_digits(centis % 100) + "]" + line.text + "\r\n";
  }
  return out;
}

}  // namespace qiwa
