// The generation run of the main window and the commands around it: generate, view, the output folder,
// exit, and the run the upload panel asks for.
#pragma once

#include <memory>

#include <QObject>
#include <QStringList>

class QProgressBar;
class TGallery;
class TVeltrixF;
struct TRunProgress;

class TRunCommands : public QObject {
public:
    // Works on the window's editor, grid, preview and dialogs; the window outlives it.
    explicit TRunCommands(TVeltrixF& window);
    // Connects the generation commands and the upload panel's tab.
    void Connect();

    bool ConfirmGeneration();
    // One run into dir (ending in '/'), without checks. An error ends the run where it happened: the files
    // written before stay, the progress bar goes and the status bar names the file the run stopped at.
    void GenerateInto(const QString& dir);
    // Set while a run goes on: the run processes pending events, and a command must not start another.
    bool Generating() const { return FGenerating; }
    // The files the last run wrote, as the upload panel stores them.
    const QStringList& UsedFiles() const { return FUsedFiles; }
    // Deletes every file of dir, not its subdirectories; a file that cannot be deleted is skipped.
    void ClearDirectory(const QString& dir);
    // The threads that render a run's thumbnails; 0 (the default) for one per core.
    void SetRenderThreads(int count) { FRenderThreads = count; }
    // The panel asks for a fresh gallery in the output directory, then uploads what the run wrote.
    void FtpUploadRequest();

private:
    TGallery GridGallery() const;
    void ShowRunProgress(const TRunProgress& progress, std::unique_ptr<QProgressBar>& bar, int& barPhase);
    void KeepRunStretches(const TGallery& gallery);
    void GeneratePageExecute();
    void GenerateTableExecute();
    void ViewPageExecute();
    void OutputDirExecute();
    void ExitExecute();
    void MainPCChange(int index);

    TVeltrixF& FWindow;
    QStringList FUsedFiles;
    bool FGenerating = false;
    int FRenderThreads = 0;
};
