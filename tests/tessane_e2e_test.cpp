// Runs the real tessane binary and reads its movie back with FFmpeg.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "movie_probe.h"
#include "scratch_dir.h"
#include "test_runs.h"

namespace fs = std::filesystem;
using namespace test_runs;

namespace {

const std::string kUsage = "uso: tessane <largura> <altura> <fps> <saida.mov>\n";

class TessaneTest : public ::testing::Test {
 protected:
  fs::path path(const std::string& name) const { return scratch_.path / name; }
  Outcome run(const std::vector<std::string>& args, std::vector<uint8_t> input,
              Options options = {}) {
    options.input = std::move(input);
    return test_runs::run(TESSANE_BINARY, args, scratch_.path, options);
  }

  const ScratchDir scratch_{"tessane_test"};
};

// Gradients, a moving square and grain under an overlay's alpha: content an
// encoder cannot get right by accident.
// With `ramp`, alpha rises across the picture instead: every slice's last
// value differs from the one before it.
std::vector<uint8_t> makeFrames(int width, int height, int frames, bool ramp = false) {
  std::vector<uint8_t> v;
  uint32_t seed = 99;
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        seed = seed * 1664525 + 1013904223;
        int grain = static_cast<int>(seed >> 29) - 4;
        bool square = (x - 3 * f) % width < width / 3 && y > height / 4 && y < height / 2;
        int rgb[3] = {square ? 230 : x * 255 / width, square ? 40 : y * 255 / height,
                      square ? 90 : (x + y + 20 * f) % 256};
        for (int c : rgb) v.push_back(static_cast<uint8_t>(std::clamp(c + grain, 0, 255)));
        // An overlay's alpha: nothing outside a panel, soft edges, then solid.
        const int edge = std::min({x - f, width - 1 - x, y - height / 8, height - 1 - y});
        v.push_back(static_cast<uint8_t>(ramp ? x * 255 / width : std::clamp(edge * 60, 0, 230)));
      }
    }
  }
  return v;
}

// Slices of a ProRes 4444 frame whose alpha code does not end with a run
// code (a run to the slice's end, or the "no run" bit after its last
// value), which Apple's decoders require. Read bit by bit, on its own.
int slicesWithoutClosingRun(const std::vector<uint8_t>& f, int width, int height) {
  auto be = [&](size_t at, int n) { return bigEndian(f, at, n); };
  const size_t picture = 8 + be(8, 2);
  const int abits = (f.at(8 + 17) & 0xf) == 2 ? 16 : 8;
  const size_t table = picture + (f.at(picture) >> 3);
  size_t slice = table + 2 * be(picture + 5, 2);
  int index = 0, open = 0;
  for (int row = 0; row < (height + 15) / 16; ++row) {
    for (int x = 0, mbs = 1 << (f.at(picture + 7) >> 4); x < (width + 15) / 16; x += mbs, ++index) {
      while ((width + 15) / 16 - x < mbs) mbs /= 2;
      const size_t size = be(table + 2 * index, 2);
      size_t bit =
          8 * (slice + (f.at(slice) >> 3) + be(slice + 2, 2) + be(slice + 4, 2) + be(slice + 6, 2));
      auto next = [&](int n) {
        size_t v = 0;
        for (int i = 0; i < n; ++i, ++bit) v = v << 1 | (f.at(bit / 8) >> (7 - bit % 8) & 1);
        return v;
      };
      for (int value = 0; value < mbs * 256;) {
        next(next(1) ? abits : abits == 16 ? 7 : 4);
        if (++value == mbs * 256 || bit >= 8 * (slice + size)) {
          open += value == mbs * 256 && (bit >= 8 * (slice + size) || next(1) == 0);
          break;
        }
        if (next(1) == 0) {
          const size_t run = next(4);
          value += static_cast<int>(run ? run : next(11));
        }
      }
      slice += size;
    }
  }
  return open;
}

struct Size {
  int width, height, fps;
  bool rampAlpha = false;
};

class TessaneMovieTest : public TessaneTest, public ::testing::WithParamInterface<Size> {};

