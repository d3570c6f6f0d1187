// How the recorder scrolls: its speed, its exact frames, what moves with the
// page, directed stretches and loops, each form it writes, and a recording
// made in parts (--trecho, --paralelo, vuzizeri-juntar) equal to one made
// whole.

#include "recorder_test.h"

namespace {

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
  const fs::path budget = dir_ / "budget";
  setenv("VUZIZERI_ORCAMENTO", budget.c_str(), 1);
  MovieInfo m = record(
      "exact.mp4", {"--quadro-a-quadro", pageUrl("pattern.html", "h=1000&fixed=band&sticky=300"),
                    "200", "400", "2", "20"});
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
    auto offset = offsetIn(f, 40, 2.0);
    if (!offset) continue;
    ++read;
    EXPECT_NEAR(*offset, std::min(250.0 * static_cast<double>(i) / 60, end), 0.3) << "frame " << i;
  }
  EXPECT_GT(read, static_cast<int>(m.frames.size()) * 9 / 10);
  EXPECT_TRUE(turned);
  const std::string line = slurp(budget);
  const size_t at = line.find("levantados=");
  ASSERT_NE(at, std::string::npos) << line;
  EXPECT_GT(std::stoll(line.substr(at + 11)), static_cast<long long>(m.frames.size()) * 3 / 4);
}

// A header that mixes with the page under it (translucent, rounded, with a
// shadow), drawn back by the recorder in most frames from a picture of it
// alone, looks in each as the engine painted it in the first, shadow and all.
TEST_F(RecorderTest, AGlassHeaderDrawnBackLooksAsTheEnginePaintedIt) {
  const fs::path budget = dir_ / "budget";
  setenv("VUZIZERI_ORCAMENTO", budget.c_str(), 1);
  MovieInfo m =
      record("glass.mp4", {"--quadro-a-quadro", pageUrl("pattern.html", "h=380&bg=%2336c&glass=1"),
                           "200", "400", "2", "20"});
  unsetenv("VUZIZERI_ORCAMENTO");
  ASSERT_GT(m.frames.size(), 60u);
  const std::string line = slurp(budget);
  const size_t at = line.find("levantados=");
  ASSERT_NE(at, std::string::npos) << line;
  EXPECT_GT(std::stoll(line.substr(at + 11)), static_cast<long long>(m.frames.size()) * 3 / 4);
  // Mean difference per channel, header and shadow, first frame to last (the
  // encoder alone makes 1.7 on a flat colour; alpha taken as opaque, 44).
  double apart = 0;
  for (int y = 40; y < 40 + 2 * 60; ++y)
    for (int x = 0; x < 400; ++x) {
      const Rgb a = pixelAt(*m.frames.front(), x, y), b = pixelAt(*m.frames.back(), x, y);
      apart += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }
  EXPECT_LT(apart / (3 * 400 * 120), 3.0);
}

