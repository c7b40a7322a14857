#pragma once

// Visibility of the Dorvane interface. The library itself is built with
// DORVANE_BUILDING defined; its users see the import form on Windows.
#ifdef _WIN32
#ifdef DORVANE_BUILDING
#define DORVANE_API __declspec(dllexport)
#else
#define DORVANE_API __declspec(dllimport)
#endif
#else
#define DORVANE_API __attribute__((visibility("default")))
#endif
