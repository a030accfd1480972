// The generation run: one gallery written into a folder in named phases (the copies of the pictures, their
// thumbnails, a page per picture, the table page), with progress told to a callback and a way to stop it.
#pragma once

#include <atomic>
#include <functional>

#include <QImage>
#include <QString>
#include <QStringList>

class TGallery;
class TGfxBaseIm;

// Web runs only with the web size on and a picture larger than it: those are published as smaller JPEGs.
enum class TRunPhase { Copy, Web, Thumbnails, Pages, Index };

// The phase's name as the command line prints it: "copy", "web", "thumbnails", "pages", "index".
QString RunPhaseName(TRunPhase phase);

// Where a run is: Done of Total files of the phase are done, and the file it works on now (the picture being
// copied or rendered, the page being written); Dest is the copy's published name in the copy phase.
struct TRunProgress {
    TRunPhase Phase = TRunPhase::Copy;
    int Done = 0;
    int Total = 0;
    QString Current;
    QString Dest;
};
// Called on the run's thread at the start of every phase, about ten times a second meanwhile and at its end.
using TRunCallback = std::function<void(const TRunProgress&)>;

// Stops a run from any thread: the run ends before its next file, and the thumbnails being rendered finish.
// Every file goes in under a temporary name and is renamed when complete, so a stopped run leaves no part of
// a file under a gallery's name.
class TRunCancel {
public:
    void Cancel() { FCancelled = true; }
    bool Cancelled() const { return FCancelled; }

private:
    std::atomic<bool> FCancelled{false};
};

struct TRunResult {
    QStringList Written; // the gallery's files in the order the run wrote (or kept) them
    int Pictures = 0;
    QString Failure;   // why the run stopped; empty when it wrote the whole gallery
    QString StoppedAt; // the file it stopped at
    bool Cancelled = false;
    QImage LastThumb; // the last picture's thumbnail, when the run rendered it
    // Files this run wrote, kept as the last run wrote them (their inputs unchanged), and removed because the
    // last run wrote them and this one no longer does.
    int FilesWritten = 0;
    int FilesKept = 0;
    int FilesRemoved = 0;
    int FilesLeft = 0; // another gallery's, left in the folder unremoved

    // "12 files written, 140 kept, 3 removed".
    QString FilesText() const;

    bool Ok() const { return Failure.isEmpty(); }
};

// Loads the gallery's background picture; raises EGalleryException naming it as the background when it is
// missing or cannot be read.
void LoadBackgroundPicture(TGfxBaseIm& picture, const QString& path);

// The text of a cancelled run.
inline constexpr char kRunCancelled[] = "Cancelled: the gallery was not finished";

class TGalleryRun {
public:
    explicit TGalleryRun(TGallery& gallery) : FGallery(gallery) {}

    // The threads that render the thumbnails; 0 for one per core.
    int Threads = 0;
    // The program's private working folder: a run into it makes it again when it has gone.
    QString WorkDir;
    // Which gallery this is (kept in the output folder's record); empty for none in particular.
    QString GalleryId;
    // Asked, with their number, before files that a run of another gallery wrote into the folder are
    // removed as no longer written; without an answer (none set) they are left where they are.
    std::function<bool(int files)> ConfirmForeignRemoval;
    // The background picture already loaded (the window's); none: read from the file the run publishes.
    const TGfxBaseIm* LoadedBackground = nullptr;

    // Writes the gallery into dir (ending in '/'), made when missing. The pictures' stretches the run makes
    // are kept in the gallery's cells for the next run. Never throws: a failure ends the run where it
    // happened, the files written before stay, and the result says why and where.
    TRunResult Run(const QString& dir, const TRunCallback& progress = {}, const TRunCancel* cancel = nullptr);

private:
    TGallery& FGallery;
};