// What a player sees must be what went in: ProRes 4444 'ap4h' from vendor
// 'apl0' in a QuickTime movie, one frame per 1/fps tick, BT.709 tags, and
// the pixels within ProRes' near-lossless error, alpha exact and coded as
// Apple's decoders read it.
TEST_P(TessaneMovieTest, WritesProRes4444ThatDecodesToTheInput) {
  const Size size = GetParam();
  const int frames = 4;
  std::vector<uint8_t> input = makeFrames(size.width, size.height, frames, size.rampAlpha);
  Outcome r = run({std::to_string(size.width), std::to_string(size.height),
                   std::to_string(size.fps), path("out.mov")},
                  input);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::tie(r.out, r.err), std::make_tuple("4\n", ""));

  MovieInfo info = probeMovie(path("out.mov"));
  const AVCodecParameters& par = *info.par;
  EXPECT_EQ(std::tie(info.majorBrand, info.vendor), std::make_tuple("qt  ", "apl0"));
  EXPECT_EQ(std::tie(par.codec_id, par.profile),
            std::make_tuple(AV_CODEC_ID_PRORES, FF_PROFILE_PRORES_4444));
  EXPECT_EQ(par.codec_tag, MKTAG('a', 'p', '4', 'h'));
  EXPECT_EQ(std::tie(par.width, par.height), std::tie(size.width, size.height));
  EXPECT_EQ(std::tie(par.color_primaries, par.color_trc, par.color_space),
            std::make_tuple(AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709));
  EXPECT_EQ(std::tie(info.timeBase.num, info.timeBase.den), std::make_tuple(1, size.fps));
  EXPECT_EQ(info.packetPts, (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_EQ(info.streamDuration, frames) << "the last frame lasts one tick too";

  // What strict QuickTime readers go by: depth 32 is what says "alpha", and
  // the movie header and edit list count in the track's own timescale.
  const std::string movie = path("out.mov");
  std::vector<std::string> entry = {"moov", "trak", "mdia", "minf", "stbl", "stsd", "ap4h"};
  EXPECT_EQ(bigEndian(boxBody(movie, entry), 74, 2), 32u) << "depth";
  for (const char* atom : {"colr", "fiel", "pasp"}) {
    entry.push_back(atom);
    EXPECT_FALSE(boxBody(movie, entry).empty()) << atom;
    entry.pop_back();
  }
  const std::vector<uint8_t> mvhd = boxBody(movie, {"moov", "mvhd"});
  EXPECT_EQ(bigEndian(mvhd, 12, 4), static_cast<uint64_t>(size.fps)) << "movie timescale";
  EXPECT_EQ(bigEndian(mvhd, 16, 4), static_cast<uint64_t>(frames)) << "movie duration";
  EXPECT_EQ(bigEndian(boxBody(movie, {"moov", "trak", "edts", "elst"}), 8, 4),
            static_cast<uint64_t>(frames))
      << "edit duration";

  ASSERT_EQ(info.frames.size(), static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) {
    const AVFrame& f = *info.frames[n];
    ASSERT_EQ(std::tie(f.width, f.height), std::tie(size.width, size.height));
    ASSERT_NE(f.data[3], nullptr) << "alpha plane kept";
    const size_t bytes = static_cast<size_t>(size.width) * size.height * 4;
    const std::vector<uint8_t> in(input.begin() + n * bytes, input.begin() + (n + 1) * bytes);
    ChannelError e = compareRgba(yuva444ToRgba(f), in);
    for (int c = 0; c < 3; ++c) {
      EXPECT_GE(e.psnr[c], 54.0) << "frame " << n << " channel " << c;
      EXPECT_LE(e.maxDiff[c], 12) << "frame " << n << " channel " << c;
    }
    EXPECT_EQ(e.maxDiff[3], 0) << "alpha of frame " << n;
    EXPECT_EQ(slicesWithoutClosingRun(info.packetData[n], size.width, size.height), 0)
        << "frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TessaneMovieTest,
                         ::testing::Values(Size{64, 48, 30}, Size{33, 17, 25}, Size{1, 1, 1},
                                           Size{16, 8, 1000000}, Size{200, 40, 30, true}),
                         [](const ::testing::TestParamInfo<Size>& info) {
                           const Size& s = info.param;
                           return std::to_string(s.width) + "x" + std::to_string(s.height) +
                                  "_at_" + std::to_string(s.fps) + "fps" +
                                  (s.rampAlpha ? "_alpha_ramp" : "");
                         });

// Signs, leading zeros and extra arguments are fine; the old file goes
// whatever its name, and the half frame at the end is dropped silently. The
// producer writes slowly into a pipe the reader finds non-blocking, and
// momentarily empty: that is no end of input.
TEST_F(TessaneTest, TwoAndAHalfFramesMakeTwoInPlaceOfAnOldFile) {
  writeFile(path("old.mp4"), std::string(300000, 'x'));
  std::vector<uint8_t> input = makeFrames(16, 8, 3);
  input.resize(16 * 8 * 4 * 5 / 2);
  Outcome r = run({"+16", "08", "+030", path("old.mp4"), "ignored"}, input,
                  {.piece = 200, .pauseMs = 10, .nonBlockingInput = true});
  EXPECT_EQ(std::tie(r.status, r.out, r.err), std::make_tuple(0, "2\n", ""));
  MovieInfo info = probeMovie(path("old.mp4"));
  EXPECT_EQ(std::tie(info.majorBrand, info.par->width, info.timeBase.den),
            std::make_tuple("qt  ", 16, 30));
  EXPECT_EQ(info.frames.size(), 2u);
  EXPECT_LT(fs::file_size(path("old.mp4")), 300000u) << "written over, not appended to";
}

// A wrong command line prints the usage, status 2, and touches nothing; a
// failure says why in one line, status 1.
TEST_F(TessaneTest, BadCommandLinesAndFailuresSayWhy) {
  const std::string k = path("keep.mov");
  // The command line, bytes of input, status and message.
  const std::tuple<std::vector<std::string>, size_t, int, std::string> cases[] = {
      {{"64", "48", "30"}, 0, 2, kUsage},
      {{"--version", "48", "30", k}, 0, 0, "tessane 1.0.0\n"},
      {{"64", "-3", "30", k}, 64, 2, kUsage},
      {{"64", "48", "0", k}, 64, 2, kUsage},
      {{"64", "48", "2147483648", k}, 64, 2, kUsage},          // beyond a 32-bit timescale
      {{"3037000500", "3037000500", "30", k}, 64, 2, kUsage},  // width × height × 4 overflows
      {{"16", "8", "30", path("a.mov")}, 0, 1, "nenhum quadro recebido\n"},
      {{"16", "8", "30", path("a.mov")}, 16 * 8 * 4 - 1, 1, "nenhum quadro recebido\n"},
      {{"8", "8", "30", path("no/such/dir/a.mov")},
       256,
       1,
       "não foi possível criar o arquivo: No such file or directory\n"},
      {{"16385", "1", "30", path("a.mov")}, 0, 1, "o writer recusou a trilha de vídeo\n"},
      // Within 16384 a side but beyond the encoders' picture area.
      {{"16384", "16129", "30", path("a.mov")}, 0, 1, "o writer recusou a trilha de vídeo\n"},
  };
  for (const auto& [args, inputBytes, status, err] : cases) {
    writeFile(k, "precious");
    Outcome r = run(args, std::vector<uint8_t>(inputBytes, 1));
    const std::string shown = args[0] + " " + args[1];
    EXPECT_EQ(r.status, status) << shown;
    EXPECT_EQ(r.err + r.out, err) << shown;
    EXPECT_EQ(slurp(k), "precious") << shown;
  }
}

// A file that cannot grow (the size limit acts like a full disk) must never
// end as a success, whether the error shows on a frame or at the end.
TEST_F(TessaneTest, AWriteErrorIsAFailure) {
  for (int frames : {1, 40}) {
    Outcome r = run({"200", "200", "30", path("a.mov")}, makeFrames(200, 200, frames),
                    {.fileSizeLimit = 40000});
    EXPECT_EQ(std::tie(r.status, r.out), std::make_tuple(1, "")) << frames;
    // On a frame or at the end, with the system's reason.
    const std::regex failure("^falha ao (gravar o quadro |finalizar: ).*File too large");
    EXPECT_TRUE(std::regex_search(r.err, failure)) << r.err;
  }
}

// Started without standard output, the movie must not take its place and
// receive the count; a count that cannot be written is a failure.
TEST_F(TessaneTest, ClosedOrFullStandardOutput) {
  Outcome closed = run({"16", "8", "30", path("a.mov")}, makeFrames(16, 8, 2),
                       {.closedDescriptor = STDOUT_FILENO});
  EXPECT_EQ(closed.status, 0) << closed.err;
  EXPECT_EQ(probeMovie(path("a.mov")).frames.size(), 2u);
  Outcome full =
      run({"16", "8", "30", path("b.mov")}, makeFrames(16, 8, 2), {.stdoutPath = "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "falha ao escrever a contagem de quadros: No space left on device\n");
}

}  // namespace
