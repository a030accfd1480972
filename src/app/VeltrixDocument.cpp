// The gallery as a document: the File and Edit menus, saving and opening gallery files, the recent galleries,
// the title with its modified mark, the question before unsaved changes are lost, and missing pictures.
#include "app/VeltrixU.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScopeGuard>
#include <QStyle>
#include <QTimer>

#include "app/VlxApplication.h"
#include "gallery/GalleryDocument.h"
#include "gallery/Version.h"
#include "settings/VlxJsonFile.h"
#include "grid/GfxGrid.h"

namespace {

// While a gallery's pictures are read the window repaints but takes no input, so that nothing changes the
// gallery being left: Esc asks to stop, other keys, clicks, drops and closing the window are dropped.
class TEscapeOnly : public QObject {
public:
    TEscapeOnly() { QCoreApplication::instance()->installEventFilter(this); }
    ~TEscapeOnly() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool Escaped() const { return FEscaped; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            FEscaped = FEscaped || static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            return event->spontaneous();
        default:
            return false;
        }
    }

private:
    bool FEscaped = false;
};

QString Quoted(const QString& text) {
    return "\"" + text + "\"";
}

} // namespace

void TVeltrixF::ConnectDocumentCommands() {
    connect(Commands->OpenGalleryA, &QAction::triggered, this, Guarded([this] {
                QString path = GalleryFile().isEmpty() ? RecentFolder("Galleries")
                                                       : QFileInfo(GalleryFile()).absolutePath();
                if (ConfirmDiscard() && FDialogs->OpenGalleryFile(path)) {
                    ReadGallery(path);
                }
            }));
    connect(Commands->SaveGalleryA, &QAction::triggered, this, Guarded([this] { SaveGallery(); }));
    connect(Commands->SaveGalleryAsA, &QAction::triggered, this, Guarded([this] { SaveGalleryAs(); }));
    connect(Commands->FindMissingA, &QAction::triggered, this, Guarded([this] { FindMissingPictures(); }));
}

bool TVeltrixF::IsModified() const {
    return FGrid && FEditor->IsModified();
}

void TVeltrixF::UpdateTitle() {
    const bool modified = IsModified();
    // The desktop adds the program's name after a gallery's.
    if (GalleryFile().isEmpty() && !modified)
        setWindowTitle(kApplicationName);
    else
        setWindowTitle(
            (GalleryFile().isEmpty() ? QString("Untitled") : QFileInfo(GalleryFile()).completeBaseName()) +
            "[*]");
    setWindowModified(modified);
}

void TVeltrixF::TitleLater() {
    if (FTitleQueued)
        return;
    FTitleQueued = true;
    QTimer::singleShot(0, this, [this] {
        FTitleQueued = false;
        RunGuarded([this] { UpdateTitle(); });
    });
}

bool TVeltrixF::ConfirmDiscard() {
    if (!IsModified())
        return true;
    const QString name = GalleryFile().isEmpty()
                             ? QString("The new gallery")
                             : "The gallery " + Quoted(QFileInfo(GalleryFile()).fileName());
    const QString text = name + " has changes that are not saved.\rSave them first ?\r\r"
                                "Yes saves them, No discards them, Cancel goes back to the gallery.";
    switch (FDialogs->MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNoCancel)) {
    case TModalResult::Yes:
        return SaveGallery();
    case TModalResult::No:
        return true;
    default:
        return false;
    }
}

void TVeltrixF::closeEvent(QCloseEvent* event) {
    bool close = true;
    RunGuarded([&] { close = FGenerating ? false : ConfirmDiscard() && ConfirmFtpDiscard(); });
    if (close)
        QMainWindow::closeEvent(event);
    else
        event->ignore();
}

