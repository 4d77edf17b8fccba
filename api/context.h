// The library's context: the codec's records, kept from one call to the
// next, and what the last failed call said.
#ifndef QUARN_API_CONTEXT_H
#define QUARN_API_CONTEXT_H

#include <cstddef>
#include <string>
#include <vector>

#include "api/progress.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "quarn/quarn.h"

struct quarn_context {
  quarn::Encoder encoder;
  quarn::Decoder decoder;
  std::vector<unsigned char> rgb;  // RGBA input repacked, kept between frames
  std::string message;             // the last failure's, "" after a success
  std::size_t complete_size = 0;   // of the last encoding, when padded

  // Every processor thread until quarn_context_set_threads says otherwise.
  quarn_context() { set_threads(0); }
  void set_threads(int threads) {
    encoder.threads = threads;
    decoder.threads = threads;
  }
  quarn::api::Progress progress;   // the caller's callback, and the call's stages
};

#endif  // QUARN_API_CONTEXT_H
