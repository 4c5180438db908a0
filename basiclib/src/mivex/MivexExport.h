#pragma once

// MIVEX_API marks the classes that libmivex.so exports. The library is built
// with hidden visibility, so everything without the mark (private parts,
// platform helpers) stays inside the library.
#if defined(_WIN32)
#if defined(MIVEX_BUILDING)
#define MIVEX_API __declspec(dllexport)
#else
#define MIVEX_API __declspec(dllimport)
#endif
#else
#define MIVEX_API __attribute__((visibility("default")))
#endif
