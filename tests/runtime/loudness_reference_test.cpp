// The meter against a reference of Debian's, ffmpeg's ebur128 filter, on WAV and MP3 files that sox and
// lame make here: mono and stereo, 11 to 48 kHz, quiet and loud, one with silence the gates drop. The
// MP3s reach the meter decoded by lame and ffmpeg by its own decoder, as two players would hear them.
// sox makes the same noise at every run (-R).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "runtime/loudness.hpp"

namespace qiwa {
namespace {

namespace fs = std::filesystem;

bool installed(const char* tool) { return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0; }

struct Case {
  const char* name;
  const char* format;     // sox's: rate and channels
  const char* effects;    // sox's: what it plays
  const char* lame = "";  // lame's options, when the file is to be an MP3
};

class LoudnessReference : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    for (const char* tool : {"ffmpeg", "sox", "soxi", "lame"})
      if (!installed(tool)) GTEST_SKIP() << tool << " is missing: the reference needs it (tools/packages.txt lists it)";
    char dir[] = "/tmp/qiwa-loudness-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  static void run(const std::string& command) { ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command; }

  static std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4099];
      for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
      pclose(pipe);
    }
    return out;
  }

  // The last value ffmpeg gives of each of its figures ("I", "sample_peak", "true_peak"), from its metadata.
  static std::map<std::string, double> reference(const std::string& file) {
    const std::string log = file + ".r128";
    run("ffmpeg -nostdin -hide_banner -i " + file +
        " -af ebur128=peak=sample+true:metadata=1,ametadata=mode=print:file=" + log + " -f null -");
    std::ifstream in(log);
    std::map<std::string, double> values;
    const std::string prefix = "lavfi.r128.";
    for (std::string line; std::getline(in, line);) {
      const std::size_t equals = line.find('=');
      if (line.rfind(prefix, 0) == 0 && equals != std::string::npos)
        values[line.substr(prefix.size(), equals - prefix.size())] = std::stod(line.substr(equals + 1));
    }
    return values;
  }

  // Our meter over the file's PCM as sox streams it, in the pieces a pipe gives.
  static Loudness ours(const std::string& wav) {
    const int rate = std::stoi(output_of("soxi -r " + wav));
    const int channels = std::stoi(output_of("soxi -c " + wav));
    auto meter = LoudnessMeter::make(rate, channels);
    EXPECT_TRUE(meter.has_value()) << rate << " Hz, " << channels << " channels";
    if (!meter) return {};
    FILE* pipe = popen(("sox " + wav + " -t raw -e signed-integer -b 16 -L -").c_str(), "r");
    unsigned char buffer[4099];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) meter->add(buffer, n);
    EXPECT_EQ(pclose(pipe), 0);
    return meter->result();
  }

  std::string dir_;
};

TEST_P(LoudnessReference, WithinATenthOfALoudnessUnitOfFfmpeg) {
  const Case& c = GetParam();
  const std::string wav = dir_ + "/song.wav", mp3 = dir_ + "/song.mp3", decoded = dir_ + "/decoded.wav";
  run(std::string("sox -R -n -b 16 ") + c.format + " " + wav + " " + c.effects);
  std::string measured = wav, heard = wav;
  if (*c.lame) {
    run(std::string("lame --quiet ") + c.lame + " " + wav + " " + mp3);
    run("lame --quiet --decode " + mp3 + " " + decoded);
    measured = mp3;
    heard = decoded;
  }
  const Loudness l = ours(heard);
  ASSERT_TRUE(l.integrated_lufs.has_value());
  std::map<std::string, double> r = reference(measured);
  ASSERT_TRUE(r.count("I") && r.count("sample_peak") && r.count("true_peak")) << "ffmpeg gave no figures";
  EXPECT_NEAR(*l.integrated_lufs, r["I"], 0.1);
  EXPECT_NEAR(l.sample_peak, r["sample_peak"], 0.002);
  // ffmpeg gives its peaks to three places (a tenth of a decibel at 0.03), and oversamples through a
  // longer filter than BS.1770's 12 taps a phase, which reads a little lower near the top of the band.
  EXPECT_NEAR(l.true_peak, r["true_peak"], 0.002 + r["true_peak"] * 0.06);
  std::printf("%s: %.3f LUFS here, %.3f by ffmpeg\n", c.name, *l.integrated_lufs, r["I"]);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoudnessReference,
    ::testing::Values(Case{"StereoMid44k", "-r 44100 -c 2", "synth 12 pinknoise vol 0.25 tremolo 2 50"},
                      Case{"MonoQuiet48k", "-r 48000 -c 1", "synth 10 pinknoise vol 0.004"},
                      Case{"StereoLoud48k", "-r 48000 -c 2", "synth 10 pinknoise tremolo 4 40 compand 0.005,0.05 -60,-10,0,-1 gain -n -0.1"},
                      Case{"SilenceGatedOut44k", "-r 44100 -c 2", "synth 4 sine 440 vol 0.3 pad 3 5"},
                      Case{"StereoMp344k", "-r 44100 -c 2", "synth 10 pinknoise vol 0.3 tremolo 3 60", "-b 128"},
                      Case{"MonoMp322k", "-r 22050 -c 1", "synth 8 pinknoise vol 0.2", "-b 48"},
                      Case{"MonoMp311k", "-r 11025 -c 1", "synth 8 sine 300 vol 0.5 tremolo 2 80", "-b 24"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qiwa
