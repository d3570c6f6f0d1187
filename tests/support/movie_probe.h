#pragma once

// Reads a produced movie back through libavformat/libavcodec so tests can
// check what a player would see: codec parameters, timestamps and pixels.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/av_ptr.h"

struct MovieInfo {
  std::string majorBrand;  // ftyp major brand, e.g. "qt  "
  std::string vendor;      // sample description vendor, e.g. "apl0"
  // The stream's codec, tag, profile, size and colour tags.
  std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> par{
      avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); }};
  int hasBFrames = 0;
  AVRational timeBase{0, 1};
  int64_t streamDuration = 0;  // in timeBase
  std::vector<int64_t> packetPts;
  std::vector<bool> packetKey;
  std::vector<std::vector<uint8_t>> packetData;
  std::vector<media::FramePtr> frames;  // decoded, in presentation order
  // The sound track, when there is one: its format, its first channel
  // decoded (planar float), and whether its packets lie among the video's.
  struct Sound {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0;
    std::vector<float> left;
    bool interleaved = false;
  };
  std::optional<Sound> sound;
  // Its chapters' titles and start times in seconds, as a player lists them.
  std::vector<std::pair<std::string, double>> chapters;
};

// A movie that cannot be read fails the running test.
MovieInfo probeMovie(const std::string& path);

// The body of the first box along `boxPath`, e.g. {"moov", "mvhd"}; a path
// steps into a sample description's entries by their codec type, e.g.
// {..., "stsd", "ap4h", "fiel"}. Empty when there is no such box.
std::vector<uint8_t> boxBody(const std::string& path, const std::vector<std::string>& boxPath);
// Big-endian integer of `bytes` bytes at `at` in a box body.
uint64_t bigEndian(const std::vector<uint8_t>& body, size_t at, int bytes);

// One decoded 4:4:4 picture with alpha back to 8-bit RGBA with the BT.709
// limited-range equations (independent of the writer's own arithmetic).
std::vector<uint8_t> yuva444ToRgba(const AVFrame& frame);

struct ChannelError {
  double psnr[4];  // dB per channel R, G, B, A (99 when identical)
  int maxDiff[4];
};
// Compares two tightly packed RGBA pictures of the same size.
ChannelError compareRgba(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
