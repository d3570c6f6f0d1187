// Runs the real recorder on local pages and reads its MP4 back.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "movie_probe.h"
#include "scroll_pattern.h"
#include "test_runs.h"

namespace fs = std::filesystem;
using namespace test_runs;

namespace {

const std::string kUsage = "uso: vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>\n";
const std::string kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";

const std::string kGreenPage = "<body style='margin:0;background:#0f0'></body>";
const std::string kCredentials = "VUZIZERI_CREDENCIAIS=vuz:senha";

PageServer::Response redirectTo(const std::string& url) {
  return {.status = "302 Found", .headers = "Location: " + url + "\r\n"};
}

struct Rgb {
  int r, g, b;
};

// One pixel of a decoded 4:2:0 picture, BT.709 limited range.
Rgb pixelAt(const AVFrame& f, int x, int y) {
  double Y = f.data[0][y * f.linesize[0] + x] - 16.0;
  double U = f.data[1][(y / 2) * f.linesize[1] + x / 2] - 128.0;
  double V = f.data[2][(y / 2) * f.linesize[2] + x / 2] - 128.0;
  auto clamp = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
  return {clamp(1.164 * Y + 1.793 * V), clamp(1.164 * Y - 0.213 * U - 0.533 * V),
          clamp(1.164 * Y + 2.112 * U)};
}

bool green(Rgb c) { return c.g > 200 && c.r < 60 && c.b < 60; }

void expectColour(const AVFrame& f, int x, int y, Rgb want, int tolerance = 10) {
  const Rgb got = pixelAt(f, x, y);
  for (auto [value, wanted] : {std::pair{got.r, want.r}, {got.g, want.g}, {got.b, want.b}})
    EXPECT_NEAR(value, wanted, tolerance) << "at " << x << "," << y;
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/vuzizeri_test_XXXXXX";
    dir_ = mkdtemp(templ);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The recorder as a user runs it, with `env` added to its environment.
  pid_t start(const std::vector<std::string>& args, const std::string& tag = "run",
              const std::vector<std::string>& env = {}) {
    Options options = recorderOptions(dir_);
    options.env.insert(options.env.end(), env.begin(), env.end());
    return test_runs::start(VUZIZERI_BINARY, args, dir_, options, tag);
  }
  Outcome run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return wait(start(args, "run", env), dir_);
  }

  // A finished run: the report line matches the file, and nothing of the
  // run is left (files in HOME or TMPDIR, processes).
  void expectReport(const Outcome& r, const fs::path& out) {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing but the report on success";
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(r.out, m, std::regex("ok (.*) ([0-9]+) bytes, ([0-9]+\\.[0-9])s\n")))
        << r.out;
    EXPECT_EQ(m[1].str(), out.string());
    EXPECT_EQ(std::stoll(m[2].str()), static_cast<long long>(fs::file_size(out)));
    EXPECT_EQ(leftovers(dir_), "");
  }
  // The movie of a run that finished as expectReport() checks.
  MovieInfo recorded(const Outcome& r, const fs::path& out) {
    expectReport(r, out);
    return probeMovie(out);
  }

  fs::path dir_;
};

// Refused command lines touch nothing; a page without a usable height, or
// one that cannot load at all, fails before the writer, and one that cannot
// load says so at once, not at the time limit: the old file stays.
TEST_F(RecorderTest, EarlyFailuresLeaveTheOldFile) {
  fs::path out = dir_ / "keep.mp4";
  writeFile(out, "old");
  // The usage line to the byte; --help adds the options, a line each, on
  // standard output.
  Outcome usage = run({pageUrl("pattern.html"), "390", "844", "3", "47"});
  EXPECT_EQ(std::tie(usage.status, usage.err), std::make_tuple(2, kUsage));
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind(kUsage, 0), 0u) << help.out;
  EXPECT_NE(help.out.find("\n  --aparelho NOME "), std::string::npos) << "the options, a line each";
  Outcome noHeight = run({pageUrl("no_height.html"), "200", "300", "1", "20", out.string()});
  EXPECT_EQ(noHeight.status, 1);
  EXPECT_EQ(noHeight.err + noHeight.out, "página sem altura\n");

  // A port nobody listens on, a host that does not exist, a certificate
  // nobody signed.
  const std::string tlsPort = std::to_string(PageServer({}).port());
  const std::string key = dir_ / "k.pem", cert = dir_ / "c.pem";
  Outcome made = test_runs::run("/usr/bin/openssl",
                                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                                 "/CN=127.0.0.1", "-keyout", key, "-out", cert},
                                dir_);
  ASSERT_EQ(made.status, 0) << made.err;
  const pid_t tls = test_runs::start(
      "/usr/bin/openssl",
      {"s_server", "-quiet", "-www", "-accept", "127.0.0.1:" + tlsPort, "-cert", cert, "-key", key},
      dir_, {}, "tls");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  PageServer toFile({{"/", redirectTo("file:///etc/hostname")}});  // WebKit ends its web process
  const std::string urls[] = {
      PageServer({}).url(),  "http://127.0.0.1:9/",  // restricted by WebKit
      "http://127.0.0.1:0/", "http://nonexistent.invalid/", "https://127.0.0.1:" + tlsPort + "/",
      toFile.url()};
  for (const std::string& url : urls) {
    const auto start = std::chrono::steady_clock::now();
    Outcome r = run({url, "200", "300", "1", "20", out.string()});
    EXPECT_EQ(r.status, 1) << url;
    EXPECT_EQ(r.err.rfind("a página não carregou: ", 0), 0u) << url << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60))
        << url << " waited for the time limit";
  }
  kill(tls, SIGTERM);
  wait(tls, dir_, "tls");

  // Directions the page, the machine or the sound file cannot follow; a sound
  // that is not a file is refused at once, never read (a FIFO would block).
  const fs::path text = dir_ / "not-sound.mp3", fifo = dir_ / "fifo.wav";
  writeFile(text, "no sound here\n");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--pausa", "#nada=1"}, "--pausa: nada na página casa com #nada\n"},
      {{"--ate", "head"}, "--ate: head não tem lugar na página (não é exibido: display: none?)\n"},
      {{"--de", "a["}, "seletor inválido: a[\n"},
      {{"--velocidade", "1"}, "a rolagem levaria 5622 s e não cabe nos 2 minutos"},
      {{"--quadro-a-quadro", "--velocidade", "1"},
       "a rolagem daria um vídeo de 5622 s; o limite é 600 s"},
      {{"--quadro-a-quadro", "--trecho", "1/2000"},
       "--trecho 1/2000 ficaria sem quadros: a gravação inteira tem 1410 quadros"},
      {{"--audio", text},
       "--audio: não foi possível ler " + text.string() + ": não é um som que o FFmpeg saiba ler"},
      {{"--audio", fifo},
       "--audio: não foi possível ler " + fifo.string() + ": não é um arquivo comum"},
  };
  for (const auto& [options, message] : refused) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {pageUrl("pattern.html"), "200", "400", "1", "20", out.string()});
    Outcome r = run(args);
    EXPECT_EQ(r.status, options[0] == "--audio" ? 2 : 1) << options[0];
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    EXPECT_LT(r.err.size(), 200u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(slurp(out), "old");
  EXPECT_EQ(leftovers(dir_), "");
}

// What a hostile command line names: a storyboard that is a device, a FIFO
// or a folder, a line that would steer the terminal, an output that is one of
// the inputs or cannot be written, are refused at once; a step that fails
// leaves the old output as it was, and nothing beside it.
TEST_F(RecorderTest, HostileInputsTouchNothingButTheirOwnOutput) {
  const std::string page = pageUrl("story.html");
  const fs::path out = dir_ / "keep.mp4", fifo = dir_ / "fifo.txt", storyboard = dir_ / "r.txt";
  writeFile(out, "old");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  writeFile(storyboard, "pausa 1\n\x1b]0;title\x07 " + std::string(5000, 'x') + "\n");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--roteiro", "/dev/zero"}, "--roteiro: não foi possível ler /dev/zero: não é um arquivo"},
      {{"--roteiro", fifo}, "--roteiro: não foi possível ler " + fifo.string() + ": não é um"},
      {{"--roteiro", dir_ / "folder"}, "--roteiro: não foi possível ler " + dir_.string()},
      {{"--roteiro", storyboard},
       "--roteiro " + storyboard.string() + ", linha 2: passo desconhecido: \\x1b]0;title\\x07 (r"},
      {{"--estilo", out}, "a saída é o arquivo de --estilo: "},
      {{"--audio", dir_ / "link.mp4"}, "a saída é o arquivo de --audio: "},
      {{"--legendas", dir_ / "folder.vtt", "--roteiro", fifo.string() + ".ok"},
       "--legendas: não é possível gravar " + (dir_ / "folder.vtt").string() + ": é uma pasta"},
  };
  fs::create_directory(dir_ / "folder.vtt");
  writeFile(fifo.string() + ".ok", "pausa 1\n");
  fs::create_hard_link(out, dir_ / "link.mp4");
  for (const auto& [options, message] : refused) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {page, "390", "844", "1", "47", out});
    const auto began = std::chrono::steady_clock::now();
    Outcome r = run(args);
    EXPECT_EQ(r.status, 2) << options[1];
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
    EXPECT_LT(r.err.size(), 300u) << "one line, not the 5000 bytes: " << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
  }
  for (const fs::path& bad : {dir_ / "none" / "x.mp4", dir_ / "folder"}) {
    Outcome r = run({page, "390", "844", "1", "47", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "não abriu o writer: " + bad.string() +
                         (bad == dir_ / "folder" ? ": é uma pasta\n" : ": a pasta não existe\n"));
  }
  // Steps that fail, before the recording and during it.
  const std::pair<std::string, std::string> failing[] = {
      {"digitar .abrir-menu oi\nantes\n",
       "--roteiro, linha 1: digitar .abrir-menu oi: não recebe o foco: não é um campo de texto\n"},
      {"ir http://127.0.0.1:9999/\nantes\n",
       "--roteiro, linha 1: ir http://127.0.0.1:9999/: a página não carregou: "},
      {"ir http://127.0.0.1:9/\nantes\n",  // a port the engine refuses without a word
       "--roteiro, linha 1: ir http://127.0.0.1:9/: a página não carregou: Not allowed to use "
       "restricted network port\n"},
      {"pausa 0.5\ntocar #nada\n",
       "--roteiro, linha 2: tocar #nada: nada na página casa com #nada\n"},
      {"tocar .abrir-menu\ntocar #busca\n",
       "--roteiro, linha 2: tocar #busca: está coberto por div.item-4 no ponto do toque\n"}};
  for (const auto& [steps, message] : failing) {
    writeFile(storyboard, steps);
    Outcome r =
        run({"--quadro-a-quadro", "--roteiro", storyboard, page, "390", "844", "1", "47", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
  }
  EXPECT_EQ(slurp(out), "old");
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename().string().find(".parcial"), std::string::npos);
  EXPECT_EQ(leftovers(dir_), "");
}

TEST_F(RecorderTest, ShortPageGivesSixtyOneFramesUnderABandOfItsTopColour) {
  // The page fits its view: every reading is at the end. Its top is blue
  // with a one-pixel red line along the edge, which the band must not show.
  // An old FIFO at the output path goes like an old file, without blocking.
  fs::path out = dir_ / "short video.mp4";
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
  MovieInfo m = recorded(run({pageUrl("pattern.html", "h=200&top=%233366cc&line=red"), "200", "300",
                              "1", "20", out, "extra"}),
                         out);
  const AVCodecParameters& par = *m.par;
  EXPECT_EQ(std::tie(m.majorBrand, par.codec_id), std::make_tuple("isom", AV_CODEC_ID_H264));
  EXPECT_EQ(std::tie(par.width, par.height, m.hasBFrames, m.timeBase.den),
            std::make_tuple(200, 300, 0, 600));
  EXPECT_EQ(std::tie(par.color_primaries, par.color_space),
            std::make_tuple(AVCOL_PRI_BT709, AVCOL_SPC_BT709));
  ASSERT_EQ(m.frames.size(), 61u);
  EXPECT_EQ(m.packetPts.front(), 0);
  EXPECT_GE(m.packetPts[60], 7 * 60) << "captures paced at most 60 a second, not back to back";
  EXPECT_EQ(std::adjacent_find(m.packetPts.begin(), m.packetPts.end(), std::greater_equal<>()),
            m.packetPts.end());
  EXPECT_EQ(m.streamDuration - m.packetPts[60], m.packetPts[60] - m.packetPts[59])
      << "the last frame lasts as long as the one before";
  for (size_t i = 0, sinceKey = 0; i < m.packetKey.size(); ++i) {
    sinceKey = m.packetKey[i] ? 0 : sinceKey + 1;
    EXPECT_LT(sinceKey, 8u) << "a key frame at least every 8 frames";
  }
  // The index before the pictures; "moov" in their bytes could only come after "mdat".
  const std::string bytes = slurp(out);
  EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));

  const AVFrame& last = *m.frames.back();
  // The band, then the page's own top.
  for (int y : {2, 8, 14, 40}) expectColour(last, 100, y, {0x33, 0x66, 0xcc});
  expectColour(last, 100, 150, {255, 255, 255});
}

