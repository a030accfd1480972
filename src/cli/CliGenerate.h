// `veltrix generate` on the gallery library: no window, no widget, and nothing written outside --out.
#pragma once

#include <memory>

#include <QStringList>

struct TCliArgs;
struct TCliStreams;
struct TVeltrixPlaces;

// What a generation begins before the application object is made, so that the pictures are read on every
// core while the program starts up: the profile read and the pictures' reading for their placing. Null when
// the arguments give nothing to begin (a gallery file, an --out that is a file).
struct TGenerateStart;
std::shared_ptr<TGenerateStart> StartGenerate(const QStringList& rawArgs, const TCliArgs& args,
                                              const TVeltrixPlaces& places);
// The arguments it was begun for.
const QStringList& StartedArgs(const TGenerateStart& started);

// With started, the profile and the pictures' reading are taken from it.
int GenerateGallery(const TCliArgs& args, const TVeltrixPlaces& places, const TCliStreams& streams,
                    TGenerateStart* started = nullptr);
