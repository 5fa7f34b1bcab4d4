#pragma once

// Symbols of the shared platform library; the singletons live in it once per
// process, whoever links it (host, plug-in module, simulator, tests).
#if defined(_WIN32)
#  if defined(VRXPLATFORM_LIBRARY)
#    define VRXPLATFORM_EXPORT __declspec(dllexport)
#  else
#    define VRXPLATFORM_EXPORT __declspec(dllimport)
#  endif
#else
#  define VRXPLATFORM_EXPORT __attribute__((visibility("default")))
#endif