TEST_F(RecorderTest, ScrollingPageMovesUpAtTheComputedSpeedWithoutBand) {
  // 1000 CSS px in a 400 px view: 600 px at 250 px/s.
  fs::path out = dir_ / "scroll.mp4";
  writeFile(out, "an older file is replaced");
  MovieInfo m = recorded(
      run({pageUrl("pattern.html", "h=1000&top=%23cc3333"), "200", "400", "1", "0", out}), out);
  ASSERT_GT(m.frames.size(), 61u);
  // No band: the first row is the page's own red top.
  expectColour(*m.frames.front(), 100, 0, {0xcc, 0x33, 0x33}, 16);

  std::vector<double> times, offsets;
  for (const media::FramePtr& f : m.frames) {
    const double t = f->pts / 600.0;
    if (auto offset = scroll_pattern::offsetOf({t, f->width, f->height, f->linesize[0], f->data[0]},
                                               0, 1.0)) {
      times.push_back(t);
      offsets.push_back(*offset);
    }
  }
  ASSERT_FALSE(offsets.empty());
  EXPECT_NEAR(offsets.back(), 600, 2) << "ends at the bottom";
  scroll_pattern::Fit fit = scroll_pattern::fitScroll(times, offsets, 250);
  EXPECT_GT(fit.samples, 20);
  EXPECT_NEAR(fit.measuredSpeed, 250, 10);
  // Frames taken as the pictures come: offsets within the page's whole-pixel
  // steps of the clock (a free-running capture lands around 1.2 px RMS), a
  // rare frame a picture late at most.
  EXPECT_LT(fit.rms, 0.8);
  EXPECT_LT(fit.maxError, 10) << "no jumps or stalls";
}

// Frame by frame: frame i is stamped i/60 s and shows the page where the
// constant-speed scroll has it then, to a tenth of a CSS pixel, fractions of
// a pixel included; 61 frames at the end close the video.
// At scale 2 a row is half a CSS pixel: the position is exact to a quarter,
// a strip stuck to the top keeps its 60 rows in every frame, though the
// recorder draws it back itself in most: purple, then orange from when the
// page turns it so, never back. A box fixed at the bottom, whose ::before
// paints a band above it, keeps its 60 rows and the band's 20.
TEST_F(RecorderTest, FrameByFrameShowsEachExactPositionAtItsExactTime) {
  fs::path out = dir_ / "exact.mp4";
  const fs::path budget = dir_ / "budget";
  setenv("VUZIZERI_ORCAMENTO", budget.c_str(), 1);
  MovieInfo m =
      recorded(run({"--quadro-a-quadro", pageUrl("pattern.html", "h=1000&fixed=band&sticky=300"),
                    "200", "400", "2", "20", out}),
               out);
  unsetenv("VUZIZERI_ORCAMENTO");
  const double end = 1000 - 380;  // the page's height less the view's
  const size_t moving = static_cast<size_t>(std::ceil(end / 250 * 60));
  ASSERT_EQ(m.frames.size(), moving + 61);
  int read = 0;
  bool turned = false;
  for (size_t i = 0; i < m.frames.size(); ++i) {
    EXPECT_EQ(m.packetPts[i], static_cast<int64_t>(10 * i)) << "frame " << i;
    const AVFrame& f = *m.frames[i];
    int boxRows = 0;  // #9cf, luma 185, up from the bottom
    while (std::abs(f.data[0][(799 - boxRows) * f.linesize[0] + 20] - 185) < 20) ++boxRows;
    EXPECT_EQ(boxRows, 80) << "frame " << i;
    // Nothing of the engine's own at the white page's top left, nor in the
    // band that takes its colours from the page's top row.
    for (int x = 0; x < 3 && i == 0; ++x) EXPECT_GE(pixelAt(f, x, 40).g, 250) << "column " << x;
    EXPECT_NEAR(pixelAt(f, 0, 10).g, pixelAt(f, 100, 10).g, 2) << "frame " << i;
    auto orange = [](Rgb c) { return c.r > 230 && std::abs(c.g - 204) < 25 && c.b < 130; };
    auto purple = [](Rgb c) { return c.r > 180 && c.g < 130 && c.b > 230; };
    int stripRows = 0, orangeRows = 0;
    for (Rgb c; stripRows < 70 && (purple(c = pixelAt(f, 230, 40 + stripRows)) || orange(c));
         ++stripRows)
      orangeRows += orange(c);
    EXPECT_EQ(stripRows, 60) << "frame " << i;
    EXPECT_TRUE(orangeRows == 0 || orangeRows == 60) << "frame " << i;
    if (i > 0) {
      EXPECT_GE(orangeRows, turned ? 60 : 0) << "frame " << i << ": the strip went back";
    }
    turned = orangeRows == 60;
    auto offset =
        scroll_pattern::offsetOf({0, f.width, f.height, f.linesize[0], f.data[0]}, 40, 2.0);
    if (!offset) continue;
    ++read;
    EXPECT_NEAR(*offset, std::min(250.0 * static_cast<double>(i) / 60, end), 0.3) << "frame " << i;
  }
  EXPECT_GT(read, static_cast<int>(m.frames.size()) * 9 / 10);
  EXPECT_TRUE(turned);
  std::ifstream figures(budget);
  std::string line((std::istreambuf_iterator<char>(figures)), std::istreambuf_iterator<char>());
  const size_t at = line.find("levantados=");
  ASSERT_NE(at, std::string::npos) << line;
  EXPECT_GT(std::stoll(line.substr(at + 11)), static_cast<long long>(m.frames.size()) * 3 / 4);
}

// --indicador-de-rolagem: mid-scroll a thin bar shows 3 CSS px inside the
// right edge, its length the view's share of the page (400 of 2000 px, over
// the track that leaves the home indicator's 34 px): dark on a white page,
// light on a black one; faded out in the last frame, a second after the end.
TEST_F(RecorderTest, TheScrollIndicatorShowsWhileThePageMoves) {
  for (const bool white : {true, false}) {
    const fs::path page = dir_ / "page.html", out = dir_ / "indicator.mp4";
    writeFile(page, std::string("<body style='margin:0;height:2000px;background:") +
                        (white ? "#fff" : "#000") + "'></body>");
    MovieInfo m = recorded(run({"--quadro-a-quadro", "--indicador-de-rolagem",
                                "file://" + page.string(), "200", "400", "2", "0", out}),
                           out);
    auto barRows = [&](const AVFrame& f) {
      int rows = 0;
      for (int y = 0; y < 800; ++y) {
        bool bar = false;
        for (int x = 370; x < 400; ++x) {
          const int g = pixelAt(f, x, y).g;
          if (white ? g < 200 : g > 60) {
            EXPECT_TRUE(x >= 386 && x < 396) << "at " << x << "," << y;
            bar = true;
          }
        }
        rows += bar;
      }
      return rows;
    };
    ASSERT_GT(m.frames.size(), 200u);
    EXPECT_NEAR(barRows(*m.frames[m.frames.size() / 3]), 2 * 360 * 400 / 2000, 6) << white;
    EXPECT_EQ(barRows(*m.frames.back()), 0) << white;
  }
}

// One page in each form at 30 frames a second, frame by frame: the frames
// 1/30 s apart in each, the same pictures in each (GIF within its palette).
TEST_F(RecorderTest, EachFormAtThirtyFramesASecond) {
  // Each picture as RGB, whatever its decoder gives.
  auto rgbOf = [](const AVFrame& f) {
    std::vector<Rgb> out;
    const std::vector<uint8_t> rgba =
        f.format == AV_PIX_FMT_YUVA444P12LE || f.format == AV_PIX_FMT_YUVA444P10LE
            ? yuva444ToRgba(f)
            : std::vector<uint8_t>{};
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        if (!rgba.empty()) {
          const uint8_t* p = &rgba[4 * (static_cast<size_t>(y) * f.width + x)];
          out.push_back({p[0], p[1], p[2]});
        } else if (f.format == AV_PIX_FMT_PAL8 || f.format == AV_PIX_FMT_BGRA) {
          const uint8_t* p = f.format == AV_PIX_FMT_PAL8
                                 ? f.data[1] + 4 * f.data[0][y * f.linesize[0] + x]
                                 : f.data[0] + y * f.linesize[0] + 4 * x;
          out.push_back({p[2], p[1], p[0]});
        } else {
          out.push_back(pixelAt(f, x, y));
        }
      }
    return out;
  };
  auto psnr = [&](const AVFrame& a, const AVFrame& b) {
    const std::vector<Rgb> p = rgbOf(a), q = rgbOf(b);
    double squares = 0;
    for (size_t i = 0; i < p.size(); ++i)
      squares += (p[i].r - q[i].r) * (p[i].r - q[i].r) + (p[i].g - q[i].g) * (p[i].g - q[i].g) +
                 (p[i].b - q[i].b) * (p[i].b - q[i].b);
    return 10 *
           std::log10(255.0 * 255.0 * 3 * static_cast<double>(p.size()) / std::max(squares, 1e-9));
  };
  const std::string page = pageUrl("pattern.html", "h=600");
  std::map<std::string, MovieInfo> made;
  for (const char* form : {"mp4", "mov", "webm", "gif"}) {
    fs::path out = dir_ / (std::string("page.") + form);
    made[form] = recorded(run({"--quadro-a-quadro", "--fps", "30", "--formato", form, page, "120",
                               "200", "1", "10", out}),
                          out);
  }
  const MovieInfo& mp4 = made["mp4"];
  const size_t frames = static_cast<size_t>(std::ceil((600 - 190) / 250.0 * 30)) + 31;
  ASSERT_EQ(mp4.frames.size(), frames);
  for (size_t i = 0; i < frames; ++i) EXPECT_EQ(mp4.packetPts[i], static_cast<int64_t>(20 * i));
  EXPECT_EQ(made["mov"].par->codec_id, AV_CODEC_ID_PRORES);
  EXPECT_EQ(made["webm"].par->codec_id, AV_CODEC_ID_VP9);
  EXPECT_EQ(made["gif"].par->codec_id, AV_CODEC_ID_GIF);
  for (const char* form : {"mov", "webm"}) {
    const MovieInfo& m = made[form];
    ASSERT_EQ(m.frames.size(), frames) << form;
    for (size_t i = 0; i < frames; i += 7) {
      const double seconds = static_cast<double>(m.packetPts[i]) * av_q2d(m.timeBase);
      EXPECT_NEAR(seconds, static_cast<double>(i) / 30, 0.001) << form << " frame " << i;
      EXPECT_GT(psnr(*m.frames[i], *mp4.frames[i]), 25) << form << " frame " << i;
    }
  }
  // The GIF is made of the very frames recorded: against ProRes's, every one
  // close.
  const MovieInfo& gif = made["gif"];
  ASSERT_EQ(gif.frames.size(), frames);
  double lowest = 99;
  for (size_t i = 0; i < frames; ++i)
    lowest = std::min(lowest, psnr(*gif.frames[i], *made["mov"].frames[i]));
  EXPECT_GE(lowest, 40);
}

