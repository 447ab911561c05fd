#pragma once
// The settings dialog's content: what it shows, read from the settings, checked as the user leaves it, and
// stored back. The dialog itself is the window's (MainWindow::edit_settings).
#include "app/settings.hpp"
#include "runtime/files.hpp"

namespace qiwa {

struct SettingsForm {
  Text download_folder;  // empty: the program's own folder
  NamePattern name_pattern = NamePattern::title;
  bool save_lrc = false;
  int quality_kbps = 320;
  bool level_loudness = false;
  bool close_to_tray = false;
  bool auto_next = true;
  Text service;  // host[:port]
  bool operator==(const SettingsForm&) const = default;
};

// The choices of the dialog's two lists, in their order.
inline constexpr const char* kNamePatternItems[] = {"歌名", "歌手 - 歌名", "歌名 - 歌手"};
inline constexpr int kQualityItems[] = {128, 192, 320};

SettingsForm read_form(const Settings& settings);
// The form made tidy (spaces trimmed; "http://host:port/" as "host:port"), or what is wrong with it in one
// line for the user: a folder that cannot be written into, an address that names no host.
struct CheckedForm {
  SettingsForm form;
  Text problem;  // empty when the form can be kept
};
CheckedForm check_form(SettingsForm form, Files& files);
// Stores what changed; true when anything did.
bool apply_form(Settings& settings, const SettingsForm& form);

}  // namespace qiwa
