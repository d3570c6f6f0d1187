// Runs the real recorder on local pages and reads its MP4 back: what it
// refuses, what a plain run makes, how a run ends, and pages kept in their
// place: a hostile one, and a private one whose secrets no other origin gets.

#include <sys/mount.h>
#include <sys/stat.h>

#include <cstring>

#include "recorder_test.h"

namespace {

const std::string kUsage = "uso: vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>\n";

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
    MovieInfo m =
        record(std::string(mode + 2) + ".mp4", {mode, server.url(), "200", "400", "1", "0"});
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

const std::string kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";
const std::string kGreenPage = "<body style='margin:0;background:#0f0'></body>";
const std::string kCredentials = "VUZIZERI_CREDENCIAIS=vuz:senha";
const char* const kSecrets[] = {"X-Teste", "Cookie:", "Authorization:"};

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
  MovieInfo m = record("hostile.mp4", {server.url(), "300", "400", "1", "0"});
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

// A staging page behind a header, a cookie and HTTP authentication (see the
// page), and another origin that its frame, its redirects and the page
// itself reach.
class PrivatePageTest : public RecorderTest {
 protected:
  PrivatePageTest() {
    std::string html = slurp(fs::path(TEST_PAGES_DIR) / "private.html");
    html.replace(html.find("OTHER_ORIGIN"), 12, other_.url("/", "localhost"));
    const std::vector<std::string> needs = {"X-Teste: sim", "Cookie: sessao=abc",
                                            "Authorization: Basic dnV6OnNlbmhh"};  // vuz:senha
    auto redirect = [&](const std::string& path) {
      return redirectTo(other_.url(path, "localhost"));
    };
    server_.route("/", {.body = html, .needs = needs});
    server_.route("/own.css", {.headers = "Content-Type: text/css\r\n",
                               .body = "#b1 { background: #0f0; }",
                               .needs = needs});
    for (const char* path : {"/img", "/css", "/data"})
      server_.route(std::string("/r") + path, redirect(path));
    server_.route("/r/chain", redirect("/bounce"));
    server_.route("/back", {});
    server_.route("/go", redirect("/"));
    server_.route("/quadro", {.body = "<body style='margin: 0; font: 12px monospace; color: #f00'>"
                                      "<span class='cartao'>4111</span> a@b.co"});
    other_.route("/bounce", redirectTo(server_.url("/back")));
  }

  // Every way of shaping the page before filming, at 400 × 300.
  std::vector<std::string> shapingArgs(const fs::path& out) {
    writeFile(dir_ / "estilo.css", "#b7 { background: #0f0; }");
    writeFile(dir_ / "script.js", "document.getElementById('b8').style.background = '#0f0';");
    std::vector<std::string> args = {"--cabecalho", "X-Teste:  sim", "--cookie", "sessao=abc"};
    args.insert(args.end(), {"--esconder", ".anuncio", "--remover", "#remove-me", "--sem-banners"});
    args.insert(args.end(), {"--estilo", dir_ / "estilo.css", "--script", dir_ / "script.js"});
    args.insert(args.end(), {"--esperar-elemento", "#tarde", "--esquema", "escuro"});
    args.insert(args.end(), {"--movimento-reduzido", "--redigir", ".cartao", "--redigir-texto",
                             "[a-z]+@[a-z.]+", "--json", server_.url()});
    args.insert(args.end(), {"400", "300", "1", "0", out});
    return args;
  }

