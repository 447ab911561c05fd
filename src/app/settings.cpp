#include "app/settings.hpp"

#include <algorithm>
#include <charconv>

#include "music/catalogue.hpp"
#include "runtime/text.hpp"
#include "runtime/utf.hpp"
#include "text/fields.hpp"

namespace qiwa {
namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr std::size_t kMaxSettingsBytes = 1u << 20;
constexpr std::string_view kModes[] = {"in-order", "repeat-list", "repeat-one", "shuffle"};
constexpr std::string_view kPatterns[] = {"title", "singer-title", "title-singer"};
constexpr std::string_view kPlayingFields[] = {"source", "url_id", "pic_id", "lyric_id", "title", "singer", "album", "path"};

bool is_key(std::string_view key) {
  return !key.empty() && key.size() <= 100 && std::all_of(key.begin(), key.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
                  c == '-';
         });
}

bool plain_text(std::string_view s) {
  return is_valid_utf8(s) && std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool is_host(std::string_view s) {
  return !s.empty() && s.size() <= 255 && std::all_of(s.begin(), s.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                  c == ':' || c == '[' || c == ']' || c == '_';
         });
}

template <std::size_t N>
std::size_t index_of(const std::string_view (&names)[N], const std::optional<Text>& value, std::size_t fallback) {
  for (std::size_t i = 0; value && i < N; ++i)
    if (*value == names[i]) return i;
  return fallback;
}

// key=value lines into the map; false when a line is no such line.
bool read_lines(std::string_view bytes, std::map<Text, Text, std::less<>>& out) {
  bool sound = true;
  LineReader lines(bytes);
  std::string_view line;
  bool ended = true;
  while (lines.next(line, ended)) {
    const std::size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || line.find_first_not_of(" \t") == std::string_view::npos) continue;
    const Text key = equals == std::string_view::npos ? Text() : trim(line.substr(0, equals));
    std::optional<Text> value = is_key(key) && is_valid_utf8(line) ? unescaped(line.substr(equals + 1)) : std::nullopt;
    if (!value) {
      sound = false;
      continue;
    }
    out[key] = std::move(*value);
  }
  return sound && ended;
}

}  // namespace

WindowPlace fit_on_screens(WindowPlace place, std::span<const ScreenRect> work_areas) {
  if (work_areas.empty()) return place;
  const ScreenRect* best = &work_areas[0];
  long long best_overlap = 0;
  for (const ScreenRect& area : work_areas) {
    const long long w = std::min<long long>(area.right, 0LL + place.x + place.width) - std::max(area.left, place.x);
    const long long h = std::min<long long>(area.bottom, 0LL + place.y + place.height) - std::max(area.top, place.y);
    if (w > 0 && h > 0 && w * h > best_overlap) {
      best_overlap = w * h;
      best = &area;
    }
  }
  place.width = std::max(1, std::min(place.width, best->right - best->left));
  place.height = std::max(1, std::min(place.height, best->bottom - best->top));
  place.x = std::clamp(place.x, best->left, std::max(best->left, best->right - place.width));
  place.y = std::clamp(place.y, best->top, std::max(best->top, best->bottom - place.height));
  return place;
}

Settings::Settings(Files& files, Clock& clock, Text path, Text default_service)
    : Store(files, clock, std::move(path), kMaxSettingsBytes, "设置"), default_service_(std::move(default_service)) {}

std::optional<Text> Settings::get(std::string_view key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::nullopt : std::optional<Text>(it->second);
}

std::optional<Text> Settings::value(std::string_view key) const {
  Lock lock(mutex_);
  return get(key);
}

void Settings::set_value(std::string_view key, std::string_view value) {
  if (!is_key(key)) return;
  Lock lock(mutex_);
  auto it = values_.find(key);
  if (it != values_.end() && it->second == value) return;
  values_[Text(key)] = Text(value);
  changed_.insert(Text(key));
  changed();
}

int Settings::number(std::string_view key, int low, int high, int fallback) const {
  Lock lock(mutex_);
  const std::optional<Text> text = get(key);
  if (!text) return fallback;
  const Text digits = trim(*text);
  long long n = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return fallback;
  return static_cast<int>(std::clamp<long long>(n, low, high));
}

bool Settings::flag(std::string_view key, bool fallback) const {
  Lock lock(mutex_);
  const std::optional<Text> text = get(key);
  if (!text) return fallback;
  const Text v = trim(*text);
  if (v == "1" || v == "true" || v == "on" || v == "yes") return true;
  if (v == "0" || v == "false" || v == "off" || v == "no") return false;
  return fallback;
}

int Settings::volume() const { return number("volume", 0, 100, 100); }
void Settings::set_volume(int volume) { set_number("volume", std::clamp(volume, 0, 100)); }

PlayMode Settings::play_mode() const { return static_cast<PlayMode>(index_of(kModes, value("play_mode"), 0)); }
void Settings::set_play_mode(PlayMode mode) { set_value("play_mode", kModes[static_cast<std::size_t>(mode)]); }

int Settings::catalogue() const {
  const std::optional<Text> source = value("catalogue");
  const auto all = catalogues();
  for (std::size_t i = 0; source && i < all.size(); ++i)
    if (*source == all[i].source) return static_cast<int>(i);
  return -1;
}
void Settings::set_catalogue(int index) {
  const Catalogue* c = catalogue_at(index);
  set_value("catalogue", c ? c->source : "");
}