// The phone around the sample page at scale 3 and its status bar: the time
// reads as text (to an OCR engine nobody here wrote), on the page's dark band
// and on a light one; the island sits where the phone has it, the corners
// and the margin show the background (or nothing, in mov and webm), never
// the page; the bar stays the same from frame to frame on a still band.
TEST_F(RecorderTest, ThePhoneAroundTheScreenAndItsStatusBar) {
  // Luma 0 to 255 at a point, whatever the decoded depth.
  auto plane = [](const AVFrame& f, int p, int x, int y) {
    const int depth = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format))->comp[0].depth;
    const uint8_t* row = f.data[p] + y * f.linesize[p];
    return depth == 8 ? int{row[x]} : reinterpret_cast<const uint16_t*>(row)[x] >> (depth - 8);
  };
  auto luma = [&](const AVFrame& f, int x, int y) { return plane(f, 0, x, y); };
  auto alpha = [&](const AVFrame& f, int x, int y) { return plane(f, 3, x, y); };
  auto readText = [&](const AVFrame& f, int x0, int y0, int w, int h) {
    const fs::path pgm = dir_ / "bar.pgm";
    std::string image = "P5 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) image += static_cast<char>(luma(f, x, y));
    writeFile(pgm, image);
    return test_runs::run("/usr/bin/tesseract", {pgm, "-", "--psm", "7"}, dir_).out;
  };
  // An iPhone 15 at scale 3: the screen 1179 × 2556 px, 47 px of bezel and
  // 94 of margin around it; the island 126 × 37 pt, 11 pt down.
  const fs::path framed = dir_ / "framed.mp4";
  MovieInfo m = recorded(run({"--barra-de-status", "--moldura", "--aparelho", "iphone-15",
                              pageUrl("../../sample/index.html"), framed}),
                         framed);
  const AVFrame& f = *m.frames.front();
  ASSERT_EQ(std::tie(f.width, f.height), std::make_tuple(1461, 2838));
  EXPECT_NE(readText(f, 141, 141, 400, 177).find("9:41"), std::string::npos);
  EXPECT_LT(luma(f, 1461 / 2, 141 + 29 * 3), 24) << "the island";
  EXPECT_GE(luma(f, 143, 143), 230) << "outside the rounded corner, the background";
  EXPECT_LT(luma(f, 141 - 20, 1419), 40) << "the bezel";
  for (int y = 0; y < f.height; y += 7)
    for (int x : {0, 40, 80, 1461 - 40})
      ASSERT_GE(luma(f, x, y), 230) << "the white background at " << x << "," << y;

  // A light band on an iPhone SE (scale 2, square corners, no cutout), on
  // nothing, over a page that paints only its white top 40 px: dark glyphs,
  // the bar's pixels the same from frame to frame, and nothing where the
  // page paints nothing.
  for (const char* form : {"mov", "webm"}) {
    const fs::path out = dir_ / (std::string("light.") + form);
    MovieInfo light =
        recorded(run({"--barra-de-status", "--moldura", "--fundo-da-moldura", "transparente",
                      "--fundo-transparente", "--formato", form, "--aparelho", "iphone-se",
                      pageUrl("pattern.html", "h=100&bg=transparent&top=white"), out}),
                 out);
    const AVFrame &first = *light.frames.front(), &last = *light.frames.back();
    const int screen = 60 + 30;               // 750 px wide: 30 of bezel, 60 of margin
    const int paintedTop = screen + 40 + 40;  // below the 20 pt band
    // Both keep alpha exactly: nothing is nothing, in every frame.
    for (const AVFrame* f : {&first, &last}) {
      EXPECT_EQ(alpha(*f, 2, 2), 0) << form << ": nothing around the phone";
      EXPECT_EQ(alpha(*f, f->width / 2, f->height / 2), 0) << form << ": no page";
      EXPECT_EQ(alpha(*f, f->width / 2, paintedTop), 255) << form << ": the page's top";
      EXPECT_GT(alpha(*f, f->width / 2, screen + 4), 240) << form << ": its band";
    }
    // A page painted half transparent keeps its own alpha in every frame.
    const fs::path half = dir_ / "half.html";
    writeFile(half,
              "<html style='background:transparent'><body style='margin:0;background:none'>"
              "<div style='height:3000px;background:rgba(0,0,255,0.5)'></div></body></html>");
    for (bool frameByFrame : {true, false}) {
      if (!frameByFrame && form != std::string("mov")) continue;
      const fs::path scrolled = dir_ / (std::string("half.") + form);
      std::vector<std::string> args = {"--velocidade",
                                       "1000",
                                       "--formato",
                                       form,
                                       "--fundo-transparente",
                                       "file://" + half.string(),
                                       "390",
                                       "844",
                                       "1",
                                       "47",
                                       scrolled};
      if (frameByFrame) args.insert(args.begin(), "--quadro-a-quadro");
      MovieInfo h = recorded(run(args), scrolled);
      for (size_t i : {0, 5, 50})
        EXPECT_NEAR(alpha(*h.frames.at(i), 195, 422), 128, 10) << form << frameByFrame << i;
    }
    if (form != std::string("mov")) continue;
    EXPECT_NE(readText(first, screen + 250, screen, 250, 40).find("9:41"), std::string::npos);
    for (int y = screen; y < screen + 40; ++y)
      for (int x = screen; x < screen + 750; ++x)
        ASSERT_EQ(luma(first, x, y), luma(last, x, y)) << "the bar at " << x << "," << y;
  }
}

