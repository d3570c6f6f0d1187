// Runs the real tessane binary and reads its movie back with FFmpeg.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "movie_probe.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage = "uso: tessane <largura> <altura> <fps> <saida.mov>\n";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

struct RunOptions {
  size_t piece = 1 << 20;  // bytes per write into the pipe
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TessaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    char templ[] = "/tmp/tessane_test_XXXXXX";
    dir_ = mkdtemp(templ);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path path(const std::string& name) const { return dir_ / name; }

  Outcome run(const std::vector<std::string>& args, const std::vector<uint8_t>& input,
          RunOptions options = {}) {
    int in[2];
    EXPECT_EQ(pipe(in), 0);
    fs::path outFile = dir_ / "stdout", errFile = dir_ / "stderr";
    pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], STDIN_FILENO);
      close(in[0]);
      close(in[1]);
      int o = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, STDOUT_FILENO);
      dup2(e, STDERR_FILENO);
      if (options.fileSizeLimit != RLIM_INFINITY) {
        // Writes past the limit then fail with EFBIG, like a full disk.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv{const_cast<char*>(TESSANE_BINARY)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TESSANE_BINARY, argv.data());
      _exit(127);
    }
    close(in[0]);
    for (size_t at = 0; at < input.size(); at += options.piece) {
      size_t n = std::min(options.piece, input.size() - at);
      if (write(in[1], input.data() + at, n) != static_cast<ssize_t>(n)) break;
    }
    close(in[1]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    Outcome r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
  }

  fs::path dir_;
};

// Gradients, a moving square, noise and an alpha ramp: content an encoder
// cannot get right by accident.
std::vector<uint8_t> makeFrames(int width, int height, int frames) {
  std::vector<uint8_t> v;
  v.reserve(static_cast<size_t>(width) * height * 4 * frames);
  uint32_t seed = 99;
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        seed = seed * 1664525 + 1013904223;
        int grain = static_cast<int>(seed >> 29) - 4;
        bool square = (x - 3 * f) % width < width / 3 && y > height / 4 && y < height / 2;
        int r = square ? 230 : x * 255 / width;
        int g = square ? 40 : y * 255 / height;
        int b = square ? 90 : (x + y + 20 * f) % 256;
        v.push_back(static_cast<uint8_t>(std::clamp(r + grain, 0, 255)));
        v.push_back(static_cast<uint8_t>(std::clamp(g - grain, 0, 255)));
        v.push_back(static_cast<uint8_t>(std::clamp(b + grain, 0, 255)));
        v.push_back(static_cast<uint8_t>((x * 255 / std::max(1, width - 1) + 60 * f) % 256));
      }
    }
  }
  return v;
}

std::vector<uint8_t> frameOf(const std::vector<uint8_t>& frames, int width, int height, int n) {
  size_t bytes = static_cast<size_t>(width) * height * 4;
  return std::vector<uint8_t>(frames.begin() + n * bytes, frames.begin() + (n + 1) * bytes);
}

void writeFile(const fs::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary) << content;
}

struct Size {
  int width, height, fps;
};

class TessaneMovieTest : public TessaneTest, public ::testing::WithParamInterface<Size> {};

