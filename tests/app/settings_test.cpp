// The settings file: what a restart reads back, what a hostile or hand-edited file gives, a newer
// version's keys, and two copies of the program changing different settings.
#include "app/settings.hpp"
#include "app/stores.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_files.hpp"
#include "fakes/fake_platform.hpp"

namespace qiwa {
namespace {

const Text kPath = "C:\\Qiwa\\QiwaMusic.ini";

struct SettingsFile : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakeClock clock;

  std::unique_ptr<Settings> open() {
    auto s = std::make_unique<Settings>(files, clock, kPath, "127.0.0.1:8765");
    s->load();
    return s;
  }
};

TEST_F(SettingsFile, EverySettingComesBackAfterARestart) {
  auto s = open();
  EXPECT_EQ(s->volume(), 100);
  EXPECT_EQ(s->play_mode(), PlayMode::in_order);
  EXPECT_EQ(s->catalogue(), -1);
  EXPECT_EQ(s->window_place(), std::nullopt);
  EXPECT_EQ(s->playing(), std::nullopt);
  EXPECT_EQ(s->service(), "127.0.0.1:8765");
  EXPECT_EQ(s->quality_kbps(), 320);
  EXPECT_EQ(s->name_pattern(), NamePattern::title);
  EXPECT_FALSE(s->save_lrc() || s->level_loudness() || s->close_to_tray() || s->desktop_lyrics().on);

  const PlayingPlace playing{{"kugou", {"u\t1", "p", "l", "晴天\n", "周杰伦", "叶惠美"}, "C:\\Qiwa\\晴天.mp3"}, 83'500};
  const DesktopLyricsPlace lyrics{10, 900, 800, 120, 40, true, true};
  s->set_volume(35);
  s->set_play_mode(PlayMode::shuffle);
  s->set_catalogue(2);
  s->set_window_place({-1900, 40, 900, 640, true});
  s->set_playing(playing);
  s->set_desktop_lyrics(lyrics);
  s->set_download_folder("D:\\音乐\\");
  s->set_name_pattern(NamePattern::singer_title);
  s->set_save_lrc(true);
  s->set_service("music.example:8080");
  s->set_quality_kbps(192);
  s->set_level_loudness(true);
  s->set_close_to_tray(true);
  ASSERT_TRUE(s->flush(0));

  s = open();
  EXPECT_EQ(s->volume(), 35);
  EXPECT_EQ(s->play_mode(), PlayMode::shuffle);
  EXPECT_EQ(s->catalogue(), 2);
  EXPECT_EQ(s->window_place(), (WindowPlace{-1900, 40, 900, 640, true}));
  EXPECT_EQ(s->playing(), playing);
  EXPECT_EQ(s->desktop_lyrics(), lyrics);
  EXPECT_EQ(s->download_folder(), "D:\\音乐");
  EXPECT_EQ(s->name_pattern(), NamePattern::singer_title);
  EXPECT_TRUE(s->save_lrc() && s->level_loudness() && s->close_to_tray());
  EXPECT_EQ(s->service(), "music.example:8080");
  EXPECT_EQ(s->quality_kbps(), 192);
  s->set_playing(std::nullopt);
  EXPECT_EQ(s->playing(), std::nullopt);
  EXPECT_EQ(s->take_message(), "");
}

TEST_F(SettingsFile, HostileValuesGiveDefaultsOrTheNearestSaneValue) {
  files.put(kPath,
            "volume=250\nplay_mode=sideways\ncatalogue=nowhere\nwindow.x=99999999999999999999\nwindow.y=-40000\n"
            "window.width=1\nwindow.height=90000\nquality_kbps=-5\nservice=evil host/\\r\\n\n"
            "download_folder=C:\\\\a\\nb\nsave_lrc=maybe\ndesktop_lyrics.font_px=100000\nplaying.position_ms=-7\n"
            "playing.url_id=x\n");
  auto s = open();
  EXPECT_EQ(s->take_message(), "");  // well-formed lines, only odd values
  EXPECT_EQ(s->volume(), 100);
  EXPECT_EQ(s->play_mode(), PlayMode::in_order);
  EXPECT_EQ(s->catalogue(), -1);
  EXPECT_EQ(s->window_place(), (WindowPlace{0, -Settings::kMaxCoordinate, Settings::kMinWidth, Settings::kMaxSide, false}));
  EXPECT_EQ(s->quality_kbps(), 128);
  EXPECT_EQ(s->service(), "127.0.0.1:8765");
  EXPECT_EQ(s->download_folder(), "");
  EXPECT_FALSE(s->save_lrc());
  EXPECT_EQ(s->desktop_lyrics().font_px, 200);
  EXPECT_EQ(s->playing()->position_ms, 0);
}

TEST_F(SettingsFile, AHandEditedFileIsReadAsAPersonWroteIt) {
  files.put(kPath, "\xEF\xBB\xBF# mine\r\n\r\n volume = 40 \r\nclose_to_tray=yes\r\n");
  auto s = open();
  EXPECT_EQ(s->volume(), 40);
  EXPECT_TRUE(s->close_to_tray());
  EXPECT_EQ(s->take_message(), "");
}

TEST_F(SettingsFile, ADamagedFileIsSetAsideAndItsGoodLinesKept) {
  files.put(kPath, "volume=30\n\x01\x02garbage without equals\nplay_mode=repeat-one\nbad key=1\n\xC3=x\n");
  auto s = open();
  EXPECT_NE(s->take_message().find("QiwaMusic.ini.broken-"), Text::npos);
  EXPECT_EQ(s->volume(), 30);
  EXPECT_EQ(s->play_mode(), PlayMode::repeat_one);
  EXPECT_TRUE(s->flush(0));
  EXPECT_EQ(open()->take_message(), "");
}

TEST_F(SettingsFile, ANewerVersionsKeysAreKeptAndWrittenBack) {
  files.put(kPath, "theme=dark\nequalizer.bands=1\\t2\\t3\nvolume=10\n");
  auto s = open();
  s->set_volume(20);
  ASSERT_TRUE(s->flush(0));
  s = open();
  EXPECT_EQ(s->value("theme"), "dark");
  EXPECT_EQ(s->value("equalizer.bands"), "1\t2\t3");
  EXPECT_EQ(s->volume(), 20);
}

TEST_F(SettingsFile, TwoCopiesKeepEachOthersChanges) {
  auto a = open(), b = open();
  a->set_volume(10);
  b->set_play_mode(PlayMode::repeat_list);
  ASSERT_TRUE(a->flush(0));
  ASSERT_TRUE(b->flush(0));  // b merges a's volume: it changed only the mode
  EXPECT_EQ(b->volume(), 10);
  a->set_catalogue(1);
  ASSERT_TRUE(a->flush(1000));  // a takes in b's mode and keeps its own changes
  auto c = open();
  EXPECT_EQ(c->volume(), 10);
  EXPECT_EQ(c->play_mode(), PlayMode::repeat_list);
  EXPECT_EQ(c->catalogue(), 1);
}

TEST_F(SettingsFile, AKilledWriteLeavesTheOldSettingsOrTheNew) {
  {
    auto s = open();
    s->set_volume(10);
    ASSERT_TRUE(s->flush(0));
  }
  for (std::size_t crash = 1; crash < 10; ++crash) {
    {
      auto s = open();
      s->set_volume(11);
      s->set_service("other:1");
      files.crash_at_step(crash, 16);
      s->flush(0);
    }
    files.restart();
    auto s = open();
    EXPECT_EQ(s->take_message(), "");
    EXPECT_TRUE((s->volume() == 10 && s->service() != "other:1") || (s->volume() == 11 && s->service() == "other:1"));
    s->set_volume(10);
    s->set_service("127.0.0.1:8765");
    s->flush(0);
    ASSERT_FALSE(s->dirty());
  }
}

TEST(WindowPlaceOnScreens, AWindowOffEveryScreenComesBackWhole) {
  const ScreenRect screens[] = {{0, 0, 1920, 1040}, {1920, 0, 3200, 984}};
  EXPECT_EQ(fit_on_screens({100, 100, 800, 600, false}, screens), (WindowPlace{100, 100, 800, 600, false}));
  // Mostly on the second screen: kept there, moved in.
  EXPECT_EQ(fit_on_screens({2800, 500, 800, 600, false}, screens), (WindowPlace{2400, 384, 800, 600, false}));
  // On a screen that is gone: the first one.
  EXPECT_EQ(fit_on_screens({-3000, 100, 800, 600, true}, screens), (WindowPlace{0, 100, 800, 600, true}));
  // Larger than its screen: shrunk to it.
  EXPECT_EQ(fit_on_screens({1900, -50, 4000, 3000, false}, screens), (WindowPlace{1920, 0, 1280, 984, false}));
  EXPECT_EQ(fit_on_screens({5, 5, 10, 10, false}, {}), (WindowPlace{5, 5, 10, 10, false}));
}

// Both stores of a program whose folder is read-only: under the application data folder, and what went
// wrong with each file said in one line.
TEST(Stores, BothFilesInOneFolderAndOneLineForTheTitle) {
  fakes::FakePlatform fake;
  fake.files.refuse("C:\\Qiwa\\");
  fake.files.put("C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐\\QiwaMusic.ini", "\x01");
  fake.files.make_directories("C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐");
  fake.files.put("C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐\\QiwaMusic.library.txt", "garbage");
  std::unique_ptr<Stores> stores = open_stores(fake.platform(), "h:1");
  EXPECT_EQ(stores->library.path(), "C:\\Users\\Qiwa\\AppData\\Roaming\\Qiwa音乐\\QiwaMusic.library.txt");
  stores->settings.load();
  stores->library.load();
  const Text message = stores->take_message();
  EXPECT_NE(message.find("设置文件有损坏"), Text::npos) << message;
  EXPECT_NE(message.find("；曲库文件有损坏"), Text::npos) << message;
  EXPECT_EQ(message.find('\n'), Text::npos);
  EXPECT_TRUE(stores->dirty());
  stores->flush(0);
  EXPECT_FALSE(stores->dirty());
}

}  // namespace
}  // namespace qiwa
