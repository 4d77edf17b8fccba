/* How the stand-in host's functions and data cross the shared-library
   boundary: exported from the host library, imported by the plug-ins. */
#ifndef QUARN_PLATFORM_PLATFORM_EXPORT_H
#define QUARN_PLATFORM_PLATFORM_EXPORT_H

#if defined(_WIN32)
#  if defined(QUARN_PLATFORM_BUILD)
#    define PLATFORM_API __declspec(dllexport)
#  else
#    define PLATFORM_API __declspec(dllimport)
#  endif
#  define PLUGIN_EXPORT __declspec(dllexport)
#else
#  define PLATFORM_API __attribute__((visibility("default")))
#  define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define PLATFORM_BEGIN_C extern "C" {
#  define PLATFORM_END_C }
#else
#  define PLATFORM_BEGIN_C
#  define PLATFORM_END_C
#endif

#endif /* QUARN_PLATFORM_PLATFORM_EXPORT_H */
