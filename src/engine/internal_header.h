// Included by every header of an engine/*/internal/ folder. Those headers are the engine's
// own: its files, its tests, benchmarks and fuzz targets, which are built with
// VPAK_ENGINE_INTERNAL. The window and the command line use the public headers only, and a
// file of theirs that reaches for an internal one does not compile.
#pragma once

#ifndef VPAK_ENGINE_INTERNAL
#error "an engine-internal header is included outside the engine, its tests, benchmarks and fuzz targets"
#endif
