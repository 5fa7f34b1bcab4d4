#pragma once

#if defined(_WIN32)
#  if defined(VRXRTB_LIBRARY)
#    define VRXRTB_EXPORT __declspec(dllexport)
#  else
#    define VRXRTB_EXPORT __declspec(dllimport)
#  endif
#else
#  define VRXRTB_EXPORT __attribute__((visibility("default")))
#endif
