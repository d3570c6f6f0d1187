// vuzizeri-verificar over movies made by ffmpeg: a good one passes, each one
// that breaks a rule is told by that rule alone, and what cannot be read or
// asked for is its own status.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "scratch_dir.h"
#include "test_runs.h"

namespace fs = std::filesystem;
using namespace test_runs;

namespace {

// 886 × 1920 at 30 frames a second for 16 s, H.264 High with stereo AAC,
// the index first: what app-store-6.9 takes. Each case changes one thing.
const std::string kVideo = "-f lavfi -i color=c=0x336699:s=886x1920:r=30:d=16";
const std::string kSound = "-f lavfi -i anullsrc=r=48000:cl=stereo";
const std::string kH264 = "-c:v libx264 -preset ultrafast -profile:v high -pix_fmt yuv420p";
const std::string kAac = "-c:a aac -b:a 256k -shortest -movflags +faststart";

struct Case {
  std::string name;
  std::string ffmpeg;            // the arguments between ffmpeg's inputs and its output
  std::set<std::string> broken;  // the rules broken; none for a good one
};

const Case kCases[] = {
    {"good.mp4", kVideo + " " + kSound + " " + kH264 + " " + kAac, {}},
    {"prores-hq.mov",
     kVideo + " " + kSound + " -c:v prores_ks -profile:v 3 -q:v 6 -c:a pcm_s16le " +
         "-shortest -movflags +faststart",
     {}},
    {"sixty.mp4",
     "-f lavfi -i color=c=0x336699:s=886x1920:r=60:d=16 " + kSound + " " + kH264 + " " + kAac,
     {"quadros", "nivel"}},  // 60 a second of this size needs level 4.2
    {"ten-seconds.mp4",
     "-f lavfi -i color=c=0x336699:s=886x1920:r=30:d=10 " + kSound + " " + kH264 + " " + kAac,
     {"duracao"}},
    {"silent.mp4", kVideo + " " + kH264 + " -movflags +faststart", {"som"}},
    {"mono.mp4", kVideo + " -f lavfi -i anullsrc=r=48000:cl=mono " + kH264 + " " + kAac, {"som"}},
    {"device-size.mp4",
     "-f lavfi -i color=c=0x336699:s=1290x2796:r=30:d=16 " + kSound + " " + kH264 + " " + kAac,
     {"tamanho", "nivel"}},  // as does this size, level 5
    {"high-rate.mp4",
     "-f lavfi -i color=c=0x336699:s=886x1920:r=30:d=16 " + kSound + " " + kH264 +
         " -b:v 20M -minrate 20M -maxrate 20M -bufsize 4M -x264-params nal-hrd=cbr " + kAac,
     {"taxa"}},
    {"level-51.mp4", kVideo + " " + kSound + " " + kH264 + " -level 5.1 " + kAac, {"nivel"}},
    {"high-444.mp4",
     kVideo + " " + kSound + " -c:v libx264 -preset ultrafast -pix_fmt yuv444p " + kAac,
     {"perfil"}},
    {"index-last.mp4", kVideo + " " + kSound + " " + kH264 + " -c:a aac -shortest", {"indice"}},
    {"prores-4444.mov",
     kVideo + " " + kSound +
         " -c:v prores_ks -profile:v 4 -q:v 6 -c:a aac -shortest -movflags +faststart",
     {"perfil"}},
    // Sound that is not silence, longer than the picture: its packets end the file.
    {"tone.mp4",
     kVideo + " -f lavfi -i sine=f=440:r=48000:d=16.5 " + kH264 +
         " -c:a aac -ac 2 -b:a 256k -movflags +faststart",
     {}},
    {"two-videos.mp4",
     kVideo + " " + kSound + " -f lavfi -i color=c=red:s=886x1920:r=30:d=16 -map 0 -map 1 -map 2 " +
         kH264 + " " + kAac,
     {"trilhas", "ativas"}},  // ffmpeg leaves the second one disabled
    {"wide-pixels.mp4",
     kVideo + " " + kSound + " " + kH264 + " -aspect 886:1000 " + kAac,
     {"pixels"}},
    {"interlaced.mp4",
     kVideo + " " + kSound + " " + kH264 + " -flags +ilme+ildct -field_order tt " + kAac,
     {"varredura"}},
};

// What ffmpeg will not write: bytes changed after it, `at` bytes after the
// type of the nth box so named.
struct Damage {
  std::string name, from, box;
  int nth;
  size_t at;
  std::string bytes;
  std::set<std::string> broken;  // none: the file no longer reads
};

const Damage kDamages[] = {
    {"turned.mp4",
     "good.mp4",
     "tkhd",
     0,
     40,  // the video's matrix, turned 90°
     std::string("\0\0\0\0\0\1\0\0\0\0\0\0\xff\xff\0\0\0\0\0\0", 20),
     {"rotacao"}},
    {"sound-off.mp4", "good.mp4", "tkhd", 1, 3, "\x02", {"ativas"}},  // flags without "enabled"
    {"49-days.mp4", "good.mp4", "mvhd", 0, 16, "\xfc\x58\x5c\x00", {"cabecalho"}},  // in ms
    // One byte of a sound packet's size in the sample table.
    {"sound-sizes.mp4", "tone.mp4", "stsz", 1, 12 + 4 * 100 + 2, std::string(1, '\0'), {}},
};

void damage(const fs::path& dir, const Damage& d) {
  std::string bytes = slurp(dir / d.from);
  size_t at = std::string::npos;
  for (int i = 0; i <= d.nth; ++i) at = bytes.find(d.box, at + 1);
  ASSERT_NE(at, std::string::npos) << d.name;
  bytes.replace(at + 4 + d.at, d.bytes.size(), d.bytes);
  writeFile(dir / d.name, bytes);
}

class StoreCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir("store_check");
    dir_ = scratch_->path;
    for (const Case& c : kCases) {
      const std::string command = "ffmpeg -nostdin -v error -y " + c.ffmpeg + " '" +
                                  (dir_ / c.name).string() + "' > /dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    for (const Damage& d : kDamages) damage(dir_, d);
  }
  static void TearDownTestSuite() { delete scratch_; }

