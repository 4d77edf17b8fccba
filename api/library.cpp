// The library's plain entry points: version, storage, codes and contexts.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "api/context.h"
#include "image/size_limits.h"
#include "image/worker_pool.h"
#include "quarn/quarn.h"

using quarn::kMaxThreads;

namespace {

struct Text {
  char chars[64];
};

// Built once from the limits, without allocating.
const char* size_range() {
  static const Text text = [] {
    Text t{};
    std::snprintf(t.chars, sizeof t.chars, "width or height outside %d to %d",
                  static_cast<int>(quarn::kMinSide), static_cast<int>(quarn::kMaxSide));
    return t;
  }();
  return text.chars;
}

}  // namespace

const char* quarn_version(void) { return QUARN_VERSION; }

void quarn_free(void* p) { std::free(p); }

const char* quarn_error_string(int code) {
  switch (code) {
    case QUARN_OK:
      return "success";
    case QUARN_ERROR_ARGUMENT:
      return "invalid argument: a null pointer, an unknown pixel format or a row stride shorter "
             "than a row";
    case QUARN_ERROR_SIZE:
      return size_range();
    case QUARN_ERROR_BITRATE:
      return "bitrate not usable: not a finite positive number, above 64, or too low for the "
             "stream header";
    case QUARN_ERROR_STREAM:
      return "not a coded stream, or one damaged or cut short in its size prefix or header";
    case QUARN_ERROR_BUFFER:
      return "buffer too small";
    case QUARN_ERROR_MEMORY:
      return "insufficient memory";
    case QUARN_ERROR_INTERNAL:
      return "internal fault in the codec";
    default:
      return "unknown result code";
  }
}

quarn_context* quarn_context_new(void) { return new (std::nothrow) quarn_context; }

void quarn_context_free(quarn_context* context) { delete context; }

int quarn_context_set_threads(quarn_context* context, int threads) {
  if (context == nullptr || threads < 0) return QUARN_ERROR_ARGUMENT;
  context->set_threads(threads > kMaxThreads ? kMaxThreads : threads);
  context->message.clear();
  return QUARN_OK;
}

int quarn_context_set_progress(quarn_context* context, quarn_progress_callback callback,
                               void* user) {
  if (context == nullptr) return QUARN_ERROR_ARGUMENT;
  context->progress.callback = callback;
  context->progress.user = user;
  context->message.clear();
  return QUARN_OK;
}

const char* quarn_context_message(const quarn_context* context) {
  return context == nullptr ? "" : context->message.c_str();
}
