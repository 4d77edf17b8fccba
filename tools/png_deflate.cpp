#include "tools/png_deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarn {

namespace {

constexpr int kEndOfBlock = 256;
constexpr int kLiteralLengthCodes = 286;  // 0-255 bytes, 256 end, 257-285 lengths
constexpr int kMaxCodeBits = 15;
constexpr int kMaxLengthCodeBits = 7;  // the code that codes the code lengths
// Runs shorter than this are left as literals: on smooth pictures the
// repeated byte is mostly a difference of 0, whose code is short, and a
// match of 3 costs more than three of them.
constexpr std::size_t kMinRun = 4;
constexpr std::size_t kMaxRun = 258;  // deflate's longest match
// A token of the first pass with this bit is a run of the low bits' length.
constexpr uint16_t kRunToken = 0x8000;

// Bits to the output, least significant first, as deflate orders them.
class BitSink {
 public:
  explicit BitSink(uint8_t* out) : start_(out), at_(out) {}

  // Up to 56 bits at a time. The whole word is stored each time, and the
  // output moves on by the whole bytes in it.
  void put(uint64_t bits, int count) {
    buffer_ |= bits << filled_;
    filled_ += count;
    std::memcpy(at_, &buffer_, 8);  // the bound leaves room for the whole word
    at_ += filled_ >> 3;
    buffer_ >>= filled_ & ~7;  // filled_ is at most 63
    filled_ &= 7;
  }

  // Pads with zero bits to a byte boundary and stores what is pending.
  void align() {
    while (filled_ > 0) {
      *at_++ = static_cast<uint8_t>(buffer_);
      buffer_ >>= 8;
      filled_ -= 8;
    }
    buffer_ = 0;
    filled_ = 0;
  }

  std::size_t written() const { return static_cast<std::size_t>(at_ - start_); }

