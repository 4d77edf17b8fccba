/* How the host's functions and data cross the library boundary: exported by
   the stand-in's MaxAPI and jitlib libraries, imported by the plug-ins and
   the test programs. */
#ifndef QUARN_PLATFORM_PLATFORM_EXPORT_H
#define QUARN_PLATFORM_PLATFORM_EXPORT_H

#if defined(_WIN32)
#  if defined(QUARN_MAXAPI_BUILD)
#    define MAXAPI_API __declspec(dllexport)
#  else
#    define MAXAPI_API __declspec(dllimport)
#  endif
#  if defined(QUARN_JITLIB_BUILD)
#    define JITLIB_API __declspec(dllexport)
#  else
#    define JITLIB_API __declspec(dllimport)
#  endif
#  define PLUGIN_EXPORT __declspec(dllexport)
#else
#  define MAXAPI_API __attribute__((visibility("default")))
#  define JITLIB_API __attribute__((visibility("default")))
#  define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define PLATFORM_BEGIN_C extern "C" {
#  define PLATFORM_END_C }
#else
#  define PLATFORM_BEGIN_C
#  define PLATFORM_END_C
#endif

/* The host's 32-bit builds pack every structure of its interface to 2
   bytes; its 64-bit builds use the compiler's default packing. */
#if defined(_WIN64) || defined(__LP64__) || defined(_LP64)
#  define QUARN_HOST_64 1
#else
#  define QUARN_HOST_64 0
#endif

#endif /* QUARN_PLATFORM_PLATFORM_EXPORT_H */