// A storyboard on a page of a menu, a search box and a login form, at scale
// 1 under a 47 px band. Frame by frame: the menu opens at the tap's frame,
// the disc is centred on what was tapped, and the page got one click a tap
// (a fixed strip logs them: red for the menu's button, blue for its third
// item); typed text grows by one key every six frames; a login before the
// recording is not filmed, and its password, taken from the environment,
// shows in no process's arguments, no report and no file. In real time the
// same steps give the same clicks.
TEST_F(RecorderTest, AStoryboardTapsTypesAndLogsInBeforeTheRecording) {
  const std::string page = pageUrl("story.html");
  auto storyboard = [&](const std::string& name, const std::string& text) {
    writeFile(dir_ / name, text);
    return (dir_ / name).string();
  };
  const std::string menu = storyboard(
      "menu.txt", "pausa 0.5\ntocar .abrir-menu\npausa 1\ntocar .item-3\nrolar-ate fim\n");
  auto clicksLogged = [&](const AVFrame& last) {
    std::string marks;
    for (int x : {5, 20, 35}) {
      const Rgb p = pixelAt(last, x, 844 - 5);
      marks += p.r > 200 && p.b < 80 ? 'r' : p.b > 200 && p.r < 80 ? 'b' : p.r > 200 ? '-' : '?';
    }
    return marks;
  };
  // The centre of what changed between two frames near (x, y), in CSS px.
  auto discCentre = [](const AVFrame& before, const AVFrame& at, int x, int y) {
    double sx = 0, sy = 0, n = 0;
    for (int v = y - 30; v <= y + 30; ++v)
      for (int u = x - 30; u <= x + 30; ++u) {
        const Rgb a = pixelAt(before, u, v), b = pixelAt(at, u, v);
        if (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 30)
          sx += u, sy += v, ++n;
      }
    return std::make_pair(sx / std::max(n, 1.0), sy / std::max(n, 1.0));
  };
  const fs::path out = dir_ / "menu.mp4";
  const Outcome framed = run({"--quadro-a-quadro", "--json", "--velocidade", "2000", "--roteiro",
                              menu, page, "390", "844", "1", "47", out});
  ASSERT_EQ(framed.status, 0) << framed.err;
  EXPECT_NE(framed.out.find(R"({"linha": 2, "passo": "tocar .abrir-menu", "segundos": 0.5}, )"
                            R"({"linha": 3, "passo": "pausa 1", "segundos": 0.65}, )"
                            R"({"linha": 4, "passo": "tocar .item-3", "segundos": 1.65})"),
            std::string::npos)
      << framed.out;
  MovieInfo m = probeMovie(out);
  ASSERT_GT(m.frames.size(), 120u);
  expectColour(*m.frames[29], 200, 47 + 150, {255, 255, 255});
  expectColour(*m.frames[30], 200, 47 + 150, {0, 0, 204}, 16);  // open at the tap's frame
  auto [bx, by] = discCentre(*m.frames[29], *m.frames[30], 80, 47 + 40);
  EXPECT_NEAR(bx, 80, 2);
  EXPECT_NEAR(by, 47 + 40, 2);
  auto [ix, iy] = discCentre(*m.frames[98], *m.frames[99], 195, 47 + 234);
  EXPECT_NEAR(ix, 195, 2);
  EXPECT_NEAR(iy, 47 + 234, 2);
  EXPECT_EQ(clicksLogged(*m.frames.back()), "rb-");

  // With a zoom on each touch the taps still land, the camera in on them.
  const fs::path zoomedMenu = dir_ / "zoomed-menu.mp4";
  const Outcome zoomedRun =
      run({"--quadro-a-quadro", "--json", "--velocidade", "2000", "--zoom-nos-toques", "2",
           "--roteiro", menu, page, "390", "844", "1", "47", zoomedMenu});
  EXPECT_NE(
      zoomedRun.out.find(R"x({"linha": 2, "passo": "zoom .abrir-menu 2 (--zoom-nos-toques)", )x"
                         R"x("segundos": 0.5}, {"linha": 2, "passo": "tocar .abrir-menu", )x"
                         R"x("segundos": 0.9})x"),
      std::string::npos)
      << zoomedRun.out;
  EXPECT_EQ(clicksLogged(*probeMovie(zoomedMenu).frames.back()), "rb-");
  // Zoomed on one element, a tap on another the camera does not show: the
  // camera goes to it first.
  const fs::path panned = dir_ / "panned.mp4";
  const MovieInfo p =
      recorded(run({"--quadro-a-quadro", "--roteiro",
                    storyboard("panned.txt", "zoom #alvo 4\ntocar .abrir-menu\nzoom 1\n"),
                    pageUrl("story.html", "gestos=1"), "390", "844", "1", "47", panned}),
               panned);
  EXPECT_EQ(clicksLogged(*p.frames.back()), "r--");

  const fs::path live = dir_ / "live.mp4";
  MovieInfo l = recorded(
      run({"--velocidade", "2000", "--roteiro", menu, page, "390", "844", "1", "47", live}), live);
  EXPECT_EQ(clicksLogged(*l.frames.back()), "rb-");

  // Text that matches --redigir-texto is covered as the key that makes it
  // match lands: the field's text, dark on white, no longer shows.
  const fs::path typed = dir_ / "typed.mp4";
  MovieInfo t =
      recorded(run({"--quadro-a-quadro", "--redigir-texto", "zize", "--sem-teclado", "--roteiro",
                    storyboard("busca.txt", "pausa 0.2\ndigitar #busca vuzizeri\n"), page, "390",
                    "844", "1", "47", typed}),
               typed);
  auto ink = [&](int frame) {
    int dark = 0;
    for (int y = 350; y < 372; ++y)
      for (int x = 22; x < 300; ++x) dark += pixelAt(*t.frames[frame], x, y).g < 100;
    return dark;
  };
  EXPECT_GT(ink(36), 20);  // "vuzi"
  for (int frame = 0; frame < 80; ++frame) {
    int width = 0;
    while (width < 120 && pixelAt(*t.frames[frame], width, 47 + 360).r < 128) ++width;
    const int keys = frame < 12 ? 0 : std::min(8, (frame - 12) / 6 + 1);
    EXPECT_NEAR(width, 10 * keys, 1) << "frame " << frame;
    if (frame >= 42) {
      EXPECT_EQ(ink(frame), 0) << "frame " << frame;
    }
  }
  EXPECT_GT(pixelAt(*t.frames[60], 195, 844 - 20).r, 240) << "no keyboard";

  // A swipe that the page follows, one it lets scroll a strip, a press held
  // a second, each read back from the page's bars; then a caption read while
  // it shows, its emoji as high as its words, and a title card after it,
  // both in the WebVTT file at the steps' times.
  const fs::path gestures = dir_ / "gestures.mp4", cues = dir_ / "cues.vtt";
  MovieInfo g = recorded(
      run({"--quadro-a-quadro", "--legendas", cues, "--roteiro",
           storyboard(
               "gestos.txt",
               "pausa 0.2\ndeslizar #carrossel esquerda 200\ntocar-longo #segurar 1\n"
               "deslizar #faixa esquerda 160\ndestaque #alvo 0.3\npausa 0.3\ncapitulo Palavras\n"
               "legenda 1 Toque para abrir \xF0\x9F\x98\x80\n"
               "pausa 1\ntitulo 0.5 Fim do passeio\nzoom #alvo 2\npausa 0.5\nzoom 1\n"),
           pageUrl("story.html", "gestos=1"), "390", "844", "1", "47", gestures}),
      gestures);
  ASSERT_EQ(g.chapters.size(), 2u);
  EXPECT_EQ(g.chapters[0], std::make_pair(std::string("Início"), 0.0));
  EXPECT_EQ(g.chapters[1].first, "Palavras");
  EXPECT_NEAR(g.chapters[1].second, 2.1, 1.0 / 60);
  EXPECT_EQ(slurp(cues),
            "WEBVTT\n\n1\n00:00:02.100 --> 00:00:03.100\nToque para abrir \xF0\x9F\x98\x80\n\n"
            "2\n00:00:03.100 --> 00:00:03.600\nFim do passeio\n");
  auto readText = [&](const AVFrame& f, int y0, int h) {
    std::string image = "P5 390 " + std::to_string(h) + " 255\n";
    for (int y = y0; y < y0 + h; ++y)
      for (int x = 0; x < 390; ++x)
        image += static_cast<char>(255 - f.data[0][y * f.linesize[0] + x]);
    writeFile(dir_ / "words.pgm", image);
    return test_runs::run("/usr/bin/tesseract", {dir_ / "words.pgm", "-", "--psm", "6"}, dir_).out;
  };
  ASSERT_GT(g.frames.size(), 220u);
  EXPECT_NE(readText(*g.frames[150], 750, 94).find("Toque para abrir"), std::string::npos);
  int emojiRows = 0;  // the caption's emoji, as high as its words
  for (int y = 600; y < 844; ++y)
    for (int x = 0; x < 390; ++x)
      if (const Rgb c = pixelAt(*g.frames[150], x, y); c.r > 200 && c.g > 150 && c.b < 80) {
        ++emojiRows;
        break;
      }
  EXPECT_NEAR(emojiRows, 18, 4);
  EXPECT_EQ(readText(*g.frames.back(), 750, 94).find("Toque"), std::string::npos) << "gone";
  EXPECT_NE(readText(*g.frames[200], 400, 100).find("Fim do passeio"), std::string::npos);
  // A tap on a select opens iOS's menu of its options under it; escolher
  // picks one, then a date, and the page's change handlers see both.
  const fs::path chosen = dir_ / "chosen.mp4";
  MovieInfo c = recorded(run({"--quadro-a-quadro", "--roteiro",
                              storyboard("escolha.txt",
                                         "pausa 0.2\ntocar #cor\npausa 1\nescolher #cor Azul\n"
                                         "escolher #dia 2026-12-24\npausa 0.5\n"),
                              pageUrl("story.html", "escolha=1"), "390", "844", "1", "47", chosen}),
                         chosen);
  EXPECT_EQ(readText(*c.frames[6], 47 + 468, 180).find("Amarelo"), std::string::npos);
  // escolher picks from the menu the tap left open: no second tap on the
  // select (its centre as it was before escolher began at 1.35 s).
  for (int frame : {82, 88})
    expectColour(*c.frames[frame], 120, 47 + 440, pixelAt(*c.frames[78], 120, 47 + 440), 6);
  const std::string options = readText(*c.frames[60], 47 + 468, 180);
  for (const char* option : {"Vermelho", "Azul", "Amarelo"})
    EXPECT_NE(options.find(option), std::string::npos) << options;
  EXPECT_NE(readText(*c.frames.back(), 47 + 110, 50).find("Azul 2026-12-24 4"), std::string::npos);
  const std::string select = readText(*c.frames.back(), 47 + 420, 40);
  EXPECT_NE(select.find("Azul"), std::string::npos) << "the select shows it too: " << select;
  // The ring around the box while it shows, and not before.
  auto ring = [&](const AVFrame& f) {
    int n = 0;
    for (int y = 47 + 236; y < 47 + 304; ++y)
      for (int x = 151; x < 239; ++x)
        if (const Rgb c = pixelAt(f, x, y); c.r > 200 && c.g > 150 && c.b < 80) ++n;
    return n;
  };
  EXPECT_GT(ring(*g.frames[118]), 200);
  EXPECT_EQ(ring(*g.frames[100]), 0);
  // Zoomed twice, the box is four times as large and centred in the view;
  // after zoom 1, as it was.
  auto magenta = [&](const AVFrame& f) {
    double n = 0, sx = 0, sy = 0;
    for (int y = 47; y < 844; ++y)
      for (int x = 0; x < 390; ++x)
        if (const Rgb c = pixelAt(f, x, y); c.r > 200 && c.g < 80 && c.b > 200)
          ++n, sx += x, sy += y;
    return std::array<double, 3>{n, sx / std::max(n, 1.0), sy / std::max(n, 1.0)};
  };
  const auto zoomed = magenta(*g.frames[258]), after = magenta(*g.frames.back());
  EXPECT_NEAR(zoomed[0], 4 * 60 * 40, 0.15 * 4 * 60 * 40);
  EXPECT_NEAR(zoomed[1], 195, 40);
  EXPECT_NEAR(zoomed[2], 47 + 797 / 2.0, 40);
  EXPECT_NEAR(after[0], 60 * 40, 0.15 * 60 * 40);
  auto barWidth = [&](int top) {
    int width = 0;
    while (width < 390 && pixelAt(*g.frames.back(), width, 47 + top + 5).r < 128) ++width;
    return width;
  };
  EXPECT_GE(barWidth(600), 40) << "at least 10 touchmoves";
  EXPECT_NEAR(barWidth(620), 50, 5) << "the carousel followed the finger 200 px";
  EXPECT_NEAR(barWidth(640), 40, 4) << "the strip scrolled 160 px under it";
  EXPECT_NEAR(barWidth(660), 100, 10) << "held a second";

  // The keyboard, up while digitar types into a field low on the page, which
  // is brought above it, the page's visual viewport as much shorter; its
  // keys popping up, but none of a password from the environment; gone
  // within 0.6 s of a tap elsewhere; the number pad for a numeric field.
  const fs::path keyed = dir_ / "keyed.mp4";
  const Outcome keyedRun =
      run({"--quadro-a-quadro", "--json", "--velocidade", "2000", "--roteiro",
           storyboard("teclado.txt",
                      "pausa 0.2\ndigitar #baixo Vuzo\ndigitar #segredo $SEGREDO_DO_TESTE\n"
                      "pausa 0.3\ntocar #fora\npausa 0.8\ndigitar #numero 42\npausa 0.5\n"),
           pageUrl("story.html", "teclado=1"), "390", "844", "1", "47", keyed},
          {"SEGREDO_DO_TESTE=oooo"});
  ASSERT_EQ(keyedRun.status, 0) << keyedRun.err;
  MovieInfo k = probeMovie(keyed);
  auto keyboardUp = [](const AVFrame& f) {
    const Rgb c = pixelAt(f, 195, 844 - 20);
    return c.r > 150 && c.r < 235;
  };
  auto viewBar = [](const AVFrame& f) {
    int width = 0;
    while (width < 390 && pixelAt(f, width, 47 + 5).r < 128) ++width;
    return width;
  };
  auto orangeRows = [](const AVFrame& f) {
    std::pair<int, int> rows{844, 0};
    for (int y = 47; y < 844; ++y)
      if (const Rgb c = pixelAt(f, 100, y); c.r > 200 && c.g > 90 && c.g < 170 && c.b < 80)
        rows = {std::min(rows.first, y), y};
    return rows;
  };
  // The keys' rows read at twice their size.
  auto readKeys = [&](const AVFrame& f) {
    const int top = 844 - 335 + 44;
    std::string image = "P5 780 432 255\n";
    for (int y = 0; y < 432; ++y)
      for (int x = 0; x < 780; ++x) image += static_cast<char>(pixelAt(f, x / 2, top + y / 2).g);
    writeFile(dir_ / "keys.pgm", image);
    std::string text =
        test_runs::run("/usr/bin/tesseract", {dir_ / "keys.pgm", "-", "--psm", "6"}, dir_).out;
    std::erase_if(text, [](char c) { return c == ' '; });
    return text;
  };
  ASSERT_GT(k.frames.size(), 200u);
  EXPECT_FALSE(keyboardUp(*k.frames[11]));
  EXPECT_GT(orangeRows(*k.frames[11]).second, 844 - 335) << "under the keyboard's place";
  EXPECT_NEAR(viewBar(*k.frames[11]), 797 / 4, 1);
  ASSERT_TRUE(keyboardUp(*k.frames[33]));
  EXPECT_LT(orangeRows(*k.frames[33]).second, 844 - 335) << "brought above it";
  EXPECT_NEAR(viewBar(*k.frames[33]), (797 - 335) / 4, 1);
  // The o's balloon rises over the predictive bar while it is pressed.
  auto popped = [&](int frame) { return pixelAt(*k.frames[frame], 308, 844 - 335 + 8).r > 245; };
  EXPECT_TRUE(popped(33));
  for (int frame : {40, 46, 52, 58}) EXPECT_FALSE(popped(frame)) << "a secret, frame " << frame;
  const std::string letters = readKeys(*k.frames[61]);
  EXPECT_NE(letters.find("qwert"), std::string::npos) << letters;
  EXPECT_NE(letters.find("asdfg"), std::string::npos) << letters;
  const size_t tapAt = keyedRun.out.find(R"("tocar #fora", "segundos": )");
  ASSERT_NE(tapAt, std::string::npos) << keyedRun.out;
  const int tapFrame =
      static_cast<int>(std::lround(60 * std::stod(keyedRun.out.substr(tapAt + 27))));
  EXPECT_TRUE(keyboardUp(*k.frames[tapFrame - 1]));
  EXPECT_FALSE(keyboardUp(*k.frames[tapFrame + 36])) << "gone 0.6 s after the tap";
  EXPECT_NEAR(viewBar(*k.frames[tapFrame + 36]), 797 / 4, 1);
  const AVFrame& pad = *k.frames.back();
  ASSERT_TRUE(keyboardUp(pad));
  int keysAcross = 0;  // white keys along the first row, by their tops
  for (int x = 1; x < 390; ++x)
    keysAcross +=
        pixelAt(pad, x, 844 - 291 + 9).r > 245 && pixelAt(pad, x - 1, 844 - 291 + 9).r <= 245;
  EXPECT_EQ(keysAcross, 3) << "the number pad";
  EXPECT_EQ(readKeys(pad).find("qwert"), std::string::npos);
  // In real time, and dark with --esquema escuro.
  const fs::path dark = dir_ / "dark-keys.mp4";
  MovieInfo dk =
      recorded(run({"--esquema", "escuro", "--velocidade", "2000", "--roteiro",
                    storyboard("escuro.txt", "pausa 0.2\ndigitar #busca ab\npausa 0.6\n"), page,
                    "390", "844", "1", "47", dark}),
               dark);
  const Rgb under = pixelAt(*dk.frames.back(), 195, 844 - 20);
  EXPECT_LT(under.r + under.g + under.b, 3 * 60);
  EXPECT_GT(pixelAt(*dk.frames.back(), 5, 300).r, 240) << "the page stays white";
  // Zoomed in on the field while it types, it is above the keyboard once
  // the camera is back.
  const fs::path zoomedKeys = dir_ / "zoomed-keys.mp4";
  MovieInfo zk =
      recorded(run({"--quadro-a-quadro", "--zoom-nos-toques", "2", "--roteiro",
                    storyboard("zoom-teclado.txt", "digitar #baixo oi\npausa 0.3\n"),
                    pageUrl("story.html", "teclado=1"), "390", "844", "1", "47", zoomedKeys}),
               zoomedKeys);
  ASSERT_TRUE(keyboardUp(*zk.frames.back()));
  const auto [fieldTop, fieldBottom] = orangeRows(*zk.frames.back());
  EXPECT_GT(fieldBottom, fieldTop) << "the field shows";
  EXPECT_LT(fieldBottom, 844 - 335) << "above the keyboard";

  const std::string password = "p4ss-de-teste";
  const std::string login = storyboard(
      "login.txt", "digitar #usuario ana\ndigitar #senha $SENHA_DO_TESTE\ntocar #entrar\nantes\n");
  const fs::path in = dir_ / "in.mp4";
  const pid_t pid = start({"--quadro-a-quadro", "--roteiro", login,
                           pageUrl("story.html", "login=1"), "390", "844", "1", "47", in},
                          "login", {"SENHA_DO_TESTE=" + password});
  std::string seen;
  const fs::path state = "/proc/" + std::to_string(pid) + "/stat";
  for (int i = 0; i < 200 && slurp(state).find(") Z ") == std::string::npos; ++i) {
    for (const auto& process : fs::directory_iterator("/proc"))
      if (slurp(process.path() / "cmdline").find(password) != std::string::npos)
        seen += process.path().string() + " ";
    usleep(50000);
  }
  const Outcome logged = wait(pid, dir_, "login");
  EXPECT_EQ(seen, "") << "the password in an argument list";
  MovieInfo li = recorded(logged, in);
  expectColour(*li.frames.front(), 300, 47 + 50, {0, 170, 0}, 16);  // logged in, not filmed
  EXPECT_EQ((logged.out + logged.err + slurp(in)).find(password), std::string::npos);
}

// A side menu parked beside the screen, its shadow reaching in, is kept out
// of the picture while it is there (the engine would otherwise repaint the
// whole view at every scroll) and is back in the first frame it reaches:
// once the page opens it at 300 px, it slides in 8.75 px a frame over 0.4 s
// frame by frame, and its first frame on screen shows one step of it at
// most, in real time a few.
TEST_F(RecorderTest, AMenuBesideTheScreenSlidesInWhenThePageOpensIt) {
  for (const bool exact : {true, false}) {
    const fs::path out = dir_ / (exact ? "exact.mp4" : "real.mp4");
    std::vector<std::string> args = {
        pageUrl("pattern.html", "h=1000&drawer=300"), "200", "400", "1", "20", out};
    if (exact) args.insert(args.begin(), "--quadro-a-quadro");
    const MovieInfo m = recorded(run(args), out);
    const char* mode = exact ? "frame by frame" : "real time";
    std::vector<int> shown;  // CSS px of red menu from the left edge, a frame
    for (const media::FramePtr& f : m.frames) {
      int x = 0;
      while (x < f->width && pixelAt(*f, x, 200).r > 150 && pixelAt(*f, x, 200).g < 80) ++x;
      shown.push_back(x);
    }
    const auto first = std::find_if(shown.begin(), shown.end(), [](int x) { return x > 0; });
    ASSERT_NE(first, shown.end()) << mode;
    const size_t at = static_cast<size_t>(first - shown.begin());
    EXPECT_LE(shown[at], exact ? 9 : 40) << mode << ": frame " << at;
    EXPECT_EQ(shown.back(), 200) << mode;
    if (!exact) continue;
    EXPECT_NEAR(static_cast<double>(at), 300.0 / 250 * 60 + 2, 2) << "opened at 300 px";
    for (size_t i = at + 1; i < at + 20; ++i)
      EXPECT_NEAR(shown[i] - shown[i - 1], 8.75, 1.5) << "frame " << i;
  }
}

double rms(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += s[i] * s[i];
  return std::sqrt(sum / static_cast<double>(std::max<size_t>(1, to - from)));
}

// The scroll directed: a stretch between two sections with a hold on the
// way (frame by frame exactly, in real time on the page's clock), and a
// looping clip with music. Offsets are read from the numbered bars.
TEST_F(RecorderTest, DirectedScrollHoldsStartsEndsAndComesBackWithMusic) {
  auto offsets = [](const MovieInfo& m) {
    std::vector<double> read;
    for (const auto& f : m.frames)
      read.push_back(
          scroll_pattern::offsetOf({0, f->width, f->height, f->linesize[0], f->data[0]}, 20, 1.0)
              .value_or(-1));
    return read;
  };
  const std::string page = pageUrl("pattern.html", "h=1500");
  for (const char* mode : {"--quadro-a-quadro", "--velocidade"}) {
    const bool exact = mode == std::string("--quadro-a-quadro");
    fs::path out = dir_ / (std::string(mode + 2) + ".mp4");
    Outcome r = run({mode, exact ? "--json" : "250", "--pausa", "#s3=1", "--de", "#s2", "--ate",
                     "#s5", page, "200", "400", "1", "20", out});
    ASSERT_EQ(r.status, 0) << r.err;
    MovieInfo m = probeMovie(out);
    const std::vector<double> at = offsets(m);
    ASSERT_GT(at.size(), 120u);
    EXPECT_NEAR(at.front(), 200, 0.5) << mode;
    EXPECT_NEAR(at.back(), 500, 0.5) << mode;
    std::vector<size_t> held;  // the frames at section 3
    for (size_t i = 0; i < at.size(); ++i)
      if (std::abs(at[i] - 300) < 0.5) held.push_back(i);
    ASSERT_FALSE(held.empty()) << mode;
    if (!exact) {
      const double seconds =
          static_cast<double>(m.packetPts[held.back()] - m.packetPts[held.front()]) / 600;
      EXPECT_NEAR(seconds, 1.0, 0.15) << "held in real time";
      continue;
    }
    EXPECT_NEAR(static_cast<double>(held.size()), 60, 1);
    EXPECT_EQ(at.size(), 72 + held.size() + 60) << "200 to 500 at 250 px/s, the hold, the end";
    // The report, as a script reads it, agrees with the file: its length is
    // its frames', the last one's included.
    Outcome json = test_runs::run(
        "/usr/bin/python3",
        {"-c",
         "import json, sys; d = json.loads(sys.argv[1]); "
         "print(d['arquivo'], d['bytes'], d['quadros'], round(d['segundos'] * 60), d['modo'], "
         "d['velocidade'], d['de'], d['ate'], d['pausas'][0]['posicao'], d['ida_e_volta'])",
         r.out},
        dir_);
    EXPECT_EQ(json.out, out.string() + " " + std::to_string(fs::file_size(out)) + " " +
                            std::to_string(at.size()) + " " + std::to_string(at.size()) +
                            " quadro-a-quadro 250 200 500 300 False\n")
        << r.out << json.err;
  }

  // A page that grows under the plan is followed, and the report says where
  // the scroll ended; a path of any bytes still makes JSON.
  const fs::path grown = dir_ / "grown\xff\xfe.mp4";
  Outcome g = run({"--quadro-a-quadro", "--velocidade", "500", "--json",
                   pageUrl("pattern.html", "h=800&grow=400"), "200", "400", "1", "20", grown});
  ASSERT_EQ(g.status, 0) << g.err;
  EXPECT_NE(g.out.find("\"ate\": 820"), std::string::npos) << g.out;
  EXPECT_NE(g.out.find("grown\ufffd\ufffd.mp4\""), std::string::npos) << g.out;

  // The sound is the one given at start, even once its file is gone.
  fs::path loop = dir_ / "loop.mp4", tone = dir_ / "tone.wav";
  // A second of a 440 Hz tone, 16-bit mono at 44.1 kHz.
  const char* wav =
      "import math, struct, sys, wave; w = wave.open(sys.argv[1], 'wb'); w.setparams((1, 2, 44100, "
      "0, 'NONE', '')); w.writeframes(b''.join(struct.pack('<h', int(12000 * math.sin(2 * math.pi "
      "* 440 * i / 44100))) for i in range(44100)))";
  ASSERT_EQ(test_runs::run("/usr/bin/python3", {"-c", wav, tone}, dir_).status, 0);
  const pid_t looping =
      start({"--quadro-a-quadro", "--ida-e-volta", "--suave", "0.3", "--audio", tone,
             pageUrl("pattern.html", "h=1000&fixed=1"), "200", "400", "1", "20", loop});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  fs::remove(tone);
  MovieInfo m = recorded(wait(looping, dir_), loop);
  const std::vector<double> at = offsets(m);
  EXPECT_NEAR(*std::max_element(at.begin(), at.end()), 620, 0.5) << "down to the end";
  EXPECT_NEAR(at.front(), 0, 0.5);
  EXPECT_NEAR(at.back(), 0, 0.5) << "the clip ends on its first picture";
  // The tone, looped under the whole video, fades out over its last 2 s.
  ASSERT_TRUE(m.sound);
  const MovieInfo::Sound& s = *m.sound;
  EXPECT_EQ(std::tie(s.codec, s.sampleRate, s.channels),
            std::make_tuple(AV_CODEC_ID_AAC, 48000, 2));
  EXPECT_NEAR(static_cast<double>(s.bitRate), 192000, 20000);
  EXPECT_TRUE(s.interleaved);
  const double videoSeconds = static_cast<double>(m.streamDuration) / 600;
  ASSERT_NEAR(static_cast<double>(s.left.size()) / 48000, videoSeconds, 0.03);
  const size_t n = s.left.size(), second = 48000;
  const double full = rms(s.left, n - 4 * second, n - 3 * second);  // the tone, looped
  EXPECT_NEAR(full, 12000.0 / 32768 / 2, 0.02) << "a sine's RMS, mono spread at -3 dB a channel";
  EXPECT_NEAR(rms(s.left, n - second - 2400, n - second + 2400), full / 2, full / 8)
      << "half way down";
  EXPECT_LT(rms(s.left, n - 2400, n), full / 15) << "silent at the end";
}

// One recording in three parts, each made on its own and put together in
// any order, or made at once with --paralelo, equals a whole run: the same
// frames at the same times, each at the same offset, under a band of the
// same colours, with what the page revealed as it scrolled by shown as far
// as in the whole run, and the scroll indicator as it shows there. A set
// that is not every part of one recording, whole
// and once each, is refused, and the output then stays as it was.
TEST_F(RecorderTest, PartsJoinedEqualAWholeRun) {
  const std::string page = pageUrl("pattern.html", "h=1500&top=%23cc3366&reveal=1");
  // The JSON report's length and frames, and whether it says "de".
  auto reported = [](const std::string& json) {
    std::smatch m;
    EXPECT_TRUE(
        std::regex_search(json, m, std::regex(R"("segundos": ([0-9.]+), "quadros": (\d+))")))
        << json;
    return std::make_tuple(m.empty() ? 0 : std::stod(m[1]), m.empty() ? 0 : std::stoi(m[2]),
                           json.find("\"de\"") != std::string::npos);
  };
  auto record = [&](const std::string& name, std::vector<std::string> options,
                    const std::string& url) {
    fs::path out = dir_ / name;
    options.insert(options.end(), {"--json", "--quadro-a-quadro", "--indicador-de-rolagem", url,
                                   "200", "400", "1", "20", out});
    Outcome r = run(options);
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    // A whole run or a part lasts its frames, the last one's time included.
    const auto [seconds, frames, directed] = reported(r.out);
    EXPECT_NEAR(seconds, frames / 60.0, 1e-6) << r.out;
    EXPECT_FALSE(directed) << "a plain scroll, in parts or not";
    return out.string();
  };
  const std::string whole = record("whole.mp4", {}, page);
  std::vector<std::string> parts;
  for (int k = 1; k <= 3; ++k)
    parts.push_back(
        record("part" + std::to_string(k) + ".mp4", {"--trecho", std::to_string(k) + "/3"}, page));
  fs::path joined = dir_ / "joined.mp4", atOnce = dir_ / "at-once.mp4";
  Outcome r = test_runs::run(JUNTAR_BINARY, {joined, parts[2], parts[0], parts[1]}, dir_);
  const MovieInfo a = probeMovie(whole);
  Outcome parallel = run({"--quadro-a-quadro", "--json", "--indicador-de-rolagem", "--paralelo",
                          "3", page, "200", "400", "1", "20", atOnce});
  ASSERT_EQ(parallel.status, 0) << parallel.err;
  EXPECT_EQ(reported(parallel.out),
            std::make_tuple(a.frames.size() / 60.0, static_cast<int>(a.frames.size()), false));
  for (const MovieInfo& b : {recorded(r, joined), probeMovie(atOnce)}) {
    ASSERT_EQ(b.packetPts, a.packetPts);
    ASSERT_EQ(b.frames.size(), a.frames.size());
    EXPECT_EQ(b.streamDuration, a.streamDuration);
    for (size_t i = 0; i < a.frames.size(); ++i) {
      const AVFrame &x = *a.frames[i], &y = *b.frames[i];
      auto offset = [](const AVFrame& f) {
        return scroll_pattern::offsetOf({0, f.width, f.height, f.linesize[0], f.data[0]}, 20, 1.0);
      };
      ASSERT_EQ(offset(x).has_value(), offset(y).has_value()) << "frame " << i;
      if (offset(x)) {
        EXPECT_NEAR(*offset(x), *offset(y), 0.5) << "half a device pixel, frame " << i;
      }
      const Rgb band = pixelAt(x, 100, 10);
      expectColour(y, 100, 10, band, 3);
      // The boxes revealed as they came into view, faded in as far; the
      // indicator's column as dark.
      for (int row = 20; row < x.height; ++row) {
        EXPECT_NEAR(x.data[0][row * x.linesize[0] + 190], y.data[0][row * y.linesize[0] + 190], 40)
            << "frame " << i << ", row " << row;
        EXPECT_NEAR(x.data[0][row * x.linesize[0] + 195], y.data[0][row * y.linesize[0] + 195], 40)
            << "frame " << i << ", row " << row;
      }
    }
  }

  // A part of another page, a part cut short, a copy of a part named as the
  // output.
  const std::string other =
      record("other.mp4", {"--trecho", "2/3"}, pageUrl("pattern.html", "h=1600"));
  const fs::path cut = dir_ / "cut.mp4", copy = dir_ / "copy.mp4", keep = dir_ / "keep.mp4",
                 damaged = dir_ / "damaged.mp4";
  std::string second = slurp(parts[1]);
  writeFile(cut, second.substr(0, second.size() / 2));
  second.replace(second.size() * 3 / 5, 400, 400, '\0');  // its index whole
  writeFile(damaged, second);
  fs::copy_file(parts[0], copy);
  writeFile(keep, "old");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{keep, parts[0], parts[1]}, "não foi possível juntar os trechos: falta o trecho 3/3\n"},
      {{keep, parts[0], parts[0], parts[1], parts[2]},
       "não foi possível juntar os trechos: " + parts[0] + ": o trecho 1/3 já é " + parts[0] +
           "\n"},
      {{keep, parts[0], cut, parts[2]},
       "não foi possível juntar os trechos: " + cut.string() + ": está incompleto: "},
      {{keep, parts[0], damaged, parts[2]},
       "não foi possível juntar os trechos: " + damaged.string() + ": está danificado: "},
      {{keep, parts[0], other, parts[2]},
       "não foi possível juntar os trechos: " + other + ": é de outra gravação que " + parts[0]},
      {{keep, whole},
       "não foi possível juntar os trechos: " + whole + ": não é um trecho de vuzizeri --trecho"},
      {{(dir_ / "." / "copy.mp4").string(), copy, parts[1], parts[2]},
       "a saída é um dos trechos: "},
      {{dir_, parts[0], parts[1], parts[2]}, "a saída é uma pasta: "},
  };
  for (const auto& [args, message] : refused) {
    Outcome refusal = test_runs::run(JUNTAR_BINARY, args, dir_);
    EXPECT_EQ(refusal.status, 1) << message;
    EXPECT_EQ(refusal.err.rfind(message, 0), 0u) << refusal.err;
  }
  EXPECT_EQ(slurp(keep), "old");
  EXPECT_EQ(slurp(copy), slurp(parts[0]));

  // A part killed: the run says how it ended, and leaves the output alone.
  const pid_t killed = start({"--quadro-a-quadro", "--paralelo", "2",
                              pageUrl("pattern.html", "h=20000"), "200", "400", "1", "20", keep});
  for (int i = 0; i < 300; ++i, usleep(50000)) {
    bool found = false;
    for (const auto& process : fs::directory_iterator("/proc")) {
      const std::string line = slurp(process.path() / "cmdline");
      if (line.find(std::string("--trecho\0"
                                "2/2",
                                12)) == std::string::npos)
        continue;
      found = kill(std::stoi(process.path().filename()), SIGKILL) == 0 || found;
    }
    if (found) break;
  }
  const Outcome ended = wait(killed, dir_);
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.err, "trecho 2/2: morto pelo sinal 9 (SIGKILL)\n");
  EXPECT_EQ(slurp(keep), "old");
}

