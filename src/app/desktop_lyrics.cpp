#include "app/desktop_lyrics.hpp"

#include <algorithm>
#include <climits>

#include "runtime/utf.hpp"

namespace qiwa {
namespace {

constexpr std::int64_t kTranslationSlackMs = 300;  // a translation's tag may be this far off its line's

std::vector<Text> split_lines(std::string_view text) {
  std::vector<Text> out;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    out.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Words of the line, each CJK character counting as one: what its singing takes roughly in proportion.
std::int64_t words(std::string_view line) {
  std::int64_t count = 0;
  bool in_word = false;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t n = std::max<std::size_t>(1, utf8_length_at(line, i));
    const auto lead = static_cast<unsigned char>(line[i]);
    const bool ideograph = n >= 3 && (lead >= 0xE3 || (lead == 0xE2 && static_cast<unsigned char>(line[i + 1]) >= 0xBA));
    if (ideograph) {
      ++count;
      in_word = false;
    } else if (is_space(line[i])) {
      in_word = false;
    } else if (!in_word) {
      ++count;
      in_word = true;
    }
    i += n;
  }
  return count;
}

Text trimmed(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s == "//" ? Text() : Text(s);  // "//": the service's mark of a line left untranslated
}

// The line of `lyrics` tagged nearest to `ms`, within the slack; empty when none is.
Text line_tagged_near(const Lyrics& lyrics, const std::vector<Text>& lines, std::int64_t ms) {
  const LyricCue* best = nullptr;
  for (const LyricCue& c : lyrics.cues) {
    const std::int64_t off = c.ms > ms ? c.ms - ms : ms - c.ms;
    if (off <= kTranslationSlackMs && (!best || off < (best->ms > ms ? best->ms - ms : ms - best->ms))) best = &c;
  }
  return best && best->line < static_cast<int>(lines.size()) ? trimmed(lines[static_cast<std::size_t>(best->line)]) : Text();
}

}  // namespace

DesktopLyrics::DesktopLyrics(const Lyrics& lyrics, Text title, Text singer, const Lyrics* translation)
    : lines_(split_lines(lyrics.lines)), title_(std::move(title)), singer_(std::move(singer)) {
  for (const LyricCue& c : lyrics.cues)
    if (c.line >= 0 && c.line < static_cast<int>(lines_.size())) cues_.push_back(c);
  const std::vector<Text> translated = translation ? split_lines(translation->lines) : std::vector<Text>{};
  translations_.resize(cues_.size());
  for (std::size_t i = 0; i < cues_.size(); ++i) {
    if (translation) {
      translations_[i] = line_tagged_near(*translation, translated, cues_[i].ms);
      continue;
    }
    for (std::size_t j = i + 1; j < cues_.size() && cues_[j].ms == cues_[i].ms; ++j) {
      const Text more = trimmed(lines_[static_cast<std::size_t>(cues_[j].line)]);
      if (more.empty()) continue;
      if (!translations_[i].empty()) translations_[i] += ' ';
      translations_[i] += more;
    }
  }
}

// Of several lines tagged at one time, the first is sung and the others are its translation.
int DesktopLyrics::cue_at(std::int64_t ms) const {
  auto after = std::upper_bound(cues_.begin(), cues_.end(), ms, [](std::int64_t t, const LyricCue& c) { return t < c.ms; });
  if (after == cues_.begin()) return -1;
  const std::int64_t at = std::prev(after)->ms;
  auto first = std::lower_bound(cues_.begin(), after, at, [](const LyricCue& c, std::int64_t t) { return c.ms < t; });
  return static_cast<int>(first - cues_.begin());
}

DesktopLyrics::Span DesktopLyrics::span(int cue) const {
  Span s;
  s.start = cues_[static_cast<std::size_t>(cue)].ms;
  for (std::size_t j = static_cast<std::size_t>(cue) + 1; j < cues_.size() && !s.end; ++j)
    if (cues_[j].ms > s.start) s.end = cues_[j].ms;
  const std::int64_t n = words(lines_[static_cast<std::size_t>(cues_[static_cast<std::size_t>(cue)].line)]);
  const std::int64_t sung = n == 0 ? 0 : std::max(kMinFillMs, n * kFillMsPerWord);
  s.full = s.start + (s.end ? std::min(sung, *s.end - s.start) : sung);
  return s;
}

// The next line sung after those tagged at the cue's time; empty lines (pauses) are passed over.
Text DesktopLyrics::next_line(int cue) const {
  const std::int64_t at = cues_[static_cast<std::size_t>(cue)].ms;
  for (std::size_t j = static_cast<std::size_t>(cue) + 1; j < cues_.size(); ++j) {
    if (cues_[j].ms == at) continue;
    Text line = trimmed(lines_[static_cast<std::size_t>(cues_[j].line)]);
    if (!line.empty()) return line;
  }
  return {};
}

DesktopPicture DesktopLyrics::picture(std::int64_t position_ms, std::int64_t nudge_ms) const {
  if (cues_.empty()) return {title_, singer_, {}, 0};
  const std::int64_t t = position_ms + nudge_ms;
  const int cue = cue_at(t);
  if (cue < 0) {  // the intro: who sings, and the first line coming
    const Text first = trimmed(lines_[static_cast<std::size_t>(cues_[0].line)]);
    return {singer_.empty() ? title_ : title_ + " - " + singer_, first.empty() ? next_line(0) : first, {}, 0};
  }
  const Span s = span(cue);
  DesktopPicture p{trimmed(lines_[static_cast<std::size_t>(cues_[static_cast<std::size_t>(cue)].line)]), next_line(cue),
                   translations_[static_cast<std::size_t>(cue)], 0};
  if (!p.current.empty())
    p.fill = s.full > s.start ? std::clamp(static_cast<double>(t - s.start) / static_cast<double>(s.full - s.start), 0.0, 1.0) : 1.0;
  return p;
}

std::optional<std::int64_t> DesktopLyrics::next_change_in(std::int64_t position_ms, std::int64_t nudge_ms,
                                                          int line_width_px) const {
  if (cues_.empty()) return std::nullopt;
  const std::int64_t t = position_ms + nudge_ms;
  const int cue = cue_at(t);
  std::optional<std::int64_t> change;
  if (cue < 0) {
    change = cues_[0].ms - t;
  } else {
    const Span s = span(cue);
    if (s.end) change = *s.end - t;
    const bool filling = t < s.full && !trimmed(lines_[static_cast<std::size_t>(cues_[static_cast<std::size_t>(cue)].line)]).empty();
    if (filling) {  // when the fill reaches its next pixel
      const std::int64_t width = std::max(1, line_width_px), length = s.full - s.start;
      const std::int64_t drawn = (t - s.start) * width / length;
      const std::int64_t step = s.start + ((drawn + 1) * length + width - 1) / width - t;
      change = change ? std::min(*change, step) : step;
    }
  }
  if (!change) return std::nullopt;
  return std::max<std::int64_t>(*change, kFrameMs);
}

void DesktopLyricsFollower::set_enabled(bool on) {
  enabled_ = on;
  window_.set_visible(on);
  if (on) refresh();
  else window_.stop_timer();
}

void DesktopLyricsFollower::follow(DesktopLyrics lyrics, std::int64_t nudge_ms) {
  lyrics_ = std::move(lyrics);
  nudge_ms_ = std::clamp(nudge_ms, -kNudgeLimitMs, kNudgeLimitMs);
  playing_ = true;
  refresh();
}

void DesktopLyricsFollower::set_playing(bool playing) {
  playing_ = playing;
  refresh();
}

std::int64_t DesktopLyricsFollower::nudge(std::int64_t delta_ms) {
  nudge_ms_ = std::clamp(nudge_ms_ + delta_ms, -kNudgeLimitMs, kNudgeLimitMs);
  refresh();
  return nudge_ms_;
}

void DesktopLyricsFollower::set_show_translation(bool show) {
  show_translation_ = show;
  refresh();
}

// Draws what the song shows now and plans the next drawing; off or paused, no timer waits.
void DesktopLyricsFollower::refresh() {
  if (!enabled_) return;
  const std::int64_t at = player_.position_ms();
  DesktopPicture picture = lyrics_.picture(at, nudge_ms_);
  if (!show_translation_) picture.translation.clear();
  window_.show(picture);
  const std::optional<std::int64_t> next = playing_ ? lyrics_.next_change_in(at, nudge_ms_, window_.line_width_px()) : std::nullopt;
  if (next) window_.start_timer(static_cast<int>(std::min<std::int64_t>(*next, INT_MAX)), [this] { refresh(); });
  else window_.stop_timer();
}

}  // namespace qiwa
