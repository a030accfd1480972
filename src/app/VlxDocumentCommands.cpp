// The gallery as a document: saving and opening gallery files, the recent galleries, the title with its
// modified mark, the question before unsaved changes are lost, and missing pictures.
#include "app/VlxDocumentCommands.h"

#include "app/VeltrixU.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>

#include "app/VlxApplication.h"
#include "app/VlxPlaceCommands.h"
#include "gallery/GalleryDocument.h"
#include "gallery/Version.h"
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

TDocumentCommands::TDocumentCommands(TVeltrixF& window) : FWindow(window) {}

void TDocumentCommands::Connect() {
    connect(FWindow.Commands->OpenGalleryA, &QAction::triggered, this, Guarded([this] {
                QString path = FWindow.GalleryFile().isEmpty()
                                   ? FWindow.RecentFolder("Galleries")
                                   : QFileInfo(FWindow.GalleryFile()).absolutePath();
                if (ConfirmDiscard() && FWindow.Dialogs().OpenGalleryFile(path)) {
                    ReadGallery(path);
                }
            }));
    connect(FWindow.Commands->SaveGalleryA, &QAction::triggered, this, Guarded([this] { SaveGallery(); }));
    connect(FWindow.Commands->SaveGalleryAsA, &QAction::triggered, this,
            Guarded([this] { SaveGalleryAs(); }));
    connect(FWindow.Commands->NewProjectA, &QAction::triggered, this, Guarded([this] {
                // A new gallery keeps the settings in effect; the unsaved changes of the one shown are asked
                // about first.
                if (ConfirmDiscard())
                    NewGallery();
            }));
    connect(FWindow.Commands->FindMissingA, &QAction::triggered, this,
            Guarded([this] { FindMissingPictures(); }));
}

bool TDocumentCommands::IsModified() const {
    return FWindow.Grid() && FWindow.Editor().IsModified();
}

void TDocumentCommands::UpdateTitle() {
    const bool modified = IsModified();
    // The desktop adds the program's name after a gallery's.
    if (FWindow.GalleryFile().isEmpty() && !modified)
        FWindow.setWindowTitle(kApplicationName);
    else
        FWindow.setWindowTitle((FWindow.GalleryFile().isEmpty()
                                    ? QString("Untitled")
                                    : QFileInfo(FWindow.GalleryFile()).completeBaseName()) +
                               "[*]");
    FWindow.setWindowModified(modified);
}

void TDocumentCommands::TitleLater() {
    if (FTitleQueued)
        return;
    FTitleQueued = true;
    QTimer::singleShot(0, this, [this] {
        FTitleQueued = false;
        RunGuarded([this] { UpdateTitle(); });
    });
}

bool TDocumentCommands::ConfirmDiscard() {
    if (!IsModified())
        return true;
    const QString name = FWindow.GalleryFile().isEmpty()
                             ? QString("The new gallery")
                             : "The gallery " + Quoted(QFileInfo(FWindow.GalleryFile()).fileName());
    const QString text = name + " has changes that are not saved.\rSave them first ?\r\r"
                                "Yes saves them, No discards them, Cancel goes back to the gallery.";
    switch (FWindow.Dialogs().MessageBox(TMsgKind::Confirmation, text, TMsgButtons::YesNoCancel)) {
    case TModalResult::Yes:
        return SaveGallery();
    case TModalResult::No:
        return true;
    default:
        return false;
    }
}

// An error is shown; false then, as for a cancelled dialog.
bool TDocumentCommands::SaveGallery() {
    if (FWindow.GalleryFile().isEmpty())
        return SaveGalleryAs();
    // Another program (or a newer Veltrix) may have written the file since: never over it unasked.
    if (FWindow.Editor().ChangedOnDisk()) {
        const QString text = "The gallery file " + Quoted(FWindow.GalleryFile()) +
                             " was changed by another program since it was opened or saved here.\r"
                             "Save over it ?\r\rYes writes this gallery over it, No saves it under another "
                             "name, Cancel goes back.";
        switch (FWindow.Dialogs().MessageBox(TMsgKind::Warning, text, TMsgButtons::YesNoCancel)) {
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
        WriteGallery(FWindow.GalleryFile());
        saved = true;
    });
    return saved;
}