// Pictures that arrive 0.4 s late: frame by frame waits for them, real time
// loads them first with --pre-carregar; no frame shows an empty grey box.
// Frame by frame, the page's own clock follows the video: its bar moves
// 2.5 CSS px a frame, 150 px a second of video, however slow the recording.
TEST_F(RecorderTest, LatePicturesAndThePageClocksFrameByFrame) {
  std::map<std::string, PageServer::Response> routes = {
      {"/", {.body = slurp(fs::path(TEST_PAGES_DIR) / "late.html")}}};
  for (int i = 0; i < 10; ++i)
    routes["/img?" + std::to_string(i)] = {
        .headers = "Content-Type: image/svg+xml\r\n",
        .body =
            "<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'>"
            "<rect width='9' height='9' fill='#1a1'/></svg>",
        .delayMs = 400};
  PageServer server(routes);
  for (const char* mode : {"--quadro-a-quadro", "--pre-carregar"}) {
    fs::path out = dir_ / (std::string(mode + 2) + ".mp4");
    MovieInfo m = recorded(run({mode, server.url(), "200", "400", "1", "0", out}), out);
    ASSERT_GT(m.frames.size(), 200u) << mode;
    for (size_t i = 0; i < m.frames.size(); ++i) {
      const AVFrame& f = *m.frames[i];
      int grey = 0;  // rows of #ccc, luma 191, across the pictures' middle
      for (int y = 30; y < f.height; ++y)
        grey += std::abs(f.data[0][y * f.linesize[0] + 100] - 191) < 5;
      EXPECT_LT(grey, 8) << mode << ": an empty box in frame " << i;
    }
    if (mode != std::string("--quadro-a-quadro")) continue;
    auto barAt = [](const AVFrame& f, int y) {
      int x = 0;
      while (x < f.width && f.data[0][y * f.linesize[0] + x] > 100) ++x;
      return x;
    };
    // The animation frame's bar is exact to a pixel from the first frame on
    // (the clock's timers and Date are tested in the page itself).
    for (size_t i = 1; i < 58; ++i) {
      const double moved =
          std::fmod(barAt(*m.frames[i], 6) - barAt(*m.frames[0], 6) + 150.0, 150.0);
      EXPECT_NEAR(moved, std::fmod(2.5 * static_cast<double>(i), 150.0), 1.0) << "frame " << i;
    }
  }
}