 private:
  uint8_t* start_;
  uint8_t* at_;
  uint64_t buffer_ = 0;
  int filled_ = 0;
};

// Deflate's length codes: the first length of each, and its extra bits.
struct LengthCode {
  uint16_t base;
  uint8_t extra;
};
constexpr LengthCode kLengthCodes[29] = {
    {3, 0},  {4, 0},  {5, 0},  {6, 0},   {7, 0},   {8, 0},   {9, 0},   {10, 0},  {11, 1}, {13, 1},
    {15, 1}, {17, 1}, {19, 2}, {23, 2},  {27, 2},  {31, 2},  {35, 3},  {43, 3},  {51, 3}, {59, 3},
    {67, 4}, {83, 4}, {99, 4}, {115, 4}, {131, 5}, {163, 5}, {195, 5}, {227, 5}, {258, 0}};

// The length code (0..28) of each run length 3..258.
struct RunTable {
  std::array<uint8_t, kMaxRun + 1> code{};
  constexpr RunTable() {
    for (int c = 0; c < 29; ++c) {
      const std::size_t end = c == 28 ? kMaxRun + 1 : kLengthCodes[c + 1].base;
      for (std::size_t n = kLengthCodes[c].base; n < end; ++n) code[n] = static_cast<uint8_t>(c);
    }
  }
};
constexpr RunTable kRuns;

// Code lengths of at most `limit` bits for the symbols' frequencies, as a
// Huffman code gives them, lengthened where they are too long (the way of
// JPEG's Annex K.3: the code stays complete). At least two symbols must
// occur.
void code_lengths(const uint32_t* frequency, int symbols, int limit, uint8_t* length) {
  // Huffman's construction with two queues: the leaves sorted by frequency,
  // and the joined nodes, which come out in order.
  struct Node {
    uint64_t weight;
    int32_t parent;
  };
  std::array<Node, 2 * kLiteralLengthCodes> nodes{};
  std::array<int32_t, kLiteralLengthCodes> leaves{};
  int leaf_count = 0;
  for (int s = 0; s < symbols; ++s) {
    length[s] = 0;
    if (frequency[s] != 0) leaves[leaf_count++] = s;
  }
  std::stable_sort(leaves.begin(), leaves.begin() + leaf_count,
                   [&](int32_t a, int32_t b) { return frequency[a] < frequency[b]; });
  for (int i = 0; i < leaf_count; ++i) nodes[i] = {frequency[leaves[i]], -1};
  int next_leaf = 0;
  int next_joined = leaf_count;
  int count = leaf_count;
  const auto take = [&]() {
    if (next_leaf < leaf_count &&
        (next_joined >= count || nodes[next_leaf].weight <= nodes[next_joined].weight)) {
      return next_leaf++;
    }
    return next_joined++;
  };
  while (count < 2 * leaf_count - 1) {
    const int a = take();
    const int b = take();
    nodes[count] = {nodes[a].weight + nodes[b].weight, -1};
    nodes[a].parent = count;
    nodes[b].parent = count;
    ++count;
  }
  // Depths from the root down: a parent always comes after its children.
  std::array<uint8_t, 2 * kLiteralLengthCodes> depth{};
  std::array<int, 64> at_length{};
  for (int i = count - 2; i >= 0; --i) depth[i] = static_cast<uint8_t>(depth[nodes[i].parent] + 1);
  for (int i = 0; i < leaf_count; ++i) ++at_length[std::min<int>(depth[i], 63)];

  bool too_long = false;
  for (int d = limit + 1; d < 64; ++d) {
    if (at_length[d] != 0) too_long = true;
    at_length[limit] += at_length[d];
    at_length[d] = 0;
  }
  if (too_long) {
    // Kraft's sum in units of 2^-limit, brought back to exactly 1: each
    // step moves a leaf from a shorter length d down to d + 1, beside one
    // of the longest, whose place it takes.
    uint64_t kraft = 0;
    for (int d = 1; d <= limit; ++d) kraft += static_cast<uint64_t>(at_length[d]) << (limit - d);
    while (kraft > (uint64_t{1} << limit)) {
      int d = limit - 1;
      while (at_length[d] == 0) --d;
      --at_length[d];
      at_length[d + 1] += 2;
      --at_length[limit];
      --kraft;
    }
  }
  // The shortest codes to the most frequent symbols: leaves are in rising
  // frequency, so the longest lengths go to the first of them.
  int leaf = 0;
  for (int d = limit; d >= 1; --d) {
    for (int k = 0; k < at_length[d]; ++k) length[leaves[leaf++]] = static_cast<uint8_t>(d);
  }
}

// Canonical codes for the lengths, bit-reversed for the least-significant-
// first order in which deflate sends them.
void canonical_codes(const uint8_t* length, int symbols, uint16_t* code) {
  std::array<int, kMaxCodeBits + 2> at_length{};
  for (int s = 0; s < symbols; ++s) ++at_length[length[s]];
  at_length[0] = 0;
  std::array<int, kMaxCodeBits + 2> next{};
  int c = 0;
  for (int d = 1; d <= kMaxCodeBits; ++d) {
    c = (c + at_length[d - 1]) << 1;
    next[d] = c;
  }
  for (int s = 0; s < symbols; ++s) {
    const int n = length[s];
    if (n == 0) continue;
    const int v = next[n]++;
    int reversed = 0;
    for (int b = 0; b < n; ++b) reversed |= ((v >> b) & 1) << (n - 1 - b);
    code[s] = static_cast<uint16_t>(reversed);
  }
}

// Gives a second symbol a use when only one has any, so that the code is a
// complete one, as inflaters want.
void at_least_two(uint32_t* frequency, int symbols) {
  int used = 0;
  for (int s = 0; s < symbols; ++s) used += frequency[s] != 0 ? 1 : 0;
  for (int s = 0; s < symbols && used < 2; ++s) {
    if (frequency[s] == 0) {
      frequency[s] = 1;
      ++used;
    }
  }
}

// How long the run of bytes equal to in[i - 1] is from i, up to the most
// one match codes.
std::size_t run_from(const uint8_t* in, std::size_t i, std::size_t size) {
  const uint8_t v = in[i - 1];
  const std::size_t end = std::min(size, i + kMaxRun);
  std::size_t j = i;
  while (j < end && in[j] == v) ++j;
  return j - i;
}

// The first pass: the bytes as tokens, literals and runs (kRunToken | its
// length), counted by symbol. Returns the number of tokens.
std::size_t tokenize(const uint8_t* in, std::size_t size, uint16_t* tokens, uint32_t* frequency) {
  // Literals are counted in four tables, which breaks the chains of
  // increments of one counter.
  uint32_t counts[4][256] = {};
  std::size_t n = 0;
  std::size_t i = 0;
  if (size > 0) {
    ++counts[0][in[0]];
    tokens[n++] = in[0];
    i = 1;
  }
  while (i < size) {
#if defined(__SSE2__)
    // Sixteen at a time where no run of kMinRun starts among them: a run
    // starts at k when bytes k to k + 3 each equal the byte before them.
    if (i + 32 <= size) {
      const auto equal = [&](std::size_t at) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at - 1));
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, before)));
      };
      const uint32_t same = equal(i) | equal(i + 16) << 16;
      const uint32_t starts = same & same >> 1 & same >> 2 & same >> 3 & 0xFFFF;
      const std::size_t literals =
          starts == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(starts));
      for (std::size_t k = 0; k < literals; ++k) {
        const uint8_t v = in[i + k];
        ++counts[k & 3][v];
        tokens[n++] = v;
      }
      i += literals;
      if (literals == 16) continue;
    }
#endif
    const std::size_t run = run_from(in, i, size);
    if (run >= kMinRun) {
      ++frequency[257 + kRuns.code[run]];
      tokens[n++] = static_cast<uint16_t>(kRunToken | run);
      i += run;
    } else {
      ++counts[0][in[i]];
      tokens[n++] = in[i];
      ++i;
    }
  }
  for (int v = 0; v < 256; ++v)
    frequency[v] += counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
  return n;
}

}  // namespace

