// A count of picture decodes, kept apart from the decoders so that every one of them can count
// (internal to the picture unit).
#pragma once

#include <cstdint>

// How many times picture data have been decoded into pixels, on any thread, since the program started: a
// whole picture, or the rows a stretch samples (one pass over a file's data counts once). Lets tests and
// benchmarks see how often a picture is decoded.
std::uint64_t PictureDecodeCount();
// Counts one decode (called by the decoders).
void CountPictureDecode();