// Two runs side by side, each at its own size. The second's page navigates
// twice more after its first load, which starts no second recording; at
// scale 1.5, 101 × 101 CSS px with a 1 px band make odd truncated sizes
// (151 × 151, 4:4:4).
TEST_F(RecorderTest, RunsSideBySideAndAStoppedRunLeavesNothing) {
  fs::path a = dir_ / "a.mp4", b = dir_ / "reload.mp4", c = dir_ / "c.mp4";
  pid_t first = start({pageUrl("pattern.html", "h=100"), "120", "160", "1", "10", a}, "a");
  pid_t second = start({pageUrl("reloading.html"), "101", "101", "1.5", "1", b}, "b");
  Outcome ra = wait(first, dir_, "a"), rb = wait(second, dir_, "b");
  expectReport(ra, a);
  const MovieInfo m = recorded(rb, b);
  ASSERT_EQ(m.frames.size(), 61u);
  EXPECT_EQ(std::tie(m.frames.back()->width, m.frames.back()->height), std::make_tuple(151, 151));

  // Stopped from outside while it records: the unfinished video, written
  // beside the output, goes with it, and so does everything else.
  pid_t stopped = start({pageUrl("pattern.html"), "120", "160", "1", "10", c}, "c");
  auto staged = [&] {
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename().string().starts_with(".c.mp4.parcial-")) return entry.path();
    return fs::path();
  };
  for (int i = 0; i < 200 && (staged().empty() || fs::file_size(staged()) == 0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_FALSE(staged().empty()) << "recording started";
  EXPECT_FALSE(fs::exists(c)) << "only a complete video takes the output's name";
  // Twice, as a supervisor that repeats itself does: the second comes while
  // the guard cleans up.
  kill(stopped, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  kill(stopped, SIGTERM);
  EXPECT_EQ(wait(stopped, dir_, "c").status, 128 + SIGTERM);
  EXPECT_FALSE(fs::exists(c));
  EXPECT_EQ(staged(), fs::path());
  EXPECT_EQ(leftovers(dir_), "");
}

// A page that tries everything beyond drawing itself (see the page) records
// like any other, shows its verdicts green, and nothing it asked for happens.
TEST_F(RecorderTest, HostilePageRecordsAndReachesNothingBeyondItsView) {
  std::string page = slurp(fs::path(TEST_PAGES_DIR) / "hostile.html");
  page.replace(page.find("USER_AGENT"), 10, kUserAgent);
  const std::string big(32 << 20, 'x');  // more than any socket buffer holds
  PageServer server({
      {"/", {.body = page}},
      {"/file.bin", {"200 OK", "Content-Type: application/octet-stream\r\n", big}},
      {"/attachment",
       {"200 OK", "Content-Type: text/html\r\nContent-Disposition: attachment\r\n", big}},
      {"/secret",
       {"401 Unauthorized", "Content-Type: text/html\r\nWWW-Authenticate: Basic realm=\"r\"\r\n",
        "<body style='margin:0;background:#00ff00'></body>"}},
      {"/popup", {.body = "<body style='background:#ff0000'></body>"}},
  });
  fs::path out = dir_ / "hostile.mp4";
  MovieInfo m = recorded(run({server.url(), "300", "400", "1", "0", out}), out);
  EXPECT_NE(server.request("/").find("\r\nUser-Agent: " + kUserAgent + "\r\n"), std::string::npos);
  EXPECT_FALSE(server.delivered("/file.bin")) << "a download ran";
  EXPECT_FALSE(server.delivered("/attachment")) << "a download ran";
  EXPECT_EQ(server.request("/popup"), "") << "a popup loaded";
  ASSERT_GT(m.frames.size(), 61u);
  const char* blocks[] = {"user agent", "dialogs", "popups", "permissions", "printing", "401 page"};
  for (const AVFrame* f : {m.frames.front().get(), m.frames.back().get()})
    for (int i = 0; i < 6; ++i)
      EXPECT_TRUE(green(pixelAt(*f, 25 + 50 * i, 50)))
          << blocks[i] << (f == m.frames.front().get() ? " at the start" : " at the end");
}

// The page sees and draws the phone its user agent names: one block per
// property (see the page), each named here when it does not hold.
TEST_F(RecorderTest, ThePageSeesAndDrawsAPhone) {
  const std::string page = "/?w=390&h=844&dpr=3&lang=pt-BR";
  const std::string html = slurp(fs::path(TEST_PAGES_DIR) / "phone.html");
  PageServer server({{page, PageServer::Response{.body = html}}});
  fs::path out = dir_ / "phone.mp4";
  MovieInfo m = recorded(run({server.url(page), "390", "844", "3", "47", out}), out);
  EXPECT_NE(server.request(page).find("\r\nAccept-Language: pt-BR"), std::string::npos);
  ASSERT_FALSE(m.frames.empty());
  const char* blocks[] = {
      "hover none",     "pointer coarse", "touch",    "platform", "screen",
      "pixel ratio",    "light scheme",   "language", "UI sans",  "Helvetica, Arial, Times",
      "Courier, Menlo", "colour emoji",   "Chinese",  "Japanese", "Korean"};
  // Rows of six 60 CSS px blocks, 5 px apart, under the 47 pt band.
  for (int i = 0; i < 15; ++i)
    EXPECT_TRUE(green(pixelAt(*m.frames.front(), 3 * (35 + i % 6 * 65), 3 * (82 + i / 6 * 65))))
        << blocks[i];

  // Its form controls are iOS Safari's, at scale 2 in en-US: a button's
  // label system blue, a checked 30 px checkbox as large as its font and
  // filled blue, a date written as iOS writes it; a button the page styles
  // keeps its colours. --controles-do-motor keeps the engine's look.
  const fs::path form = dir_ / "form.html";
  writeFile(form,
            "<body style='margin:0'><div style='position:absolute;left:10px;top:10px'>"
            "<button style='font-size:30px'>Send</button></div>"
            "<input type=checkbox checked style='position:absolute;left:10px;top:80px;"
            "margin:0;font-size:30px'>"
            "<input type=date value=2026-12-10 style='position:absolute;left:10px;top:130px;"
            "font-size:20px'>"
            "<button style='position:absolute;left:200px;top:10px;font-size:30px;"
            "background:red;color:white'>Stop</button></body>");
  auto count = [](const AVFrame& f, int x0, int y0, int x1, int y1, Rgb want) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (const Rgb c = pixelAt(f, x, y); std::abs(c.r - want.r) < 30 &&
                                            std::abs(c.g - want.g) < 30 &&
                                            std::abs(c.b - want.b) < 30)
          ++n;
    return n;
  };
  for (bool engine : {false, true}) {
    const fs::path shot = dir_ / "form.mp4";
    std::vector<std::string> args = {"file://" + form.string(), "390", "300", "2", "0", shot};
    if (engine) args.insert(args.begin(), "--controles-do-motor");
    const MovieInfo c = recorded(run(args, {"LC_ALL=en_US.UTF-8"}), shot);
    const AVFrame& f = *c.frames.front();
    const Rgb blue = {0, 122, 255}, white = {255, 255, 255};
    EXPECT_EQ(count(f, 20, 20, 380, 140, blue) > 40, !engine) << "the button's label";
    // The checkbox, 60 px at (20, 160): blue inside its right edge, white
    // beside it, the checkmark white.
    EXPECT_EQ(count(f, 70, 185, 76, 195, blue) == 60, !engine) << "filled up to its edge";
    EXPECT_EQ(count(f, 84, 185, 90, 195, white), 60) << "no wider";
    if (!engine) {
      EXPECT_EQ(count(f, 44, 199, 48, 203, white), 16) << "the checkmark";
    }
    std::string image = "P5 400 90 255\n";
    for (int y = 255; y < 345; ++y)
      for (int x = 10; x < 410; ++x) image += static_cast<char>(f.data[0][y * f.linesize[0] + x]);
    writeFile(dir_ / "date.pgm", image);
    const std::string date =
        test_runs::run("/usr/bin/tesseract", {dir_ / "date.pgm", "-", "--psm", "7"}, dir_).out;
    EXPECT_EQ(date.find("Dec 10, 2026") != std::string::npos, !engine) << date;
    // The styled button: its red face around the label, in either look, and
    // its white label.
    EXPECT_GT(count(f, 400, 20, 600, 90, {255, 0, 0}), 1500) << "the red face";
    EXPECT_GT(count(f, 470, 50, 520, 80, white), 50) << "the white label";
  }
}

// A disk that fills up ends the run at the frame that did not fit, not at
// the finish after all the painting, and leaves no part of the movie.
TEST_F(RecorderTest, AFullDiskEndsTheRunAtTheFrameThatDidNotFit) {
  const fs::path disk = dir_ / "disk";
  fs::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0)
    GTEST_SKIP() << "mounting a tmpfs needs root: " << std::strerror(errno);
  Outcome r = run({"--quadro-a-quadro", pageUrl("pattern.html", "h=20000"), "390", "844", "1", "47",
                   (disk / "out.mp4").string()});
  umount2(disk.c_str(), MNT_DETACH);
  EXPECT_EQ(r.status, 1);
  // The reason is the system's, in the user's language.
  EXPECT_EQ(r.err.rfind("falha ao gravar o quadro: av_write_frame: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(leftovers(dir_), "");
}

// A staging page behind a header, a cookie and HTTP authentication, shaped
// before it is filmed (see the page): every block green in the first frame,
// and another origin got none of what the page's origin got, neither its
// frame nor what redirects there, nor the page itself sent there; a redirect
// back gets it again.
TEST_F(RecorderTest, PrivatePageShapedBeforeFilming) {
  PageServer other({{"/", {.body = kGreenPage}}});
  std::string html = slurp(fs::path(TEST_PAGES_DIR) / "private.html");
  html.replace(html.find("OTHER_ORIGIN"), 12, other.url("/", "localhost"));
  const std::vector<std::string> needs = {"X-Teste: sim", "Cookie: sessao=abc",
                                          "Authorization: Basic dnV6OnNlbmhh"};  // vuz:senha
  auto redirect = [&](const std::string& path) { return redirectTo(other.url(path, "localhost")); };
  PageServer server({{"/", {.body = html, .needs = needs}},
                     {"/own.css",
                      {.headers = "Content-Type: text/css\r\n",
                       .body = "#b1 { background: #0f0; }",
                       .needs = needs}},
                     {"/r/img", redirect("/img")},
                     {"/r/css", redirect("/css")},
                     {"/r/data", redirect("/data")},
                     {"/r/chain", redirect("/bounce")},
                     {"/back", {}},
                     {"/go", redirect("/")},
                     {"/quadro",
                      {.body = "<body style='margin: 0; font: 12px monospace; color: #f00'>"
                               "<span class='cartao'>4111</span> a@b.co"}}});
  other.route("/bounce", redirectTo(server.url("/back")));
  writeFile(dir_ / "estilo.css", "#b7 { background: #0f0; }");
  writeFile(dir_ / "script.js", "document.getElementById('b8').style.background = '#0f0';");
  fs::path out = dir_ / "private.mp4";
  std::vector<std::string> args = {"--cabecalho", "X-Teste:  sim", "--cookie", "sessao=abc"};
  args.insert(args.end(), {"--esconder", ".anuncio", "--remover", "#remove-me", "--sem-banners"});
  args.insert(args.end(), {"--estilo", dir_ / "estilo.css", "--script", dir_ / "script.js"});
  args.insert(args.end(), {"--esperar-elemento", "#tarde", "--esquema", "escuro"});
  args.insert(args.end(), {"--movimento-reduzido", "--redigir", ".cartao", "--redigir-texto",
                           "[a-z]+@[a-z.]+", "--json", server.url()});
  args.insert(args.end(), {"400", "300", "1", "0", out});
  const Outcome shaped = run(args, {kCredentials});
  ASSERT_EQ(shaped.status, 0) << shaped.err;
  // The report counts what was covered, and says none of it.
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(
      shaped.out, counts, std::regex(R"("redigidos": \{"elementos": (\d+), "trechos": (\d+)\})")))
      << shaped.out;
  EXPECT_GT(std::stoi(counts[1]), 3);
  EXPECT_GT(std::stoi(counts[2]), 3);
  EXPECT_EQ(shaped.out.find("exemplo"), std::string::npos);
  MovieInfo m = probeMovie(out);
  for (const char* path : {"/", "/img", "/css", "/data", "/bounce"}) {
    EXPECT_NE(other.request(path), "") << path << " was asked for";
    for (const char* secret : {"X-Teste", "Cookie:", "Authorization:"})
      EXPECT_EQ(other.request(path).find(secret), std::string::npos) << secret << " in " << path;
  }
  for (const char* path : {"/r/chain", "/back"})
    EXPECT_NE(server.request(path).find("\r\nX-Teste: sim\r\n"), std::string::npos) << path;
  ASSERT_FALSE(m.frames.empty());
  const AVFrame& first = *m.frames.front();
  const char* blocks[] = {"own style sheet",      "--esconder", "--remover", "--sem-banners",
                          "--movimento-reduzido", "--esquema",  "--estilo",  "--script",
                          "--esperar-elemento"};
  const int x[] = {20, 65, 110, 155, 200, 245, 290, 335, 380};
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(green(pixelAt(first, x[i], 30))) << blocks[i];
  // No frame shows a red digit of a card or letter of an address, however
  // late it came; the blue words beside them show, and the cards' green
  // blocks.
  for (size_t i = 0; i < m.frames.size(); ++i) {
    int red = 0, blue = 0, green = 0;
    for (int y = 110; y < 300; ++y)
      for (int x = 0; x < 400; x += 2) {
        const Rgb c = pixelAt(*m.frames[i], x, y);
        red += c.r > 180 && c.g < 100 && c.b < 100;
        blue += c.b > 180 && c.r < 100 && c.g < 100;
        green += c.g > 180 && c.r < 100 && c.b < 100;
      }
    EXPECT_EQ(red, 0) << "frame " << i;
    EXPECT_GT(blue, 20) << "frame " << i;
    EXPECT_GT(green, 200) << "frame " << i;
  }
  expectColour(first, 200, 80, {255, 255, 255});  // no dialog over the page
  EXPECT_TRUE(green(pixelAt(first, 50, 80))) << "the other origin's frame";

  // A pattern the engine gives up on would leave the text in the clear: the
  // run fails instead.
  PageServer hard({{"/", {.body = "<p>" + std::string(40, 'a') + "b TOPSECRET"}}});
  const fs::path gaveUp = dir_ / "gave-up.mp4";
  const Outcome r =
      run({"--redigir-texto", "(a+)+$|TOPSECRET", hard.url(), "100", "100", "1", "0", gaveUp});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "--redigir-texto: o motor de expressões regulares desistiu de procurar "
            "(a+)+$|TOPSECRET (retrocessos demais), e o texto ficaria à mostra; simplifique a "
            "expressão\n");
  EXPECT_FALSE(fs::exists(gaveUp));

  // The page itself sent to another origin is recorded there without them.
  const fs::path redirected = dir_ / "redirected.mp4";
  MovieInfo away = recorded(run({"--cabecalho", "X-Teste: sim", "--cookie", "sessao=abc",
                                 server.url("/go"), "100", "100", "1", "0", redirected},
                                {kCredentials}),
                            redirected);
  EXPECT_NE(server.request("/go").find("\r\nX-Teste: sim\r\n"), std::string::npos);
  for (const char* secret : {"X-Teste", "Cookie:", "Authorization:"})
    EXPECT_EQ(other.request("/").find(secret), std::string::npos) << secret;
  ASSERT_FALSE(away.frames.empty());
  EXPECT_TRUE(green(pixelAt(*away.frames.front(), 50, 50)));
}