  static Outcome check(const std::vector<std::string>& args) {
    return run(VERIFICAR_BINARY, args, dir_);
  }
  // The rules a JSON answer lists as broken.
  static std::set<std::string> brokenRules(const std::string& json) {
    std::set<std::string> rules;
    const std::regex rule("\"regra\": \"([a-z_]+)\"");
    for (std::sregex_iterator i(json.begin(), json.end(), rule), end; i != end; ++i)
      rules.insert((*i)[1]);
    return rules;
  }

  static ScratchDir* scratch_;
  static fs::path dir_;
};
ScratchDir* StoreCheckTest::scratch_;
fs::path StoreCheckTest::dir_;

TEST_F(StoreCheckTest, EachRuleIsToldAloneWithWhatWasMeasured) {
  // One test: the files are made once.
  std::vector<Case> cases(std::begin(kCases), std::end(kCases));
  for (const Damage& d : kDamages)
    if (!d.broken.empty()) cases.push_back({d.name, "", d.broken});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome json = check({"--destino", "app-store-6.9", "--json", (dir_ / c.name).string()});
    EXPECT_EQ(json.status, c.broken.empty() ? 0 : 3) << json.out << json.err;
    EXPECT_EQ(brokenRules(json.out), c.broken) << json.out;
    // The lines say it to a person: the rule, the measured value, the target's.
    const Outcome text = check({"--destino", "app-store-6.9", (dir_ / c.name).string()});
    EXPECT_EQ(text.status, json.status);
    for (const std::string& rule : c.broken) {
      EXPECT_NE(text.out.find(": " + rule + ": "), std::string::npos) << text.out;
    }
    if (c.broken.empty()) {
      EXPECT_EQ(text.out, "ok " + (dir_ / c.name).string() + " (app-store-6.9)\n");
    }
  }
  const Outcome sixty = check({"--destino", "app-store-6.9", (dir_ / "sixty.mp4").string()});
  EXPECT_NE(sixty.out.find("quadros: 60 por segundo; app-store-6.9 pede até 30 por segundo"),
            std::string::npos)
      << sixty.out;
  // A target that centres its picture takes another size; the 16 s clip
  // is within its minute too.
  EXPECT_EQ(brokenRules(
                check({"--destino", "vertical-1080", "--json", (dir_ / "good.mp4").string()}).out),
            std::set<std::string>{"tamanho"});

  // What cannot be read or asked for has its own status.
  // Cut in the middle: the index still lists frames the file no longer has.
  const fs::path cut = dir_ / "cut.mp4";
  fs::copy_file(dir_ / "good.mp4", cut, fs::copy_options::overwrite_existing);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  fs::path noise = dir_ / "noise.mp4";
  writeFile(noise, std::string(4000, 'x'));
  // The last sound packets cut short.
  const fs::path tail = dir_ / "tail-cut.mp4";
  fs::copy_file(dir_ / "tone.mp4", tail, fs::copy_options::overwrite_existing);
  fs::resize_file(tail, fs::file_size(tail) - 1000);
  for (const fs::path& unreadable :
       {cut, noise, dir_ / "missing.mp4", tail, dir_ / "sound-sizes.mp4"}) {
    const Outcome o = check({"--destino", "app-store-6.9", unreadable.string()});
    EXPECT_EQ(o.status, 1) << unreadable << o.out << o.err;
    EXPECT_NE(o.err.find(unreadable.string() + ": não se lê: "), std::string::npos) << o.err;
  }
  // One unreadable file among good ones is still a failure to read.
  EXPECT_EQ(
      check({"--destino", "app-store-6.9", (dir_ / "good.mp4").string(), cut.string()}).status, 1);
  const Outcome unknown = check({"--destino", "app-store-99", (dir_ / "good.mp4").string()});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("destino desconhecido: app-store-99 (app-store-6.9"),
            std::string::npos);
  EXPECT_EQ(check({(dir_ / "good.mp4").string()}).status, 2);
  EXPECT_EQ(check({"--destino", "app-store-6.9"}).status, 2);
}

}  // namespace
