// The generation run and the commands around it: generate, view, output directory, exit, upload request.
#include "app/VeltrixU.h"

#include <QAction>
#include <QTabWidget>

#include "app/VlxApplication.h"

void TVeltrixF::ConnectGenerationCommands() {
    connect(ExitA, &QAction::triggered, this, Guarded([this] { ExitExecute(); }));
    connect(MainPC, &QTabWidget::currentChanged, this, Guarded([this](int index) { MainPCChange(index); }));
}

// The checks before a run; refuses while the run itself is not there.
bool TVeltrixF::ConfirmGeneration() {
    return false;
}

void TVeltrixF::GenerateInto(const QString& dir) {
    Q_UNUSED(dir);
}

void TVeltrixF::GeneratePageExecute() {}

void TVeltrixF::GenerateTableExecute() {}

void TVeltrixF::ViewPageExecute() {}

void TVeltrixF::OutputDirExecute() {}

// Clearing the working directory on exit comes with the generation run.
void TVeltrixF::ExitExecute() {
    close();
}

void TVeltrixF::FtpUploadRequest() {}

// The upload panel receives the last run's files when its tab is shown.
void TVeltrixF::MainPCChange(int index) {
    Q_UNUSED(index);
}
