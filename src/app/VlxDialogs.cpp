// The desktop's dialogs, message boxes and address opening behind the dialogs interface.
#include "app/VlxDialogs.h"

#include <algorithm>
#include <memory>

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "common/VlxNativePath.h"
#include "gfx/GfxPic.h"

namespace {

// The window manager's title bar buttons (close, maximise, minimise) and its margins, in pixels.
constexpr int kTitleButtonsWidth = 140;
// Lists up to this long stay in the message box's text; longer ones scroll in a list of their own.
constexpr int kMaxLinesInText = 12;

// The extensions the picture holder has decoders for; file names here keep their case, so both cases.
QString PictureFilter() {
    QStringList lower, upper;
    for (const QString& ext : PictureExtensions()) {
        lower << "*." + ext;
        upper << "*." + ext.toUpper();
    }
    return "Pictures (" + lower.join(' ') + ' ' + upper.join(' ') + ");;All files (*)";
}

QMessageBox::Icon IconOf(TMsgKind kind) {
    switch (kind) {
    case TMsgKind::Information:
        return QMessageBox::Information;
    case TMsgKind::Warning:
        return QMessageBox::Warning;
    case TMsgKind::Error:
        return QMessageBox::Critical;
    case TMsgKind::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString TitleOf(TMsgKind kind) {
    switch (kind) {
    case TMsgKind::Information:
        return "Information";
    case TMsgKind::Warning:
        return "Warning";
    case TMsgKind::Error:
        return "Error";
    case TMsgKind::Confirmation:
        return "Confirm";
    }
    return {};
}

// A directory dialog that also takes the typed path of a folder that does not exist yet (the window offers
// to make it); Qt's own refuses such a path.
class TDirectoryDialog : public QFileDialog {
public:
    TDirectoryDialog(QWidget* parent, const QString& dir) : QFileDialog(parent, "Select directory", dir) {
        setFileMode(QFileDialog::Directory);
        setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    }

    void accept() override {
        const QString typed = selectedFiles().value(0);
        if (!typed.isEmpty() && !QFileInfo::exists(typed)) {
            FTyped = typed;
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

    QString Chosen() const { return FTyped.isEmpty() ? selectedFiles().value(0) : FTyped; }

private:
    QString FTyped;
};

} // namespace

QColor ColorToQColor(TColor color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor QColorToColor(const QColor& color) {
    return TColor(color.red() | (color.green() << 8) | (color.blue() << 16));
}

TModalResult TQtDialogs::MessageBox(TMsgKind kind, const QString& text, TMsgButtons buttons) {
    // Lines are separated by carriage returns in the program's texts.
    QString shown = text;
    shown.replace('\r', '\n');
    QMessageBox box(IconOf(kind), TitleOf(kind), shown, QMessageBox::NoButton, FParent);
    if (buttons == TMsgButtons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return TModalResult::Ok;
    }
    if (buttons == TMsgButtons::YesNo || buttons == TMsgButtons::YesNoDefaultNo)
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    else
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (buttons == TMsgButtons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return TModalResult::Yes;
    case QMessageBox::No:
        return TModalResult::No;
    default:
        return TModalResult::Cancel;
    }
}

namespace {

// The answer of a box with these buttons closed without pressing one (Escape, the title bar's button).
TModalResult AnswerOnClose(TMsgButtons buttons) {
    return buttons == TMsgButtons::Ok            ? TModalResult::Ok
           : buttons == TMsgButtons::YesNoCancel ? TModalResult::Cancel
                                                 : TModalResult::No;
}

} // namespace

TModalResult TQtDialogs::ListMessageBox(TMsgKind kind, const QString& text, const QStringList& list,
                                        const QString& after, TMsgButtons buttons) {
    if (list.size() <= kMaxLinesInText)
        return TDialogs::ListMessageBox(kind, text, list, after, buttons);
    QDialog box(FParent);
    box.setWindowTitle(TitleOf(kind));
    auto* layout = new QVBoxLayout(&box);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(&box);
    const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    icon->setPixmap(QMessageBox::standardIcon(IconOf(kind)).scaled(iconSize, iconSize, Qt::KeepAspectRatio));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* head = new QLabel(QString(text).replace('\r', '\n'), &box);
    head->setWordWrap(true);
    top->addWidget(head, 1);
    layout->addLayout(top);
    auto* lines = new QListWidget(&box);
    lines->setObjectName("ListBoxLines");
    lines->addItems(list);
    lines->setSelectionMode(QAbstractItemView::ExtendedSelection); // to copy from
    layout->addWidget(lines, 1);
    layout->addWidget(new QLabel(QString("%1 in this list").arg(QLocale().toString(list.size())), &box));
    if (!after.isEmpty()) {
        auto* tail = new QLabel(QString(after).replace('\r', '\n').trimmed(), &box);
        tail->setWordWrap(true);
        layout->addWidget(tail);
    }
    auto* choice = new QDialogButtonBox(&box);
    TModalResult answer = AnswerOnClose(buttons);
    const auto add = [&](QDialogButtonBox::StandardButton button, TModalResult result) {
        QPushButton* pressed = choice->addButton(button);
        QObject::connect(pressed, &QPushButton::clicked, &box, [&answer, &box, result] {
            answer = result;
            box.accept();
        });
        return pressed;
    };
    if (buttons == TMsgButtons::Ok) {
        add(QDialogButtonBox::Ok, TModalResult::Ok)->setDefault(true);
    } else {
        QPushButton* yes = add(QDialogButtonBox::Yes, TModalResult::Yes);
        QPushButton* no = add(QDialogButtonBox::No, TModalResult::No);
        if (buttons == TMsgButtons::YesNoCancel)
            add(QDialogButtonBox::Cancel, TModalResult::Cancel);
        (buttons == TMsgButtons::YesNoDefaultNo ? no : yes)->setDefault(true);
    }
    layout->addWidget(choice);
    // The list takes what room the screen leaves; the box never outgrows it, so its buttons stay on it.
    const QScreen* screen =
        FParent && FParent->screen() ? FParent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 9 / 10 : QSize(800, 600);
    box.setMaximumSize(room);
    box.resize(std::min(room.width(), std::max(box.sizeHint().width(), 560)),
               std::min(room.height(), std::max(box.sizeHint().height(), 420)));
    box.exec();
    return answer;
}

void TQtDialogs::ShowError(const QString& text) {
    QMessageBox::critical(FParent, "Error", text);
}

bool TQtDialogs::OpenPicture(QString& path) {
    const QString start = path.isEmpty() ? FLastPictureDir : path;
    // Taken by address, whose bytes find a file whose name is not UTF-8 (the desktop's own dialog lists one).
    const QUrl chosen =
        QFileDialog::getOpenFileUrl(FParent, "Open picture", QUrl::fromLocalFile(start), PictureFilter());
    if (chosen.isEmpty())
        return false;
    path = PathFromLocalUrl(chosen);
    FLastPictureDir = QFileInfo(ShownPath(path)).absolutePath();
    return true;
}

bool TQtDialogs::OpenPictures(QStringList& paths) {
    const QList<QUrl> chosen = QFileDialog::getOpenFileUrls(
        FParent, "Open pictures", QUrl::fromLocalFile(FLastPictureDir), PictureFilter());
    if (chosen.isEmpty())
        return false;
    paths.clear();
    for (const QUrl& url : chosen)
        paths << PathFromLocalUrl(url);
    FLastPictureDir = QFileInfo(ShownPath(paths.first())).absolutePath();
    return true;
}

namespace {

const char* const kGalleryFilter = "Veltrix galleries (*.veltrix);;All files (*)";

} // namespace

bool TQtDialogs::OpenGalleryFile(QString& path) {
    const QString chosen = QFileDialog::getOpenFileName(FParent, "Open gallery", path, kGalleryFilter);
    if (chosen.isEmpty())
        return false;
    path = chosen;
    return true;
}

bool TQtDialogs::SaveGalleryFile(QString& path) {
    QFileDialog dialog(FParent, "Save gallery as", path, kGalleryFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("veltrix");
    if (!path.isEmpty())
        dialog.selectFile(path);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().first();
    return true;
}

bool TQtDialogs::ChooseColor(TColor& color) {
    const QColor chosen = QColorDialog::getColor(ColorToQColor(FLastColor), FParent, "Color");
    if (!chosen.isValid())
        return false;
    FLastColor = QColorToColor(chosen);
    color = FLastColor;
    return true;
}

bool TQtDialogs::SelectDirectory(QString& dir) {
    TDirectoryDialog dialog(FParent, dir);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString chosen = dialog.Chosen();
    if (chosen.isEmpty())
        return false;
    dir = chosen;
    return true;
}

QInputDialog* NewInputBox(QWidget* parent, const QString& caption, const QString& prompt,
                          const QString& value) {
    auto* box = new QInputDialog(parent);
    box->setWindowTitle(caption);
    box->setLabelText(prompt);
    box->setTextValue(value);
    // Room for the title as the window manager writes it, and for the buttons of the title bar.
    const QString title = caption + QString::fromUtf8(" \u2014 ") + QGuiApplication::applicationDisplayName();
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    box->setMinimumWidth(
        std::max(metrics.horizontalAdvance(title), box->fontMetrics().horizontalAdvance(title)) +
        kTitleButtonsWidth);
    return box;
}

bool TQtDialogs::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    const std::unique_ptr<QInputDialog> box(NewInputBox(FParent, caption, prompt, value));
    if (box->exec() != QDialog::Accepted)
        return false;
    value = box->textValue();
    return true;
}

bool TQtDialogs::PasswordQuery(const QString& caption, const QString& prompt, QString& value) {
    const std::unique_ptr<QInputDialog> box(NewInputBox(FParent, caption, prompt, {}));
    box->setTextEchoMode(QLineEdit::Password);
    if (box->exec() != QDialog::Accepted)
        return false;
    value = box->textValue();
    return true;
}

bool TQtDialogs::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
