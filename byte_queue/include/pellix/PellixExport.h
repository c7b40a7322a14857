#pragma once

// Visibility of the Pellix interface. The library itself is built with
// PELLIX_BUILDING defined; its users see the import form on Windows.
#ifdef _WIN32
#ifdef PELLIX_BUILDING
#define PELLIX_API __declspec(dllexport)
#else
#define PELLIX_API __declspec(dllimport)
#endif
#else
#define PELLIX_API __attribute__((visibility("default")))
#endif