std::optional<WindowPlace> Settings::window_place() const {
  if (number("window.width", 0, kMaxSide, 0) == 0 || number("window.height", 0, kMaxSide, 0) == 0) return std::nullopt;
  return WindowPlace{number("window.x", -kMaxCoordinate, kMaxCoordinate, 0),
                     number("window.y", -kMaxCoordinate, kMaxCoordinate, 0),
                     number("window.width", kMinWidth, kMaxSide, kMinWidth),
                     number("window.height", kMinHeight, kMaxSide, kMinHeight), flag("window.maximized", false)};
}
void Settings::set_window_place(const WindowPlace& p) {
  set_number("window.x", p.x);
  set_number("window.y", p.y);
  set_number("window.width", p.width);
  set_number("window.height", p.height);
  set_flag("window.maximized", p.maximized);
}

std::optional<PlayingPlace> Settings::playing() const {
  Text fields[std::size(kPlayingFields)];
  for (std::size_t i = 0; i < std::size(kPlayingFields); ++i)
    fields[i] = value("playing." + Text(kPlayingFields[i])).value_or("");
  if (fields[1].empty() && fields[7].empty()) return std::nullopt;
  return PlayingPlace{{fields[0], {fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]}, fields[7]},
                      number("playing.position_ms", 0, 1'000'000'000, 0)};
}
void Settings::set_playing(const std::optional<PlayingPlace>& p) {
  const LibrarySong none;
  const LibrarySong& s = p ? p->song : none;
  const std::string_view fields[] = {s.source, s.row.url_id, s.row.pic_id, s.row.lyric_id, s.row.title,
                                     s.row.singer, s.row.album, s.path};
  for (std::size_t i = 0; i < std::size(kPlayingFields); ++i) set_value("playing." + Text(kPlayingFields[i]), fields[i]);
  set_number("playing.position_ms", p ? std::max<std::int64_t>(0, p->position_ms) : 0);
}

DesktopLyricsPlace Settings::desktop_lyrics() const {
  return {number("desktop_lyrics.x", -kMaxCoordinate, kMaxCoordinate, 0),
          number("desktop_lyrics.y", -kMaxCoordinate, kMaxCoordinate, 0),
          number("desktop_lyrics.width", 0, kMaxSide, 0),
          number("desktop_lyrics.height", 0, kMaxSide, 0),
          number("desktop_lyrics.font_px", 12, 200, 36),
          flag("desktop_lyrics.on", false),
          flag("desktop_lyrics.locked", false)};
}
void Settings::set_desktop_lyrics(const DesktopLyricsPlace& p) {
  set_number("desktop_lyrics.x", p.x);
  set_number("desktop_lyrics.y", p.y);
  set_number("desktop_lyrics.width", p.width);
  set_number("desktop_lyrics.height", p.height);
  set_number("desktop_lyrics.font_px", p.font_px);
  set_flag("desktop_lyrics.on", p.on);
  set_flag("desktop_lyrics.locked", p.locked);
}

Text Settings::download_folder() const {
  Text folder = trim(value("download_folder").value_or(""));
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return plain_text(folder) && folder.size() < 32767 ? folder : Text();
}
void Settings::set_download_folder(std::string_view folder) { set_value("download_folder", folder); }

NamePattern Settings::name_pattern() const { return static_cast<NamePattern>(index_of(kPatterns, value("file_name"), 0)); }
void Settings::set_name_pattern(NamePattern p) { set_value("file_name", kPatterns[static_cast<std::size_t>(p)]); }

bool Settings::save_lrc() const { return flag("save_lrc", false); }
void Settings::set_save_lrc(bool on) { set_flag("save_lrc", on); }

Text Settings::service() const {
  const Text host = trim(value("service").value_or(""));
  return is_host(host) ? host : default_service_;
}
void Settings::set_service(std::string_view host) { set_value("service", host); }

int Settings::quality_kbps() const {
  const int kbps = number("quality_kbps", 0, 100000, 320);
  return kbps < 160 ? 128 : (kbps < 256 ? 192 : 320);
}
void Settings::set_quality_kbps(int kbps) { set_number("quality_kbps", kbps); }

bool Settings::level_loudness() const { return flag("level_loudness", false); }
void Settings::set_level_loudness(bool on) { set_flag("level_loudness", on); }
bool Settings::close_to_tray() const { return flag("close_to_tray", false); }
void Settings::set_close_to_tray(bool on) { set_flag("close_to_tray", on); }
bool Settings::auto_next() const { return flag("play.auto_next", true); }
void Settings::set_auto_next(bool on) { set_flag("play.auto_next", on); }

// Another copy's file (or this copy's at start): its values, except the keys this copy set since.
StoreRead Settings::absorb(std::string_view bytes) {
  std::map<Text, Text, std::less<>> theirs;
  const bool sound = read_lines(bytes, theirs);
  Lock lock(mutex_);
  for (auto& [key, value] : theirs)
    if (!changed_.count(key) && !writing_.count(key)) values_[key] = std::move(value);
  return {!sound, false};
}

Text Settings::encode() {
  Text out = "# Qiwa音乐 settings: one key=value a line, values \\-escaped; keys this version does not know are kept.\n";
  Lock lock(mutex_);
  take_changes();
  writing_.merge(changed_);
  changed_.clear();
  for (const auto& [key, value] : values_) out.append(key).append("=").append(escaped(value)).append("\n");
  return out;
}

void Settings::written(bool ok) {
  Lock lock(mutex_);
  if (!ok) changed_.merge(writing_);
  writing_.clear();
}

}  // namespace qiwa