  PageServer other_{{{"/", {.body = kGreenPage}}}};
  PageServer server_{{}};
};

// No frame shows a red digit of a card or letter of an address, however
// late it came; the blue words beside them show, and the cards' green
// blocks.
void expectCoveredInEveryFrame(const MovieInfo& m) {
  for (size_t i = 0; i < m.frames.size(); ++i) {
    auto count = [&](const std::function<bool(Rgb)>& is) {
      return countPixels(*m.frames[i], 0, 110, 400, 300, is);
    };
    EXPECT_EQ(count([](Rgb c) { return c.r > 180 && c.g < 100 && c.b < 100; }), 0) << "frame " << i;
    EXPECT_GT(count([](Rgb c) { return c.b > 180 && c.r < 100 && c.g < 100; }), 40)
        << "frame " << i;
    EXPECT_GT(count([](Rgb c) { return c.g > 180 && c.r < 100 && c.b < 100; }), 400)
        << "frame " << i;
  }
}

// Shaped before it is filmed: every block green in the first frame, what
// is covered never shown, and another origin got none of what the page's
// origin got, neither its frame nor what redirects there; a redirect back
// gets it again.
TEST_F(PrivatePageTest, ShapedAndCoveredBeforeFilming) {
  const fs::path out = dir_ / "private.mp4";
  const Outcome shaped = run(shapingArgs(out), {kCredentials});
  ASSERT_EQ(shaped.status, 0) << shaped.err;
  // The report counts what was covered, and says none of it.
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(
      shaped.out, counts, std::regex(R"("redigidos": \{"elementos": (\d+), "trechos": (\d+)\})")))
      << shaped.out;
  EXPECT_GT(std::stoi(counts[1]), 3);
  EXPECT_GT(std::stoi(counts[2]), 3);
  EXPECT_EQ(shaped.out.find("exemplo"), std::string::npos);
  for (const char* path : {"/", "/img", "/css", "/data", "/bounce"}) {
    EXPECT_NE(other_.request(path), "") << path << " was asked for";
    for (const char* secret : kSecrets)
      EXPECT_EQ(other_.request(path).find(secret), std::string::npos) << secret << " in " << path;
  }
  for (const char* path : {"/r/chain", "/back"})
    EXPECT_NE(server_.request(path).find("\r\nX-Teste: sim\r\n"), std::string::npos) << path;
  const MovieInfo m = probeMovie(out);
  ASSERT_FALSE(m.frames.empty());
  const AVFrame& first = *m.frames.front();
  const char* blocks[] = {"own style sheet",      "--esconder", "--remover", "--sem-banners",
                          "--movimento-reduzido", "--esquema",  "--estilo",  "--script",
                          "--esperar-elemento"};
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(green(pixelAt(first, 20 + 45 * i, 30))) << blocks[i];
  expectCoveredInEveryFrame(m);
  expectColour(first, 200, 80, {255, 255, 255});  // no dialog over the page
  EXPECT_TRUE(green(pixelAt(first, 50, 80))) << "the other origin's frame";
}

// The page itself sent to another origin is recorded there without them.
TEST_F(PrivatePageTest, SentToAnotherOriginItIsRecordedThereWithoutItsSecrets) {
  MovieInfo away = record("redirected.mp4",
                          {"--cabecalho", "X-Teste: sim", "--cookie", "sessao=abc",
                           server_.url("/go"), "100", "100", "1", "0"},
                          {kCredentials});
  EXPECT_NE(server_.request("/go").find("\r\nX-Teste: sim\r\n"), std::string::npos);
  for (const char* secret : kSecrets)
    EXPECT_EQ(other_.request("/").find(secret), std::string::npos) << secret;
  ASSERT_FALSE(away.frames.empty());
  EXPECT_TRUE(green(pixelAt(*away.frames.front(), 50, 50)));
}

// A pattern the engine gives up on would leave the text in the clear: the
// run fails instead.
TEST_F(RecorderTest, ARedactionTheEngineGivesUpOnFailsTheRun) {
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
}

}  // namespace

