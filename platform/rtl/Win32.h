#pragma once
// The one place windows.h is included, with lean headers and no min/max macros.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#include <windows.h>

// The runtime has functions of these names (class registry, string-list objects); the ANSI/wide
// macros would rename them. Windows code calls the A forms explicitly.
#undef RegisterClass
#undef GetObject
