// `veltrix generate` on the gallery library: no window, no widget, and nothing written outside --out.
#pragma once

struct TCliArgs;
struct TCliStreams;
struct TVeltrixPlaces;

int GenerateGallery(const TCliArgs& args, const TVeltrixPlaces& places, const TCliStreams& streams);