std::size_t deflate_band_bound(std::size_t size) {
  // Every byte in at most 15 bits, the header (under 400 bytes), the empty
  // stored block and room for the sink's whole-word stores.
  return size * 2 + 512;
}

std::size_t deflate_band(const uint8_t* in, std::size_t size, bool last, uint8_t* out,
                         std::vector<uint16_t>* tokens) {
  // First pass: tokens, and how often each symbol occurs.
  if (tokens->size() < size) tokens->resize(size);
  std::array<uint32_t, kLiteralLengthCodes> frequency{};
  const std::size_t token_count = tokenize(in, size, tokens->data(), frequency.data());
  frequency[kEndOfBlock] = 1;
  at_least_two(frequency.data(), kLiteralLengthCodes);
  std::array<uint8_t, kLiteralLengthCodes> length{};
  code_lengths(frequency.data(), kLiteralLengthCodes, kMaxCodeBits, length.data());
  std::array<uint16_t, kLiteralLengthCodes> code{};
  canonical_codes(length.data(), kLiteralLengthCodes, code.data());
  int literal_codes = kLiteralLengthCodes;
  while (literal_codes > 257 && length[literal_codes - 1] == 0) --literal_codes;

  // One distance code, distance 1, of one bit; then the code lengths of
  // both alphabets, coded with the code-length code (lengths only, without
  // its repeat codes).
  std::array<uint8_t, kLiteralLengthCodes + 1> lengths{};
  std::copy(length.begin(), length.begin() + literal_codes, lengths.begin());
  lengths[literal_codes] = 1;
  const int all = literal_codes + 1;
  std::array<uint32_t, 19> length_frequency{};
  for (int s = 0; s < all; ++s) ++length_frequency[lengths[s]];
  at_least_two(length_frequency.data(), 19);
  std::array<uint8_t, 19> length_length{};
  code_lengths(length_frequency.data(), 19, kMaxLengthCodeBits, length_length.data());
  std::array<uint16_t, 19> length_code{};
  canonical_codes(length_length.data(), 19, length_code.data());
  static constexpr int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
  int sent_lengths = 19;
  while (sent_lengths > 4 && length_length[kOrder[sent_lengths - 1]] == 0) --sent_lengths;

  BitSink sink(out);
  sink.put(last ? 1 : 0, 1);  // BFINAL
  sink.put(2, 2);             // dynamic Huffman codes
  sink.put(static_cast<uint32_t>(literal_codes - 257), 5);
  sink.put(0, 5);  // one distance code
  sink.put(static_cast<uint32_t>(sent_lengths - 4), 4);
  for (int i = 0; i < sent_lengths; ++i) sink.put(length_length[kOrder[i]], 3);
  for (int s = 0; s < all; ++s) sink.put(length_code[lengths[s]], length_length[lengths[s]]);

  // Second pass: the symbols.
  std::array<uint32_t, 256> literal{};  // code | length << 16
  for (int v = 0; v < 256; ++v) literal[v] = code[v] | static_cast<uint32_t>(length[v]) << 16;
  const uint16_t* token = tokens->data();
  const uint16_t* end = token + token_count;
  while (token < end) {
    // Three literals in one go where there are three: at most 45 bits.
    if (end - token >= 3 && ((token[0] | token[1] | token[2]) & kRunToken) == 0) {
      const uint32_t a = literal[token[0]];
      const uint32_t b = literal[token[1]];
      const uint32_t c = literal[token[2]];
      const int la = static_cast<int>(a >> 16);
      const int lb = static_cast<int>(b >> 16);
      sink.put((a & 0xFFFF) | static_cast<uint64_t>(b & 0xFFFF) << la |
                   static_cast<uint64_t>(c & 0xFFFF) << (la + lb),
               la + lb + static_cast<int>(c >> 16));
      token += 3;
      continue;
    }
    if ((*token & kRunToken) == 0) {
      sink.put(literal[*token] & 0xFFFF, static_cast<int>(literal[*token] >> 16));
      ++token;
      continue;
    }
    // A run: its length code, the length's extra bits and the one-bit code
    // of distance 1 (code 0), at most 21 bits.
    const std::size_t run = *token & ~kRunToken;
    const int c = kRuns.code[run];
    const int n = length[257 + c];
    const int extra = kLengthCodes[c].extra;
    sink.put(code[257 + c] | static_cast<uint64_t>(run - kLengthCodes[c].base) << n, n + extra + 1);
    ++token;
  }
  sink.put(code[kEndOfBlock], length[kEndOfBlock]);
  if (!last) {
    // An empty stored block: BFINAL 0, type 0, then at the byte boundary
    // its length 0 and the length's complement.
    sink.put(0, 3);
    sink.align();
    sink.put(0xFFFF0000u, 32);  // LEN 0, NLEN 0xFFFF
  }
  sink.align();
  return sink.written();
}

}  // namespace quarn