bool TDocumentCommands::SaveGalleryAs() {
    QString path = FWindow.GalleryFile().isEmpty()
                       ? (FWindow.RecentFolder("Galleries").isEmpty() ? QDir::homePath()
                                                                      : FWindow.RecentFolder("Galleries")) +
                             "/gallery" + kGalleryFileExtension
                       : FWindow.GalleryFile();
    if (!FWindow.Dialogs().SaveGalleryFile(path) || path.trimmed().isEmpty())
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

void TDocumentCommands::WriteGallery(const QString& fileName) {
    FWindow.Editor().Save(fileName, FWindow.WorkDir());
    RememberRecent(fileName);
    FWindow.RememberFolder("Galleries", QFileInfo(fileName).absolutePath());
    UpdateTitle();
    FWindow.ShowStatus("Gallery saved: " + fileName);
}

void TDocumentCommands::OpenGallery(const QString& fileName) {
    if (ConfirmDiscard())
        ReadGallery(QFileInfo(fileName).absoluteFilePath());
}

// The file and its pictures are read whole before anything changes: a damaged file, or Esc while the
// pictures are read (thousands take a while, shown by a bar), leaves the gallery shown as it is.
void TDocumentCommands::ReadGallery(const QString& fileName) {
    const TFileStamp stamp = TFileStamp::Of(fileName);
    const TGalleryDocument document = ReadGalleryFile(fileName);
    FWindow.PlaceCmds->CancelPlacing(); // pictures still coming belong to the gallery left
    FWindow.ShowStatus("Opening: " + fileName + " (Esc stops)");
    const std::unique_ptr<TCellPreviews> read =
        ReadPictures(document.Cells, document.Settings.Thumb.PictureBox());
    if (!read) {
        FWindow.ShowStatus("Opening stopped: " + fileName);
        return;
    }
    std::vector<TRefusedFile> missing;
    FWindow.Editor().Quietly([&] {
        FWindow.Grid()->ClearAllCells();
        FWindow.ApplySettings(document.Settings);
        FWindow.SetTableSize(document.Columns, document.Rows);
        missing = FWindow.Grid()->LoadNamedCells(document.Cells, *read);
        FWindow.Grid()->SetCurrentCell(0, 0);
    });
    // A gallery goes where it went before; one saved before that was kept, beside its file.
    FWindow.SetOutputDir(document.OutputDir.isEmpty() ? DefaultOutputDir(fileName) : document.OutputDir);
    FWindow.Editor().Started(fileName, stamp, GalleryIdOf(document, fileName), FWindow.OutputDir());
    RememberRecent(fileName);
    FWindow.RememberFolder("Galleries", QFileInfo(fileName).absolutePath());
    FWindow.ShowEditState();
    FWindow.UpdateTableStatus();
    FWindow.ShowStatus("Gallery opened: " + fileName);
    if (const QStringList texts = ScriptTexts(document.Settings); !texts.isEmpty())
        FWindow.Dialogs().MessageBox(TMsgKind::Warning, ScriptTextsWarning(fileName, texts), TMsgButtons::Ok);
    if (missing.empty())
        return;
    QStringList lines;
    for (const TRefusedFile& file : missing)
        lines << file.Reason;
    const QString text = QString("%1 of the gallery's pictures %2 not found:")
                             .arg(missing.size())
                             .arg(missing.size() == 1 ? "was" : "were");
    if (FWindow.Dialogs().ListMessageBox(
            TMsgKind::Warning, text, lines,
            "\rTheir cells are kept, crossed out, and they are not published until "
            "found.\rLook for them in another folder ?",
            TMsgButtons::YesNo) == TModalResult::Yes)
        FindMissingPictures();
}

// The cells' pictures read for the picture box on every core, a bar showing how far; null when Esc
// stopped the reading.
std::unique_ptr<TCellPreviews> TDocumentCommands::ReadPictures(const std::vector<TDocumentCell>& cells,
                                                               const QSize& box) {
    const std::unique_ptr<QProgressBar> bar(FWindow.CreateStatusProgressBar(int(cells.size())));
    const TEscapeOnly input;
    return FWindow.Grid()->ReadCellPreviews(
        cells, box, QEventLoop::AllEvents, [&bar](int done, int) { bar->setValue(done); },
        [&input] { return input.Escaped(); });
}

void TDocumentCommands::FindMissingPictures() {
    std::vector<TDocumentCell> missing;
    for (int row = 0; row < FWindow.Grid()->RowCount(); ++row)
        for (int col = 0; col < FWindow.Grid()->ColCount(); ++col)
            if (FWindow.Grid()->IsCellMissing(col, row))
                missing.push_back({col, row, FWindow.Grid()->Gallery().Cell(col, row)});
    if (missing.empty()) {
        FWindow.Dialogs().MessageBox(TMsgKind::Information, "No picture of the gallery is missing",
                                     TMsgButtons::Ok);
        return;
    }
    const QString first = missing.front().Cell.Source;
    QString folder = QFileInfo(first).absolutePath();
    if (!FWindow.Dialogs().SelectDirectory(folder) || folder.trimmed().isEmpty())
        return;
    std::vector<TDocumentCell> found;
    for (TDocumentCell cell : missing)
        if (QString path = FoundPicture(cell.Cell.Source, first, folder); !path.isEmpty()) {
            cell.Cell.Source = path;
            found.push_back(cell);
        }
    std::vector<TRefusedFile> refused;
    if (!found.empty()) {
        FWindow.ShowStatus("Reading the pictures found in " + folder + " (Esc stops)");
        const std::unique_ptr<TCellPreviews> read = ReadPictures(found, FWindow.Grid()->PictureBox());
        if (!read) {
            FWindow.ShowStatus("Finding missing pictures stopped");
            return;
        }
        FWindow.EditGallery("Find missing pictures",
                            [&] { refused = FWindow.Grid()->LoadNamedCells(found, *read); });
    }
    const int still = int(missing.size() - found.size() + refused.size());
    QString text = QString("%1 of %2 missing pictures found in %3.")
                       .arg(missing.size() - still)
                       .arg(missing.size())
                       .arg(folder);
    QStringList lines;
    for (const TRefusedFile& file : refused)
        lines << file.Reason;
    FWindow.Dialogs().ListMessageBox(TMsgKind::Information, text, lines, {}, TMsgButtons::Ok);
}

void TDocumentCommands::NewGallery() {
    FWindow.Editor().Quietly([this] { FWindow.Grid()->ClearAllCells(); });
    // A new gallery is another gallery: it never writes into the last one's folder unasked.
    FWindow.SetOutputDir(FWindow.WorkDir());
    FWindow.Editor().Started({}, {}, NewGalleryId(), FWindow.OutputDir());
    FWindow.ShowEditState();
    FWindow.ShowThumb();
    FWindow.UpdateTableStatus();
}

QStringList TDocumentCommands::RecentGalleries() const {
    return FWindow.Recent().Galleries();
}

// A list that cannot be written is told on the status bar: the gallery itself was saved or opened.
void TDocumentCommands::RememberRecent(const QString& fileName) {
    try {
        FWindow.Recent().RememberGallery(fileName);
    } catch (const Exception& e) {
        FWindow.ShowStatus(e.Message());
    }
    FillRecentMenu();
}

void TDocumentCommands::FillRecentMenu() {
    FWindow.Commands->RecentM->clear();
    const QStringList files = RecentGalleries();
    for (int i = 0; i < files.size(); ++i) {
        QAction* action = FWindow.Commands->RecentM->addAction(
            QString("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
        action->setStatusTip(files[i]);
        const QString file = files[i];
        connect(action, &QAction::triggered, this, Guarded([this, file] { OpenGallery(file); }));
    }
    FWindow.Commands->RecentM->setEnabled(!files.isEmpty());
}
