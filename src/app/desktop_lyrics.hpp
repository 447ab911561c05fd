#pragma once
// The desktop lyrics' arithmetic: at a moment of the song, which line is sung, which comes next, how
// far the sung one is filled (karaoke style, by the time between its tag and the next), and when the
// picture next changes, so that a timer runs only while it does: at most 30 pictures a second, none
// while a line is held full or the song is paused.
#include <cstdint>
#include <optional>
#include <vector>

#include "app/desktop_lyrics_window.hpp"
#include "music/lyrics.hpp"
#include "runtime/player.hpp"

namespace qiwa {

inline constexpr std::int64_t kNudgeStepMs = 500;   // one click of earlier or later
inline constexpr std::int64_t kNudgeLimitMs = 60000;
inline constexpr int kFrameMs = 34;                 // 30 pictures a second at most

class DesktopLyrics {
 public:
  // A line is filled over the time to the next tag, but over no more than this per word or CJK
  // character (and 2 s at least): a line before an instrumental part is sung, then held full.
  static constexpr std::int64_t kFillMsPerWord = 600;
  static constexpr std::int64_t kMinFillMs = 2000;

  DesktopLyrics() = default;  // between songs: nothing shown
  // A song's lyrics as the lyrics box has them. A line's translation is the line of `translation`
  // tagged at its time, or else the lines tagged at the same time after it (as files that carry their
  // translation inline have it). Without tagged lines the title and singer show instead.
  DesktopLyrics(const Lyrics& lyrics, Text title, Text singer, const Lyrics* translation = nullptr);

  // The picture `position_ms` into the song, the lines moved `nudge_ms` sooner (later when negative).
  DesktopPicture picture(std::int64_t position_ms, std::int64_t nudge_ms) const;
  // After how many ms of playing the picture next changes, the current line drawn `line_width_px`
  // wide (the fill moves a pixel, or another line comes): at least kFrameMs; none when it never will.
  std::optional<std::int64_t> next_change_in(std::int64_t position_ms, std::int64_t nudge_ms, int line_width_px) const;

 private:
  struct Span {
    std::int64_t start = 0;
    std::int64_t full = 0;  // filled by then
    std::optional<std::int64_t> end;  // the next tag; none for the last
  };
  int cue_at(std::int64_t ms) const;  // the last cue at or before it, -1 before the first
  Span span(int cue) const;
  Text next_line(int cue) const;

  std::vector<Text> lines_;
  std::vector<LyricCue> cues_;
  std::vector<Text> translations_;  // one per cue
  Text title_;
  Text singer_;
};

// Keeps the window's picture in step with the player, on the window's thread: draws when the song,
// its state or the nudge changes and on the window's one-shot timer, planned for the picture's next
// change while the song plays.
class DesktopLyricsFollower {
 public:
  // The window outlives the follower: its timer calls back into it until the follower goes.
  DesktopLyricsFollower(DesktopLyricsWindow& window, Player& player) : window_(window), player_(player) {}
  ~DesktopLyricsFollower() { window_.stop_timer(); }
  DesktopLyricsFollower(const DesktopLyricsFollower&) = delete;
  DesktopLyricsFollower& operator=(const DesktopLyricsFollower&) = delete;

  void set_enabled(bool on);  // the user turned the desktop lyrics on or off
  bool enabled() const { return enabled_; }
  // A song begins (playing) with its lines and the nudge remembered for it; a default DesktopLyrics
  // between songs.
  void follow(DesktopLyrics lyrics, std::int64_t nudge_ms = 0);
  void set_playing(bool playing);  // paused or continued
  void seeked() { refresh(); }     // the position jumped
  // The song's lines moved this much sooner (later when negative), kept within kNudgeLimitMs.
  void set_nudge_ms(std::int64_t ms);
  std::int64_t nudge_ms() const { return nudge_ms_; }
  void set_show_translation(bool show);  // off until the user asks for it
  void set_locked(bool locked) { window_.set_locked(locked); }
  void refresh();

 private:
  DesktopLyricsWindow& window_;
  Player& player_;
  DesktopLyrics lyrics_;
  std::int64_t nudge_ms_ = 0;
  bool enabled_ = false;
  bool playing_ = false;
  bool show_translation_ = false;
};

}  // namespace qiwa