// --indicador-de-rolagem: mid-scroll a thin bar shows 3 CSS px inside the
// right edge, its length the view's share of the page (400 of 2000 px, over
// the track that leaves the home indicator's 34 px): dark on a white page,
// light on a black one; faded out in the last frame, a second after the end.
TEST_F(RecorderTest, TheScrollIndicatorShowsWhileThePageMoves) {
  for (const bool white : {true, false}) {
    const fs::path page = dir_ / "page.html";
    writeFile(page, std::string("<body style='margin:0;height:2000px;background:") +
                        (white ? "#fff" : "#000") + "'></body>");
    MovieInfo m = record("indicator.mp4", {"--quadro-a-quadro", "--indicador-de-rolagem",
                                           "file://" + page.string(), "200", "400", "2", "0"});
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
        } else if (f.format == AV_PIX_FMT_BGRA) {  // GIF's
          const uint8_t* p = f.data[0] + y * f.linesize[0] + 4 * x;
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
    made[form] = record(
        std::string("page.") + form,
        {"--quadro-a-quadro", "--fps", "30", "--formato", form, page, "120", "200", "1", "10"});
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

// A side menu parked beside the screen, its shadow reaching in, is kept out
// of the picture while it is there (the engine would otherwise repaint the
// whole view at every scroll) and is back in the first frame it reaches:
// once the page opens it at 300 px, it slides in 8.75 px a frame over 0.4 s
// frame by frame, and its first frame on screen shows one step of it at
// most, in real time a few.
TEST_F(RecorderTest, AMenuBesideTheScreenSlidesInWhenThePageOpensIt) {
  for (const bool exact : {true, false}) {
    std::vector<std::string> args = {pageUrl("pattern.html", "h=1000&drawer=300"), "200", "400",
                                     "1", "20"};
    if (exact) args.insert(args.begin(), "--quadro-a-quadro");
    const MovieInfo m = record(exact ? "exact.mp4" : "real.mp4", args);
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

// The offsets a recording of the pattern page shows under a 20 px band, -1
// in a frame where none reads.
std::vector<double> offsets(const MovieInfo& m) {
  std::vector<double> read;
  for (const auto& f : m.frames) read.push_back(offsetIn(*f, 20).value_or(-1));
  return read;
}

double rms(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += s[i] * s[i];
  return std::sqrt(sum / static_cast<double>(std::max<size_t>(1, to - from)));
}

// The scroll directed: a stretch between two sections with a hold on the
// way, frame by frame exactly, in real time on the page's clock. Offsets
// are read from the numbered bars.
TEST_F(RecorderTest, DirectedScrollHoldsStartsAndEnds) {
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
}

// A page that grows under the plan is followed, and the report says where
// the scroll ended; a path of any bytes still makes JSON.
TEST_F(RecorderTest, AGrowingPageIsFollowedAndAnyPathMakesJson) {
  const fs::path grown = dir_ / "grown\xff\xfe.mp4";
  Outcome g = run({"--quadro-a-quadro", "--velocidade", "500", "--json",
                   pageUrl("pattern.html", "h=800&grow=400"), "200", "400", "1", "20", grown});
  ASSERT_EQ(g.status, 0) << g.err;
  EXPECT_NE(g.out.find("\"ate\": 820"), std::string::npos) << g.out;
  EXPECT_NE(g.out.find("grown\ufffd\ufffd.mp4\""), std::string::npos) << g.out;
}

// A looping clip with music goes down and comes back to its first picture;
// the sound is the one given at start, even once its file is gone.
TEST_F(RecorderTest, ALoopingClipComesBackWithItsMusic) {
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
  // Levelled to -16 LUFS before its fade, as FFmpeg's meter hears it.
  const test_runs::Loudness heard = test_runs::measuredLoudness(loop, 0, videoSeconds - 2);
  EXPECT_NEAR(heard.integrated, -16, 1);
  EXPECT_LE(heard.truePeak, -1);
  EXPECT_NEAR(rms(s.left, n - second - 2400, n - second + 2400), full / 2, full / 8)
      << "half way down";
  EXPECT_LT(rms(s.left, n - 2400, n), full / 15) << "silent at the end";

  // Another target; clicks far above the tone are held under the ceiling.
  const char* clicks =
      "import math, struct, sys, wave; w = wave.open(sys.argv[1], 'wb'); w.setparams((1, 2, 44100, "
      "0, 'NONE', '')); w.writeframes(b''.join(struct.pack('<h', int(1600 * math.sin(2 * math.pi "
      "* 440 * i / 44100) + (30000 if i % 11025 < 10 else 0))) for i in range(44100)))";
  ASSERT_EQ(test_runs::run("/usr/bin/python3", {"-c", clicks, tone}, dir_).status, 0);
  const fs::path quiet = dir_ / "quiet.mp4";
  ASSERT_EQ(run({"--quadro-a-quadro", "--volume-alvo", "-20", "--audio", tone,
                 pageUrl("pattern.html", "h=2000"), "200", "400", "1", "20", quiet})
                .status,
            0);
  const test_runs::Loudness q = test_runs::measuredLoudness(quiet, 0, 4);
  EXPECT_NEAR(q.integrated, -20, 1);
  EXPECT_LE(q.truePeak, -1);
}

// The JSON report's length and frames, and whether it says "de".
std::tuple<double, int, bool> reported(const std::string& json) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(json, m, std::regex(R"("segundos": ([0-9.]+), "quadros": (\d+))")))
      << json;
  return std::make_tuple(m.empty() ? 0 : std::stod(m[1]), m.empty() ? 0 : std::stoi(m[2]),
                         json.find("\"de\"") != std::string::npos);
}

// The same frames at the same times, each at the same offset, under a band
// of the same colours, with what the page revealed as it scrolled by shown
// as far, and the scroll indicator as it shows there.
void expectSameRecording(const MovieInfo& a, const MovieInfo& b) {
  ASSERT_EQ(b.packetPts, a.packetPts);
  ASSERT_EQ(b.frames.size(), a.frames.size());
  EXPECT_EQ(b.streamDuration, a.streamDuration);
  for (size_t i = 0; i < a.frames.size(); ++i) {
    const AVFrame &x = *a.frames[i], &y = *b.frames[i];
    ASSERT_EQ(offsetIn(x, 20).has_value(), offsetIn(y, 20).has_value()) << "frame " << i;
    if (offsetIn(x, 20)) {
      EXPECT_NEAR(*offsetIn(x, 20), *offsetIn(y, 20), 0.5) << "half a device pixel, frame " << i;
    }
    expectColour(y, 100, 10, pixelAt(x, 100, 10), 3);
    // The boxes revealed as they came into view, faded in as far; the
    // indicator's column as dark.
    for (int row = 20; row < x.height; ++row)
      for (int column : {190, 195})
        EXPECT_NEAR(lumaAt(x, column, row), lumaAt(y, column, row), 40)
            << "frame " << i << ", row " << row;
  }
}

class PartsTest : public RecorderTest {
 protected:
  // A recording frame by frame with the scroll indicator, `options` first;
  // a whole run or a part lasts its frames, the last one's time included.
  std::string record(const std::string& name, std::vector<std::string> options,
                     const std::string& url) {
    fs::path out = dir_ / name;
    options.insert(options.end(), {"--json", "--quadro-a-quadro", "--indicador-de-rolagem", url,
                                   "200", "400", "1", "20", out});
    Outcome r = run(options);
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    const auto [seconds, frames, directed] = reported(r.out);
    EXPECT_NEAR(seconds, frames / 60.0, 1e-6) << r.out;
    EXPECT_FALSE(directed) << "a plain scroll, in parts or not";
    return out.string();
  }
  // Sets that are not every part of one recording, whole and once each, or
  // that would write over one of them, are refused; the output stays.
  void expectRefusedSets(const std::string& whole, const std::vector<std::string>& parts);
};

// One recording in three parts, each made on its own and put together in
// any order, or made at once with --paralelo, equals a whole run; no other
// set of files joins.
TEST_F(PartsTest, PartsJoinedEqualAWholeRun) {
  const std::string page = pageUrl("pattern.html", "h=1500&top=%23cc3366&reveal=1");
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
  expectSameRecording(a, recorded(r, joined));
  expectSameRecording(a, probeMovie(atOnce));
  expectRefusedSets(whole, parts);
}

void PartsTest::expectRefusedSets(const std::string& whole, const std::vector<std::string>& parts) {
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
}

// A part killed: the run says how it ended, and leaves the output alone.
TEST_F(PartsTest, AKilledPartEndsTheRunAndLeavesTheOutput) {
  const fs::path keep = dir_ / "keep.mp4";
  writeFile(keep, "old");
  const pid_t killed = start({"--quadro-a-quadro", "--paralelo", "2",
                              pageUrl("pattern.html", "h=20000"), "200", "400", "1", "20", keep});
  for (int i = 0; i < 300; ++i, usleep(50000)) {
    bool found = false;
    for (const auto& process : fs::directory_iterator("/proc")) {
      const std::string line = slurp(process.path() / "cmdline");
      if (line.find(std::string("--trecho\0002/2", 12)) == std::string::npos) continue;
      found = kill(std::stoi(process.path().filename()), SIGKILL) == 0 || found;
    }
    if (found) break;
  }
  const Outcome ended = wait(killed, dir_);
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.err, "trecho 2/2: morto pelo sinal 9 (SIGKILL)\n");
  EXPECT_EQ(slurp(keep), "old");
}

}  // namespace