// An error is shown; false then, as for a cancelled dialog.
bool TVeltrixF::SaveGallery() {
    if (GalleryFile().isEmpty())
        return SaveGalleryAs();
    // Another program (or a newer Veltrix) may have written the file since: never over it unasked.
    if (FEditor->ChangedOnDisk()) {
        const QString text = "The gallery file " + Quoted(GalleryFile()) +
                             " was changed by another program since it was opened or saved here.\r"
                             "Save over it ?\r\rYes writes this gallery over it, No saves it under another "
                             "name, Cancel goes back.";
        switch (FDialogs->MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNoCancel)) {
        case TModalResult::Yes:
            break;
        case TModalResult::No:
            return SaveGalleryAs();
        default:
            return false;
        }
    }
    bool saved = false;
    RunGuarded([&] {
        WriteGallery(GalleryFile());
        saved = true;
    });
    return saved;
}

bool TVeltrixF::SaveGalleryAs() {
    QString path =
        GalleryFile().isEmpty()
            ? (RecentFolder("Galleries").isEmpty() ? QDir::homePath() : RecentFolder("Galleries")) +
                  "/gallery" + kGalleryFileExtension
            : GalleryFile();
    if (!FDialogs->SaveGalleryFile(path) || path.trimmed().isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += kGalleryFileExtension;
    bool saved = false;
    RunGuarded([&] {
        WriteGallery(QFileInfo(path).absoluteFilePath());
        saved = true;
    });
    return saved;
}

void TVeltrixF::WriteGallery(const QString& fileName) {
    FEditor->Save(fileName, FWorkDir);
    RememberRecent(fileName);
    RememberFolder("Galleries", QFileInfo(fileName).absolutePath());
    UpdateTitle();
    ShowStatus("Gallery saved: " + fileName);
}

void TVeltrixF::OpenGallery(const QString& fileName) {
    if (ConfirmDiscard())
        ReadGallery(QFileInfo(fileName).absoluteFilePath());
}

// The file and its pictures are read whole before anything changes: a damaged file, or Esc while the
// pictures are read (thousands take a while, shown by a bar), leaves the gallery shown as it is.
void TVeltrixF::ReadGallery(const QString& fileName) {
    const TFileStamp stamp = TFileStamp::Of(fileName);
    const TGalleryDocument document = ReadGalleryFile(fileName);
    CancelPlacing(); // pictures still coming belong to the gallery left
    ShowStatus("Opening: " + fileName + " (Esc stops)");
    const std::unique_ptr<TCellPreviews> read =
        ReadPictures(document.Cells, document.Settings.Thumb.PictureBox());
    if (!read) {
        ShowStatus("Opening stopped: " + fileName);
        return;
    }
    std::vector<TRefusedFile> missing;
    FEditor->Quietly([&] {
        FGrid->ClearAllCells();
        ApplySettings(document.Settings);
        SetTableSize(document.Columns, document.Rows);
        missing = FGrid->LoadNamedCells(document.Cells, *read);
        FGrid->SetCurrentCell(0, 0);
    });
    // A gallery goes where it went before; one saved before that was kept, beside its file.
    SetOutputDir(document.OutputDir.isEmpty() ? DefaultOutputDir(fileName) : document.OutputDir);
    FEditor->Started(fileName, stamp, GalleryIdOf(document, fileName), OutputDir());
    RememberRecent(fileName);
    RememberFolder("Galleries", QFileInfo(fileName).absolutePath());
    ShowEditState();
    UpdateTableStatus();
    ShowStatus("Gallery opened: " + fileName);
    if (const QStringList texts = ScriptTexts(document.Settings); !texts.isEmpty())
        FDialogs->MessageBox(TMsgKind::Warning, ScriptTextsWarning(fileName, texts), TMsgButtons::Ok);
    if (missing.empty())
        return;
    QStringList lines;
    for (const TRefusedFile& file : missing)
        lines << file.Reason;
    const QString text = QString("%1 of the gallery's pictures %2 not found:")
                             .arg(missing.size())
                             .arg(missing.size() == 1 ? "was" : "were");
    if (FDialogs->ListMessageBox(TMsgKind::Warning, text, lines,
                                 "\rTheir cells are kept, crossed out, and they are not published until "
                                 "found.\rLook for them in another folder ?",
                                 TMsgButtons::YesNo) == TModalResult::Yes)
        FindMissingPictures();
}

// The cells' pictures read for the picture box on every core, a bar showing how far; null when Esc
// stopped the reading.
std::unique_ptr<TCellPreviews> TVeltrixF::ReadPictures(const std::vector<TDocumentCell>& cells,
                                                       const QSize& box) {
    const std::unique_ptr<QProgressBar> bar(CreateStatusProgressBar(int(cells.size())));
    const TEscapeOnly input;
    return FGrid->ReadCellPreviews(
        cells, box, QEventLoop::AllEvents, [&bar](int done, int) { bar->setValue(done); },
        [&input] { return input.Escaped(); });
}

void TVeltrixF::FindMissingPictures() {
    std::vector<TDocumentCell> missing;
    for (int row = 0; row < FGrid->RowCount(); ++row)
        for (int col = 0; col < FGrid->ColCount(); ++col)
            if (FGrid->IsCellMissing(col, row))
                missing.push_back({col, row, FGrid->Gallery().Cell(col, row)});
    if (missing.empty()) {
        FDialogs->MessageBox(TMsgKind::Information, "No picture of the gallery is missing", TMsgButtons::Ok);
        return;
    }
    const QString first = missing.front().Cell.Source;
    QString folder = QFileInfo(first).absolutePath();
    if (!FDialogs->SelectDirectory(folder) || folder.trimmed().isEmpty())
        return;
    std::vector<TDocumentCell> found;
    for (TDocumentCell cell : missing)
        if (QString path = FoundPicture(cell.Cell.Source, first, folder); !path.isEmpty()) {
            cell.Cell.Source = path;
            found.push_back(cell);
        }
    std::vector<TRefusedFile> refused;
    if (!found.empty()) {
        ShowStatus("Reading the pictures found in " + folder + " (Esc stops)");
        const std::unique_ptr<TCellPreviews> read = ReadPictures(found, FGrid->PictureBox());
        if (!read) {
            ShowStatus("Finding missing pictures stopped");
            return;
        }
        EditGallery("Find missing pictures", [&] { refused = FGrid->LoadNamedCells(found, *read); });
    }
    const int still = int(missing.size() - found.size() + refused.size());
    QString text = QString("%1 of %2 missing pictures found in %3.")
                       .arg(missing.size() - still)
                       .arg(missing.size())
                       .arg(folder);
    QStringList lines;
    for (const TRefusedFile& file : refused)
        lines << file.Reason;
    FDialogs->ListMessageBox(TMsgKind::Information, text, lines, {}, TMsgButtons::Ok);
}

void TVeltrixF::NewGallery() {
    FEditor->Quietly([this] { FGrid->ClearAllCells(); });
    // A new gallery is another gallery: it never writes into the last one's folder unasked.
    SetOutputDir(FWorkDir);
    FEditor->Started({}, {}, NewGalleryId(), OutputDir());
    ShowEditState();
    ShowThumb();
    UpdateTableStatus();
}

QStringList TVeltrixF::RecentGalleries() const {
    return FRecent.Galleries();
}

// A list that cannot be written is told on the status bar: the gallery itself was saved or opened.
void TVeltrixF::RememberRecent(const QString& fileName) {
    try {
        FRecent.RememberGallery(fileName);
    } catch (const Exception& e) {
        ShowStatus(e.Message());
    }
    FillRecentMenu();
}

void TVeltrixF::FillRecentMenu() {
    Commands->RecentM->clear();
    const QStringList files = RecentGalleries();
    for (int i = 0; i < files.size(); ++i) {
        QAction* action =
            Commands->RecentM->addAction(QString("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
        action->setStatusTip(files[i]);
        const QString file = files[i];
        connect(action, &QAction::triggered, this, Guarded([this, file] { OpenGallery(file); }));
    }
    Commands->RecentM->setEnabled(!files.isEmpty());
}