// vuzizeri-matriz: 2 devices × 2 languages, each page seeing its language
// and scheme and typing its language's {saudacao} (a bar 10 CSS px a key,
// green for pt-BR); a rerun skips the cells done, records a new language's
// cells and fails those --textos has no column for, naming why; --refazer
// records again; what the command line gets wrong is refused first.
TEST_F(RecorderTest, AMatrixOfDevicesAndLanguages) {
  writeFile(dir_ / "m.html",
            "<body style='margin:0'><input id=campo><div id=bar style='height:20px'></div><script>"
            "campo.oninput = () => { bar.style.width = 10 * [...campo.value].length + 'px'; };"
            "bar.style.background = navigator.language == 'pt-BR' && "
            "!matchMedia('(prefers-color-scheme: dark)').matches ? '#0f0' : '#00f';</script>");
  writeFile(dir_ / "t.tsv", "chave\tpt-BR\ten-US\nsaudacao\tOlá\tHello\n");
  writeFile(dir_ / "r.txt", "digitar #campo {saudacao}\npausa 0.3\n");
  Options options = recorderOptions(dir_);
  options.env.push_back("PATH=" + fs::path(VUZIZERI_BINARY).parent_path().string() +
                        ":/usr/bin:/bin");
  auto matrix = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--quadro-a-quadro", "--sem-teclado", "--roteiro", dir_ / "r.txt",
                               "--textos", dir_ / "t.tsv"});
    args.insert(args.end(), {"file://" + (dir_ / "m.html").string(), dir_ / "m"});
    return wait(test_runs::start(MATRIZ_SCRIPT, args, dir_, options, "matriz"), dir_, "matriz");
  };
  const Outcome first =
      matrix({"--aparelhos", "iphone-se,iphone-13-mini", "--idiomas", "pt-BR,en-US"});
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string cells = slurp(dir_ / "m" / "matriz.json");
  EXPECT_EQ(std::count(cells.begin(), cells.end(), '{') - 1, 4) << cells;
  EXPECT_EQ(std::regex_search(
                cells, std::regex(R"("estado": "ok", "segundos": [0-9.]+, "quadros": [0-9]+)")),
            true);
  const std::pair<const char*, std::array<int, 3>> made[] = {
      {"iphone-se-pt-BR-claro", {750, 2, 3}},
      {"iphone-se-en-US-claro", {750, 2, 5}},
      {"iphone-13-mini-pt-BR-claro", {1125, 3, 3}},
      {"iphone-13-mini-en-US-claro", {1125, 3, 5}}};
  for (const auto& [name, size] : made) {
    const MovieInfo m = probeMovie(dir_ / "m" / (std::string(name) + ".mp4"));
    ASSERT_EQ(m.par->width, size[0]) << name;
    // By luma alone, whatever the chroma's layout: green's, or blue's.
    const AVFrame& last = *m.frames.back();
    const bool pt = std::string(name).find("pt-BR") != std::string::npos;
    int bar = 0;
    for (int y = 0; y < last.height; ++y)
      for (int x = 0; x < last.width; ++x) {
        const int l = lumaAt(last, x, y);
        bar += pt ? l > 160 && l < 185 : l > 25 && l < 40;
      }
    EXPECT_NEAR(bar, 200 * size[2] * size[1] * size[1], 400 * size[1]) << name;
    EXPECT_NE(slurp(dir_ / "m" / "index.html")
                  .find(std::string(name) + ".mp4\" poster=\".matriz/" + name + ".jpg\""),
              std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ / "m" / ".matriz" / (std::string(name) + ".jpg"))) << "its poster";
  }
  const auto before = fs::last_write_time(dir_ / "m" / "iphone-se-pt-BR-claro.mp4");
  const Outcome again = matrix({"--aparelhos", "iphone-se", "--idiomas", "pt-BR,de-DE"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(fs::last_write_time(dir_ / "m" / "iphone-se-pt-BR-claro.mp4"), before) << "skipped";
  EXPECT_NE(slurp(dir_ / "m" / "matriz.json")
                .find("\"estado\": \"falhou\", \"status\": 2, \"erro\": \"--textos " +
                      (dir_ / "t.tsv").string() + ": não tem a coluna do idioma de-DE\""),
            std::string::npos)
      << slurp(dir_ / "m" / "matriz.json");
  EXPECT_EQ(matrix({"--refazer", "--aparelhos", "iphone-se", "--idiomas", "pt-BR"}).status, 0);
  EXPECT_NE(fs::last_write_time(dir_ / "m" / "iphone-se-pt-BR-claro.mp4"), before) << "redone";
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"--aparelhos", "nokia", "--idiomas", "pt-BR"}, "aparelho desconhecido: nokia"},
      {{"--aparelhos", "iphone-se", "--idiomas", "pt_BR"}, "idioma inválido: pt_BR"},
      {{"--aparelhos", "iphone-se", "--idiomas", "pt", "--destinos", "loja"},
       "destino desconhecido: loja"},
      {{"--aparelhos", "iphone-se", "--idiomas", "pt", "--esquemas", "azul"},
       "esquema desconhecido: azul"}};
  for (const auto& [args, why] : refused) {
    fs::remove_all(dir_ / "m");
    const Outcome r = matrix(args);
    EXPECT_EQ(r.status, 2) << why;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "m")) << why;
  }
  // A {chave} the table lacks: every run refuses it before its page loads.
  writeFile(dir_ / "t.tsv", "chave\tpt-BR\noutra\tx\n");
  EXPECT_EQ(matrix({"--aparelhos", "iphone-se", "--idiomas", "pt-BR"}).status, 2);
  EXPECT_NE(slurp(dir_ / "m" / "matriz.json").find("{saudacao} não está em --textos"),
            std::string::npos);
}