// What a player sees must be what went in: ProRes 4444 'ap4h' from vendor
// 'apl0' in a QuickTime movie, one frame per 1/fps tick, BT.709 tags, and
// the pixels with their alpha within ProRes' near-lossless error.
TEST_P(TessaneMovieTest, WritesProRes4444ThatDecodesToTheInput) {
  const Size size = GetParam();
  const int frames = 4;
  std::vector<uint8_t> input = makeFrames(size.width, size.height, frames);
  const fs::path movie = path("out.mov");
  Outcome r = run({std::to_string(size.width), std::to_string(size.height), std::to_string(size.fps),
               movie},
              input);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "4\n");
  EXPECT_EQ(r.err, "");

  std::string error;
  MovieInfo info = probeMovie(movie, &error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(info.majorBrand, "qt  ");
  EXPECT_EQ(info.codec, AV_CODEC_ID_PRORES);
  EXPECT_EQ(info.codecTag, MKTAG('a', 'p', '4', 'h'));
  EXPECT_EQ(info.profile, FF_PROFILE_PRORES_4444);
  EXPECT_EQ(info.vendor, "apl0");
  EXPECT_EQ(info.width, size.width);
  EXPECT_EQ(info.height, size.height);
  EXPECT_EQ(info.primaries, AVCOL_PRI_BT709);
  EXPECT_EQ(info.transfer, AVCOL_TRC_BT709);
  EXPECT_EQ(info.matrix, AVCOL_SPC_BT709);
  EXPECT_EQ(info.timeBase.num, 1);
  EXPECT_EQ(info.timeBase.den, size.fps);
  EXPECT_EQ(info.packetPts, (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_EQ(info.streamDuration, frames) << "the last frame lasts one tick too";

  ASSERT_EQ(info.frames.size(), static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) {
    const AVFrame& f = *info.frames[n];
    ASSERT_EQ(f.width, size.width);
    ASSERT_EQ(f.height, size.height);
    ASSERT_NE(f.data[3], nullptr) << "alpha plane kept";
    ChannelError e = compareRgba(yuva444ToRgba(f), frameOf(input, size.width, size.height, n));
    for (int c = 0; c < 3; ++c) {
      EXPECT_GE(e.psnr[c], 45.0) << "frame " << n << " channel " << c;
      EXPECT_LE(e.maxDiff[c], 12) << "frame " << n << " channel " << c;
    }
    EXPECT_LE(e.maxDiff[3], 1) << "alpha of frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TessaneMovieTest,
                         ::testing::Values(Size{64, 48, 30}, Size{33, 17, 25}, Size{1, 1, 1}));

TEST_F(TessaneTest, ManySmallWritesGiveTheSameMovieAsOneWrite) {
  std::vector<uint8_t> input = makeFrames(40, 30, 3);
  Outcome whole = run({"40", "30", "24", path("whole.mov")}, input);
  Outcome chopped = run({"40", "30", "24", path("chopped.mov")}, input, {.piece = 333});
  ASSERT_EQ(whole.status, 0) << whole.err;
  ASSERT_EQ(chopped.status, 0) << chopped.err;
  EXPECT_EQ(chopped.out, "3\n");
  std::string error;
  MovieInfo a = probeMovie(path("whole.mov"), &error);
  MovieInfo b = probeMovie(path("chopped.mov"), &error);
  ASSERT_EQ(a.frames.size(), 3u);
  ASSERT_EQ(b.frames.size(), 3u);
  EXPECT_EQ(a.packetPts, b.packetPts);
  for (size_t n = 0; n < 3; ++n) {
    ChannelError e = compareRgba(yuva444ToRgba(*a.frames[n]), yuva444ToRgba(*b.frames[n]));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(e.maxDiff[c], 0) << "frame " << n << " channel " << c;
  }
}

TEST_F(TessaneTest, APartialLastFrameIsDroppedSilently) {
  std::vector<uint8_t> input = makeFrames(16, 8, 3);
  input.resize(16 * 8 * 4 * 5 / 2);  // two and a half frames
  Outcome r = run({"16", "8", "30", path("a.mov")}, input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(r.err, "");
  std::string error;
  EXPECT_EQ(probeMovie(path("a.mov"), &error).frames.size(), 2u);
}

TEST_F(TessaneTest, NoWholeFrameIsAnError) {
  for (size_t bytes : {size_t{0}, size_t{16 * 8 * 4 - 1}}) {
    Outcome r = run({"16", "8", "30", path("a.mov")}, std::vector<uint8_t>(bytes, 1));
    EXPECT_EQ(r.status, 1) << bytes;
    EXPECT_EQ(r.err, "nenhum quadro recebido\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(TessaneTest, BadCommandLinesPrintUsageAndTouchNothing) {
  const fs::path keep = path("keep.mov");
  const std::string k = keep;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"64", "48", "30"},
      {"0", "48", "30", k},
      {"64", "-3", "30", k},
      {"64", "48", "0", k},
      {" 640", "48", "30", k},
      {"640px", "48", "30", k},
      {"6.4e2", "48", "30", k},
      {"+", "48", "30", k},
      {"", "48", "30", k},
      {"9223372036854775808", "48", "30", k},
      {"64", "48", "2147483648", k},                   // beyond a 32-bit timescale
      {"4611686018427387904", "1", "30", k},           // width × height × 4 overflows
      {"3037000500", "3037000500", "30", k},
  };
  for (const auto& args : cases) {
    writeFile(keep, "precious");
    Outcome r = run(args, makeFrames(4, 4, 1));
    std::string shown;
    for (const auto& a : args) shown += "[" + a + "]";
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.err, kUsage) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(slurp(keep), "precious") << shown;
  }
}

TEST_F(TessaneTest, SignedAndZeroPaddedNumbersAndExtraArgumentsAreAccepted) {
  Outcome r = run({"+8", "08", "+030", path("a.mov"), "ignored", "too"}, makeFrames(8, 8, 2));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n");
  std::string error;
  MovieInfo info = probeMovie(path("a.mov"), &error);
  EXPECT_EQ(info.width, 8);
  EXPECT_EQ(info.timeBase.den, 30);
}

TEST_F(TessaneTest, ReplacesAnExistingFileAndIgnoresTheExtension) {
  const fs::path movie = path("old.mp4");
  writeFile(movie, std::string(300000, 'x'));
  Outcome r = run({"8", "8", "30", movie}, makeFrames(8, 8, 1));
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  MovieInfo info = probeMovie(movie, &error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(info.majorBrand, "qt  ");
  EXPECT_EQ(info.codec, AV_CODEC_ID_PRORES);
  EXPECT_EQ(info.frames.size(), 1u);
  EXPECT_LT(fs::file_size(movie), 300000u) << "written over, not appended to";
}

TEST_F(TessaneTest, AMissingFolderIsReportedWithTheSystemsReason) {
  Outcome r = run({"8", "8", "30", path("no/such/dir/a.mov")}, makeFrames(8, 8, 1));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "não foi possível criar o arquivo: No such file or directory\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(TessaneTest, ASizeBeyondTheWritersLimitIsRefused) {
  Outcome r = run({"16385", "1", "30", path("a.mov")}, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "o writer recusou a trilha de vídeo\n");
}

// A file that cannot grow (the size limit acts like a full disk) must never
// end as a success, whether the error shows on a frame or at the end.
TEST_F(TessaneTest, AWriteErrorIsAFailure) {
  for (int frames : {1, 40}) {
    Outcome r = run({"200", "200", "30", path("a.mov")}, makeFrames(200, 200, frames),
                {.fileSizeLimit = 40000});
    EXPECT_EQ(r.status, 1) << frames;
    EXPECT_EQ(r.out, "") << frames;
    const bool onFrame = r.err.rfind("falha ao gravar o quadro ", 0) == 0;
    const bool atEnd = r.err.rfind("falha ao finalizar: ", 0) == 0;
    EXPECT_TRUE(onFrame || atEnd) << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  }
}

}  // namespace
