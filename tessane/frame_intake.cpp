#include "tessane/frame_intake.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <semaphore>
#include <string>

#include "common/fail.h"
#include "common/progress_line.h"
#include "tessane/rgba_to_bgra.h"

bool readExactly(int fd, uint8_t* frame, int64_t count) {
  int64_t have = 0;
  while (have < count) {
    size_t want = static_cast<size_t>(std::min<int64_t>(count - have, SSIZE_MAX));
    ssize_t n = ::read(fd, frame + have, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A non-blocking input that is momentarily empty has not ended: wait
      // for it rather than take the pause for the end of the stream.
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, -1) < 0 && errno != EINTR) return false;
      continue;
    }
    if (n <= 0) return false;
    have += n;
  }
  return true;
}

int64_t appendFrames(media::VideoWriter& writer, const FrameFormat& format, int fd) {
  const int64_t frameBytes = format.width * format.height * 4;
  // One frame's room for the whole run, left uninitialised so that memory
  // is only touched as input arrives.
  std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[frameBytes]);
  if (!frame) fail("não foi possível alocar o buffer do quadro 0");
  int64_t frameIndex = 0;
  const auto start = std::chrono::steady_clock::now();
  while (readExactly(fd, frame.get(), frameBytes)) {
    // Back-pressure: standard input is left unread while the encoder is
    // behind, so the producer waits instead of frames piling up here.
    while (!writer.isReadyForMoreMediaData()) usleep(500);

    media::PixelBufferPool* pool = writer.pixelBufferPool();
    if (!pool) fail("pool de buffers indisponível");
    media::PixelBufferHandle buffer = pool->createPixelBuffer();
    if (!buffer) fail("não foi possível alocar o buffer do quadro " + std::to_string(frameIndex));
    if (buffer->baseAddress()) {
      rgbaToBgra(frame.get(), format.width, format.height, buffer->baseAddress(),
                 buffer->bytesPerRow());
    }
    if (!writer.append(std::move(buffer), media::MediaTime{frameIndex, format.fps})) {
      std::string reason = writer.error();
      fail("falha ao gravar o quadro " + std::to_string(frameIndex) + ": " +
           (reason.empty() ? "?" : reason));
    }
    ++frameIndex;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    char status[96];
    std::snprintf(status, sizeof status, "%lld quadros, %.1f quadros/s",
                  static_cast<long long>(frameIndex), frameIndex / std::max(elapsed.count(), 1e-3));
    progress::show(status);
  }
  return frameIndex;
}

void finishMovie(media::VideoWriter& writer, int64_t frameCount) {
  if (frameCount < 1) fail("nenhum quadro recebido");
  writer.markAsFinished();
  std::binary_semaphore finished(0);
  writer.finishWriting([&finished] { finished.release(); });
  finished.acquire();
  if (writer.status() == media::WriterStatus::kFailed) {
    std::string reason = writer.error();
    fail("falha ao finalizar: " + (reason.empty() ? std::string("motivo desconhecido") : reason));
  }
}
