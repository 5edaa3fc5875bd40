// MARL_API marks what the shared library exports: the classes and functions
// of the public headers. Everything else in the library is hidden.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MARL_API __attribute__((visibility("default")))
#else
#define MARL_API
#endif
