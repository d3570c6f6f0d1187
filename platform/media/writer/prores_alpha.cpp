#include "platform/media/writer/prores_alpha.h"

#include <cstddef>
#include <string>

namespace media {

namespace {

uint32_t readBig(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | b[at + i];
  return v;
}

void writeBig(std::vector<uint8_t>& b, size_t at, int bytes, uint32_t v) {
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) b[at + i] = static_cast<uint8_t>(v);
}

// Most significant bit first, as ProRes codes; reading past the end is
// noted, not undefined.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t bytes) : data_(data), bits_(bytes * 8) {}
  // n ≤ 16.
  uint32_t read(int n) {
    const size_t byte = pos_ >> 3;
    uint32_t window = 0;
    if (byte + 3 <= bits_ / 8) {
      window = uint32_t{data_[byte]} << 24 | uint32_t{data_[byte + 1]} << 16 |
               uint32_t{data_[byte + 2]} << 8;
    } else {
      for (size_t i = 0; i < 3; ++i)
        window |= (byte + i < bits_ / 8 ? uint32_t{data_[byte + i]} : 0u) << (24 - 8 * i);
    }
    const uint32_t v = (window << (pos_ & 7)) >> (32 - n);
    pos_ += static_cast<size_t>(n);
    return v;
  }
  size_t position() const { return pos_; }
  bool overran() const { return pos_ > bits_; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t pos_ = 0;
};

// Where the alpha code of a slice ends, in bits, when it ends with a value
// and so lacks its closing run code; −1 when it is complete, −2 when it is
// malformed. `abits` is 8 or 16.
int64_t missingRunCodeAt(const uint8_t* code, size_t bytes, int64_t values, int abits) {
  BitReader in(code, bytes);
  const int shortBits = abits == 16 ? 7 : 4;
  int64_t index = 0;
  for (;;) {
    in.read(1) ? in.read(abits) : in.read(shortBits);  // one value
    if (++index >= values) return in.overran() ? -2 : static_cast<int64_t>(in.position());
    if (in.read(1)) continue;  // "no run": another value follows
    uint32_t run = in.read(4);
    if (run == 0) run = in.read(11);
    index += run;
    if (in.overran()) return -2;
    if (index >= values) return -1;
  }
}

int64_t malformed(std::string* error, const char* what) {
  *error = std::string("ProRes frame not understood: ") + what;
  return -1;
}

// Where a frame's parts stand, from its frame and picture headers.
struct FrameLayout {
  int width = 0, height = 0;
  int abits = 0;  // the alpha's depth: 8 or 16
  size_t picture = 0;
  size_t table = 0;  // the slice sizes
  int sliceCount = 0;
  int sliceWidthLog2 = 0;
};

// 1 with the layout read, 0 when the frame has no alpha, −1 (the reason in
// `error`) when it is not a frame this reads.
int64_t readLayout(const std::vector<uint8_t>& f, FrameLayout* l, std::string* error) {
  // Frame: size, 'icpf', then a header whose size leads it.
  if (f.size() < 28 || readBig(f, 4, 4) != 0x69637066 || readBig(f, 0, 4) != f.size())
    return malformed(error, "frame container");
  const size_t headerSize = readBig(f, 8, 2);
  if (headerSize < 20 || 8 + headerSize + 8 > f.size()) return malformed(error, "frame header");
  l->width = static_cast<int>(readBig(f, 8 + 8, 2));
  l->height = static_cast<int>(readBig(f, 8 + 10, 2));
  if ((f[8 + 12] >> 2 & 3) != 0) return malformed(error, "interlaced");
  const int alphaInfo = f[8 + 17] & 0xf;
  if (alphaInfo == 0) return 0;
  if (alphaInfo > 2) return malformed(error, "alpha depth");
  l->abits = alphaInfo == 1 ? 8 : 16;

  // Picture: its header, then a table of slice sizes, then the slices.
  l->picture = 8 + headerSize;
  const size_t pictureHeader = f[l->picture] >> 3;
  l->sliceCount = static_cast<int>(readBig(f, l->picture + 5, 2));
  l->sliceWidthLog2 = f[l->picture + 7] >> 4;
  if (pictureHeader < 8 || (f[l->picture + 7] & 0xf) != 0 || l->sliceWidthLog2 > 3)
    return malformed(error, "picture header");
  l->table = l->picture + pictureHeader;
  if (l->table + 2 * static_cast<size_t>(l->sliceCount) > f.size())
    return malformed(error, "slice table");
  return 1;
}

// Completes the alpha code of the slice of `size` bytes at `slice`, of `mbs`
// macroblocks: 1 when it did, in place or by asking for one byte more
// (`grows`); 0 when it was whole; −1 with the reason in `error`.
int64_t completeSlice(std::vector<uint8_t>& f, size_t slice, size_t size, int mbs, int abits,
                      bool* grows, std::string* error) {
  *grows = false;
  const size_t sliceHeader = f[slice] >> 3;
  if (sliceHeader < 8 || sliceHeader > size) return malformed(error, "slice header");
  const size_t coded =
      readBig(f, slice + 2, 2) + readBig(f, slice + 4, 2) + readBig(f, slice + 6, 2);
  if (sliceHeader + coded > size) return malformed(error, "plane sizes");
  const size_t alpha = slice + sliceHeader + coded;
  const size_t alphaBytes = size - sliceHeader - coded;
  const int64_t end = missingRunCodeAt(&f[alpha], alphaBytes, int64_t{mbs} * 256, abits);
  if (end == -2) return malformed(error, "alpha code");
  if (end < 0) return 0;
  if (static_cast<size_t>(end) < alphaBytes * 8) {
    f[alpha + end / 8] |= static_cast<uint8_t>(0x80 >> (end % 8));
    return 1;
  }
  if (size + 1 > 0xffff) {
    *error = "ProRes slice would exceed 65535 bytes";
    return -1;
  }
  *grows = true;
  return 1;
}

// Every slice, row by row, each row split into slices of 2^n macroblocks
// and then halves: the number completed, or −1. `grown` gets the slices
// that need one byte more.
int64_t completeSlices(std::vector<uint8_t>& f, const FrameLayout& l, std::vector<int>* grown,
                       std::string* error) {
  const int mbWidth = (l.width + 15) / 16;
  const int mbHeight = (l.height + 15) / 16;
  size_t slice = l.table + 2 * static_cast<size_t>(l.sliceCount);
  int64_t completed = 0;
  int index = 0;
  for (int row = 0; row < mbHeight; ++row) {
    int mbs = 1 << l.sliceWidthLog2;
    for (int x = 0; x < mbWidth; x += mbs, ++index) {
      while (mbWidth - x < mbs) mbs >>= 1;
      if (index >= l.sliceCount) return malformed(error, "slice count");
      const size_t size = readBig(f, l.table + 2 * index, 2);
      if (size < 8 || slice + size > f.size()) return malformed(error, "slice size");
      bool grows = false;
      const int64_t done = completeSlice(f, slice, size, mbs, l.abits, &grows, error);
      if (done < 0) return -1;
      completed += done;
      if (grows) grown->push_back(index);
      slice += size;
    }
  }
  if (index != l.sliceCount) return malformed(error, "slice count");
  return completed;
}

// Rebuilds the frame with a byte 0x80 ("no run", then padding) at the end of
// each grown slice, and the slice table, picture size and frame size to
// match.
void growSlices(std::vector<uint8_t>& f, const FrameLayout& l, const std::vector<int>& grown) {
  std::vector<uint8_t> out;
  out.reserve(f.size() + grown.size());
  size_t from = l.table + 2 * static_cast<size_t>(l.sliceCount);
  out.assign(f.begin(), f.begin() + static_cast<ptrdiff_t>(from));
  size_t next = 0;
  for (int i = 0; i < l.sliceCount; ++i) {
    const size_t size = readBig(f, l.table + 2 * i, 2);
    out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(from),
               f.begin() + static_cast<ptrdiff_t>(from + size));
    from += size;
    if (next < grown.size() && grown[next] == i) {
      out.push_back(0x80);
      writeBig(out, l.table + 2 * i, 2, static_cast<uint32_t>(size + 1));
      ++next;
    }
  }
  out.insert(out.end(), f.begin() + static_cast<ptrdiff_t>(from), f.end());
  writeBig(out, l.picture + 1, 4,
           readBig(f, l.picture + 1, 4) + static_cast<uint32_t>(grown.size()));
  writeBig(out, 0, 4, static_cast<uint32_t>(out.size()));
  f = std::move(out);
}

}  // namespace

int64_t completeAlphaRunCodes(std::vector<uint8_t>& f, std::string* error) {
  FrameLayout layout;
  const int64_t read = readLayout(f, &layout, error);
  if (read <= 0) return read;
  std::vector<int> grown;
  const int64_t completed = completeSlices(f, layout, &grown, error);
  if (completed > 0 && !grown.empty()) growSlices(f, layout, grown);
  return completed;
}

}  // namespace media