// What ffprobe, a reader of our own, says of a movie: "stream.width=886" and
// so on, one key a line.
std::map<std::string, std::string> ffprobe(const fs::path& movie) {
  const std::string listing = movie.string() + ".probe";
  const std::string command =
      "ffprobe -v error -show_entries stream=codec_type,codec_name,codec_tag_string,profile,"
      "level,width,height,r_frame_rate,avg_frame_rate,channels,sample_rate:format=duration "
      "-of flat '" +
      movie.string() + "' > '" + listing + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::map<std::string, std::string> keys;
  std::istringstream lines(slurp(listing));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    keys[line.substr(0, equals)] = value;
  }
  return keys;
}

// A long page lands inside a store's 30 s, a short one reaches its 15 s, and
// the files are what the store measures: its size, 30 constant frames a
// second, H.264 High within level 4.0 (or ProRes 422 HQ in QuickTime), a
// stereo AAC track though no sound was given, the index first.
TEST_F(RecorderTest, StoreTargetsMakeWhatTheCheckerAndFfprobeAccept) {
  const fs::path longOut = dir_ / "long.mp4";
  const Outcome longRun = run({"--destino", "app-store-6.9", "--aparelho", "iphone-15", "--json",
                               pageUrl("pattern.html", "h=30000"), longOut});
  ASSERT_EQ(longRun.status, 0) << longRun.err;
  EXPECT_NE(longRun.out.find("\"destino\": {\"nome\": \"app-store-6.9\", \"largura\": 886, "
                             "\"altura\": 1920, \"poster\": {\"segundos\": 5, \"quadro\": 150}, "
                             "\"conforme\": true, \"falhas\": []}"),
            std::string::npos)
      << longRun.out;
  // The checker holds the size, codec, level, sound and index to the
  // store's rules (each told apart in store_check_test); ffprobe adds what
  // those rules leave open.
  std::map<std::string, std::string> p = ffprobe(longOut);
  EXPECT_EQ(p["streams.stream.0.profile"], "High");
  EXPECT_EQ(p["streams.stream.0.r_frame_rate"], "30/1");
  EXPECT_EQ(p["streams.stream.0.avg_frame_rate"], "30/1");
  EXPECT_EQ(p["streams.stream.1.sample_rate"], "48000");
  const double longSeconds = std::stod(p["format.duration"]);
  EXPECT_GE(longSeconds, 29.0) << "sped up to the window, no further";
  EXPECT_LE(longSeconds, 30.0);
  const Outcome checked =
      test_runs::run(VERIFICAR_BINARY, {"--destino", "app-store-6.9", longOut}, dir_);
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;

  const fs::path shortOut = dir_ / "short.mov";
  const Outcome shortRun = run({"--destino", "app-store-6.5", "--formato", "mov",
                                pageUrl("pattern.html", "h=200"), shortOut});
  ASSERT_EQ(shortRun.status, 0) << shortRun.err;
  p = ffprobe(shortOut);
  EXPECT_EQ(p["streams.stream.1.codec_name"], "aac");
  const double shortSeconds = std::stod(p["format.duration"]);
  EXPECT_GE(shortSeconds, 15.0) << "held to the window";
  EXPECT_LE(shortSeconds, 16.0);
  EXPECT_EQ(test_runs::run(VERIFICAR_BINARY, {"--destino", "app-store-6.5", shortOut}, dir_).status,
            0);
}

// The phone is centred on its background in a vertical video; a storyboard
// too short is held to the store's 15 s, one too long keeps its file and
// says why with status 3.
TEST_F(RecorderTest, StoreTargetsCentreThePhoneAndHoldStoryboards) {
  const fs::path vertical = dir_ / "vertical.mp4";
  MovieInfo m = recorded(run({"--destino", "vertical-1080", "--moldura", "--fundo-da-moldura",
                              "#223344", pageUrl("pattern.html", "h=200"), vertical}),
                         vertical);
  EXPECT_EQ(m.par->width, 1080);
  EXPECT_EQ(m.par->height, 1920);
  ASSERT_FALSE(m.frames.empty());
  for (auto [x, y] : {std::pair{4, 4}, {1075, 4}, {4, 1915}, {1075, 1915}, {30, 960}})
    expectColour(*m.frames.back(), x, y, {0x22, 0x33, 0x44}, 4);
  expectColour(*m.frames.back(), 540, 1100, {255, 255, 255});

  const fs::path storyboard = dir_ / "roteiro.txt";
  writeFile(storyboard, "pausa 1\n");
  const fs::path held = dir_ / "held.mp4";
  ASSERT_EQ(run({"--destino", "app-store-5.5", "--roteiro", storyboard,
                 pageUrl("pattern.html", "h=200"), held})
                .status,
            0);
  const double heldSeconds = std::stod(ffprobe(held)["format.duration"]);
  EXPECT_GE(heldSeconds, 15.0);
  EXPECT_LE(heldSeconds, 16.0);

  writeFile(storyboard, "pausa 31\n");
  const fs::path tooLong = dir_ / "too-long.mp4";
  const Outcome broken = run({"--destino", "app-store-5.5", "--roteiro", storyboard,
                              pageUrl("pattern.html", "h=200"), tooLong});
  EXPECT_EQ(broken.status, 3);
  EXPECT_EQ(broken.out.rfind("fora do destino: " + tooLong.string(), 0), 0u) << broken.out;
  EXPECT_NE(broken.err.find("duracao: 32,"), std::string::npos) << broken.err;
  EXPECT_NE(broken.err.find("; app-store-5.5 pede de 15 a 30 s"), std::string::npos) << broken.err;
  EXPECT_TRUE(fs::exists(tooLong)) << "the file is kept";
}

}  // namespace
