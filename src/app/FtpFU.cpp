// The upload panel: its controls, their looks and hints, the client's settings and the text properties.
#include "app/FtpFU.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "app/VlxApplication.h"

namespace {

constexpr int kUploadItemHeight = 13;
constexpr int kDirColumnWidth = 150;

// Owner draw of the upload list: the panel paints each item, at a fixed height.
class TUploadFilesDelegate : public QStyledItemDelegate {
public:
    explicit TUploadFilesDelegate(TFtpF* panel) : QStyledItemDelegate(panel), FPanel(panel) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        FPanel->UploadFilesLBDrawItem(painter, option, index.row());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // The list's own item height, or more where the font would clip underscores and descenders.
        return {QStyledItemDelegate::sizeHint(option, index).width(),
                std::max(kUploadItemHeight, option.fontMetrics.height() + 1)};
    }

private:
    TFtpF* FPanel;
};

QLabel* Heading(const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A hint shows as a tool tip and, through the window, in the status bar.
void SetHint(QWidget* control, const QString& hint) {
    control->setToolTip(hint);
    control->setStatusTip(hint);
}

QLineEdit* LabelledEdit(QGridLayout* grid, int row, const QString& caption, const QString& text,
                        const QString& hint, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    grid->addWidget(new QLabel(caption, parent), row, 0);
    grid->addWidget(edit, row, 1);
    SetHint(edit, hint);
    return edit;
}

// Port numbers as typed: 1 to 65535 without a leading zero. The field may be emptied while typing; left
// empty, it takes back the last port it held.
class TPortValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > 5 || input[0] == '0')
            return Invalid;
        for (const QChar c : input)
            if (c < '0' || c > '9')
                return Invalid;
        return input.toInt() <= 65535 ? Acceptable : Invalid;
    }
    void fixup(QString& input) const override {
        if (input.isEmpty())
            input = Last;
    }

    QString Last = "21";
};

} // namespace

TFtpF::TFtpF(TFtpFWindow* window, QWidget* parent) : QWidget(parent), FWindow(window) {
    setObjectName("FtpF1");
    FXoFTP = new TXoFTP(this);
    FXoFTP->setObjectName("XoFTP");
    FXoFTP->SetPort(21);
    FXoFTP->SetReportLevel(0);
    FXoFTP->SetVendor(kVendorUnknown);
    FXoFTP->SetParseList(true);
    FXoFTP->SetProxyPort(0);
    FXoFTP->SetProxy({});
    // Passive by default: active mode fails behind address translation and on servers that refuse PORT.
    FXoFTP->SetPassive(true);
    FXoFTP->SetFirewallType(TFirewallType::FTUser);
    FXoFTP->SetFWAuthenticate(false);
    ConnectClient();
    CreateControls();
    ConnectControls();
    ProtocolOrEncryptionChanged();
    FProgressBar = nullptr;
    SetUploading(false);
}

TFtpF::~TFtpF() {
    // The window may be half gone by now: nothing the client reports from here on reaches it, and no
    // message of a run is handled while the connection closes. A run gives the client back its handlers
    // first, so that none of them outlives the panel.
    FRun.reset();
    DetachClient();
    FWindow = nullptr;
    FUploading = false;
    FBrowsing = false;
    QCoreApplication::removePostedEvents(this, WM_FTPUPLOADNEXT);
    FXoFTP->Abort();
    try {
        if (FXoFTP->IsConnected())
            FXoFTP->Disconnect();
    } catch (const std::exception&) {
        // A refused QUIT changes nothing about going away.
    }
    FreeProgressBar();
}

void TFtpF::ConnectClient() {
    TXoFTP& c = *FXoFTP;
    c.OnConnect = [this](QObject* s) { XoFTPConnect(s); };
    c.OnDisconnect = [this](QObject* s) { XoFTPDisconnect(s); };
    c.OnHostResolved = [this](QObject* s) { XoFTPHostResolved(s); };
    c.OnInvalidHost = [this](bool& handled) { XoFTPInvalidHost(handled); };
    c.OnConnectionFailed = [this](QObject* s) { XoFTPConnectionFailed(s); };
    c.OnError = [this](QObject* s, quint16 n, const QString& text) { XoFTPError(s, n, text); };
    c.OnStatus = [this](QObject* s, const QString& text) { XoFTPStatus(s, text); };
    c.OnTransactionStart = [this](QObject* s) { XoFTPTransactionStart(s); };
    c.OnPacketSent = [this](QObject* s) { XoFTPPacketSent(s); };
    c.OnTransactionStop = [this](QObject* s) { XoFTPTransactionStop(s); };
    c.OnSuccess = [this](TCmdType type) { XoFTPSuccess(type); };
    c.OnFailure = [this](bool& handled, TCmdType type) { XoFTPFailure(handled, type); };
    c.OnUnSupportedFunction = [this](TCmdType type) { XoFTPUnSupportedFunction(type); };
    c.OnCertificateCheck = [this](const TTlsPeer& peer, bool& trusted) {
        XoFTPCertificateCheck(peer, trusted);
    };
}

void TFtpF::DetachClient() {
    TXoFTP& c = *FXoFTP;
    c.OnConnect = nullptr;
    c.OnDisconnect = nullptr;
    c.OnHostResolved = nullptr;
    c.OnInvalidHost = nullptr;
    c.OnConnectionFailed = nullptr;
    c.OnError = nullptr;
    c.OnStatus = nullptr;
    c.OnTransactionStart = nullptr;
    c.OnPacketSent = nullptr;
    c.OnTransactionStop = nullptr;
    c.OnSuccess = nullptr;
    c.OnFailure = nullptr;
    c.OnUnSupportedFunction = nullptr;
    c.OnCertificateCheck = nullptr;
}

// ---- Controls

void TFtpF::CreateControls() {
    ImageList << style()->standardIcon(QStyle::SP_FileDialogToParent)
              << style()->standardIcon(QStyle::SP_DirIcon);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(CreateHostGroup());
    layout->addWidget(CreateDirGroup());
    layout->addWidget(CreateUploadGroup());
    layout->addStretch(1);
}

QWidget* TFtpF::CreateHostGroup() {
    auto* group = new QWidget(this);
    auto* grid = new QGridLayout(group);
    RemoteHostL = Heading("Remote host", group);
    grid->addWidget(RemoteHostL, 0, 0, 1, 2);
    // A reserved example name: nothing real is reached before the user enters a host.
    HostE = LabelledEdit(grid, 1, "Host", "ftp.example.com", "Host name ( URL)", group);
    HostE->setObjectName("HostE");
    UserIDE = LabelledEdit(grid, 2, "User ID", "MyUserID", "User name", group);
    UserIDE->setObjectName("UserIDE");
    PassE = LabelledEdit(grid, 3, "Password", "", "Password", group);
    PassE->setObjectName("PassE");
    PassE->setEchoMode(QLineEdit::Password);
    PassE->setStyleSheet("lineedit-password-character: 42"); // '*', whatever the style's own choice
    PortE = LabelledEdit(grid, 4, "Port", "", "Port (default 21)", group);
    PortE->setObjectName("PortE");
    auto* portValidator = new TPortValidator(PortE);
    PortE->setValidator(portValidator);
    PortE->setText("21");
    connect(PortE, &QLineEdit::textChanged, portValidator, [this, portValidator](const QString& text) {
        if (PortE->hasAcceptableInput())
            portValidator->Last = text;
    });
    PortE->setMaximumWidth(fontMetrics().horizontalAdvance("000000") + 12);
    PassiveCB = new QCheckBox("Passive mode", group);
    PassiveCB->setObjectName("PassiveCB");
    PassiveCB->setChecked(true);
    SetHint(PassiveCB, "Open data connections from this computer (needed behind most routers)");
    grid->addWidget(PassiveCB, 5, 0, 1, 2);
    grid->addWidget(CreateKeyringControls(group), 6, 0, 1, 2);
    grid->setRowStretch(7, 1);
    return group;
}

QWidget* TFtpF::CreateDirGroup() {
    auto* group = new QWidget(this);
    auto* grid = new QGridLayout(group);
    RemoteDirL = Heading("Remote directory", group);
    grid->addWidget(RemoteDirL, 0, 0, 1, 2);
    RemoteDirE = new QLineEdit(group);
    RemoteDirE->setObjectName("RemoteDirE");
    SetHint(RemoteDirE, "Remote direcrory");
    grid->addWidget(RemoteDirE, 1, 0);
    GetRemoteDirSB = new QToolButton(group);
    GetRemoteDirSB->setObjectName("GetRemoteDirSB");
    GetRemoteDirSB->setText("Browse");
    GetRemoteDirSB->setAutoRaise(true);
    SetHint(GetRemoteDirSB, "Select remote directory");
    grid->addWidget(GetRemoteDirSB, 1, 1);
    CreateDirCB = new QCheckBox("Create", group);
    CreateDirCB->setObjectName("CreateDirCB");
    CreateDirCB->setChecked(true);
    SetHint(CreateDirCB, "Create directory on remote host");
    grid->addWidget(CreateDirCB, 2, 0);
    grid->addWidget(new QLabel("if not exists", group), 3, 0);
    DirLV = new QListWidget(group);
    DirLV->setObjectName("DirLV");
    DirLV->setViewMode(QListView::ListMode);
    DirLV->setIconSize(QSize(16, 16));
    DirLV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DirLV->setSelectionMode(QAbstractItemView::SingleSelection);
    DirLV->setSelectionBehavior(QAbstractItemView::SelectRows);
    DirLV->setMinimumWidth(kDirColumnWidth);
    DirLV->setVisible(false);
    SetHint(DirLV, "Remote directory list");
    grid->addWidget(DirLV, 0, 2, 5, 1);
    grid->setRowStretch(4, 1);
    return group;
}

QWidget* TFtpF::CreateUploadGroup() {
    auto* group = new QWidget(this);
    auto* box = new QVBoxLayout(group);
    UploadL = Heading("Upload", group);
    box->addWidget(UploadL);
    UploadBB = new QPushButton(group);
    UploadBB->setObjectName("UploadBB");
    SetHint(UploadBB, "Upload or Abort operation");
    box->addWidget(UploadBB);
    ChangedOnlyCB = new QCheckBox("Upload only changed files", group);
    ChangedOnlyCB->setObjectName("ChangedOnlyCB");
    ChangedOnlyCB->setChecked(true);
    SetHint(ChangedOnlyCB, "Leave out files whose content and size on the server are as last uploaded");
    box->addWidget(ChangedOnlyCB);
    RemoveStaleCB = new QCheckBox("Remove files no longer in the gallery from the server", group);
    RemoveStaleCB->setObjectName("RemoveStaleCB");
    SetHint(RemoveStaleCB, "After index.html is stored, delete the files an earlier upload stored in this "
                           "folder that the gallery no longer has");
    box->addWidget(RemoveStaleCB);
    box->addWidget(CreateConnectionsControls(group));
    // Here rather than with the host's fields, which fill their column's height already.
    box->addWidget(new QLabel("Encryption", group));
    EncryptionCB = new QComboBox(group);
    EncryptionCB->setObjectName("EncryptionCB");
    EncryptionCB->addItems({"none", "TLS if the server offers it", "require TLS", "implicit TLS (port 990)"});
    EncryptionCB->setCurrentIndex(1);
    SetHint(EncryptionCB, "Encrypt the password and the files (FTP over TLS)");
    box->addWidget(EncryptionCB);
    box->addWidget(CreateProtocolControls(group));
    UploadFilesLB = new QListWidget(group);
    UploadFilesLB->setObjectName("UploadFilesLB");
    UploadFilesLB->setItemDelegate(new TUploadFilesDelegate(this));
    UploadFilesLB->setUniformItemSizes(true);
    QPalette palette = UploadFilesLB->palette();
    for (const auto groupRole : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(groupRole, QPalette::Base, palette.color(groupRole, QPalette::Light));
    UploadFilesLB->setPalette(palette);
    UploadFilesLB->setEnabled(false); // shows the run's progress; the user does not pick from it
    UploadFilesLB->setVisible(false);
    SetHint(UploadFilesLB, "Uploading file list");
    box->addWidget(UploadFilesLB, 1);
    return group;
}

QWidget* TFtpF::CreateProtocolControls(QWidget* group) {
    auto* widget = new QWidget(group);
    auto* grid = new QGridLayout(widget);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel("Protocol", widget), 0, 0);
    ProtocolCB = new QComboBox(widget);
    ProtocolCB->setObjectName("ProtocolCB");
    ProtocolCB->addItems({"FTP", "SFTP"});
    SetHint(ProtocolCB, "FTP (with or without TLS) or SFTP (over SSH, port 22)");
    grid->addWidget(ProtocolCB, 0, 1);
    KeyFileE = new QLineEdit(widget);
    KeyFileE->setObjectName("KeyFileE");
    KeyFileE->setPlaceholderText("SSH key file (optional)");
    SetHint(KeyFileE,
            "SFTP: a private key file to log in with; the SSH agent and the password are tried too");
    grid->addWidget(KeyFileE, 1, 0, 1, 2);
    return widget;
}

void TFtpF::ProtocolOrEncryptionChanged() {
    const TFtpSettings settings = Settings();
    const int usual = DefaultPortOf(settings.Protocol, settings.Encryption);
    if (PortE->text().trimmed() == QString::number(FUsualPort))
        PortE->setText(QString::number(usual));
    FUsualPort = usual;
    const bool sftp = settings.Protocol == TUploadProtocol::Sftp;
    EncryptionCB->setEnabled(!sftp && HostE->isEnabled());
    PassiveCB->setEnabled(!sftp && HostE->isEnabled());
    KeyFileE->setEnabled(sftp && HostE->isEnabled());
}

void TFtpF::ConnectControls() {
    connect(ProtocolCB, &QComboBox::activated, this, [this] { ProtocolOrEncryptionChanged(); });
    connect(EncryptionCB, &QComboBox::activated, this, [this] { ProtocolOrEncryptionChanged(); });
    connect(UploadBB, &QPushButton::clicked, this, Guarded([this] { UploadBBClick(); }));
    connect(GetRemoteDirSB, &QToolButton::clicked, this, Guarded([this] { GetRemoteDirSBClick(); }));
    connect(DirLV, &QListWidget::itemDoubleClicked, this, Guarded([this] { DirLVDblClick(); }));
}

void TFtpF::SetUploading(bool v) {
    FUploading = v;
    FUploadBBKind = v ? TBitBtnKind::bkAbort : TBitBtnKind::bkAll;
    UploadBB->setText(v ? "Abort" : "&Upload");
    UploadBB->setIcon(style()->standardIcon(v ? QStyle::SP_BrowserStop : QStyle::SP_DialogYesToAllButton));
}

void TFtpF::UploadFilesLBDrawItem(QPainter* painter, const QStyleOptionViewItem& option, int index) {
    const bool selected = UploadFilesLB->currentRow() == index;
    const QPalette& palette = option.palette;
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    const QString path = UploadFilesLB->item(index)->text();
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      path.mid(path.lastIndexOf('/') + 1));
}

// ---- Properties

// How many files go to the server at once, each over a connection of its own.
QWidget* TFtpF::CreateConnectionsControls(QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel("Connections", widget);
    ConnectionsSE = new QSpinBox(widget);
    ConnectionsSE->setObjectName("ConnectionsSE");
    ConnectionsSE->setRange(kUploadConnectionsRange.Min, kUploadConnectionsRange.Max);
    ConnectionsSE->setValue(kUploadConnectionsRange.Default);
    label->setBuddy(ConnectionsSE);
    SetHint(ConnectionsSE, "Files stored at once, each over a connection of its own; pictures still come "
                           "before pages and index.html last");
    row->addWidget(label);
    row->addWidget(ConnectionsSE);
    row->addStretch(1);
    return widget;
}

TFtpSettings TFtpF::Settings() const {
    QString note;
    TFtpSettings settings;
    settings.Host = HostE->text();
    settings.Port = PortFromText(FtpPort(), note);
    settings.UserID = UserIDE->text();
    settings.RemoteDir = RemoteDirE->text();
    settings.Passive = PassiveCB->isChecked();
    settings.Encryption = static_cast<TFtpEncryption>(qBound(0, EncryptionCB->currentIndex(), 3));
    settings.ChangedOnly = ChangedOnlyCB->isChecked();
    settings.RemoveStale = RemoveStaleCB->isChecked();
    settings.Protocol = ProtocolCB->currentIndex() == 1 ? TUploadProtocol::Sftp : TUploadProtocol::Ftp;
    settings.KeyFile = KeyFileE->text();
    settings.Connections = ConnectionsSE->value();
    settings.RememberPassword = RememberPasswordCB->isChecked();
    return settings;
}

void TFtpF::SetSettings(const TFtpSettings& settings) {
    HostE->setText(settings.Host);
    PortE->setText(QString::number(kFtpPortRange.Clamp(settings.Port)));
    UserIDE->setText(settings.UserID);
    RemoteDirE->setText(settings.RemoteDir);
    PassiveCB->setChecked(settings.Passive);
    EncryptionCB->setCurrentIndex(static_cast<int>(settings.Encryption));
    ChangedOnlyCB->setChecked(settings.ChangedOnly);
    RemoveStaleCB->setChecked(settings.RemoveStale);
    ProtocolCB->setCurrentIndex(settings.Protocol == TUploadProtocol::Sftp ? 1 : 0);
    KeyFileE->setText(settings.KeyFile);
    ConnectionsSE->setValue(kUploadConnectionsRange.Clamp(settings.Connections));
    RememberPasswordCB->setChecked(settings.RememberPassword);
    FUsualPort = -1; // the port read stays as it is
    ProtocolOrEncryptionChanged();
}

QString TFtpF::FtpHost() const {
    return HostE->text();
}

void TFtpF::SetFtpHost(const QString& value) {
    HostE->setText(value);
}

// What is saved is a port: a field emptied and not yet left gives the port it held before.
QString TFtpF::FtpPort() const {
    if (PortE->hasAcceptableInput())
        return PortE->text();
    const auto* validator = static_cast<const TPortValidator*>(PortE->validator());
    return validator->Last;
}

// A value that is no port (the options file may hold anything) gives the default port, and says so.
void TFtpF::SetFtpPort(const QString& value) {
    QString note;
    PortE->setText(QString::number(PortFromText(value, note)));
    if (!note.isEmpty())
        ShowStatus(note);
}

bool TFtpF::FtpPassive() const {
    return PassiveCB->isChecked();
}

void TFtpF::SetFtpPassive(bool value) {
    PassiveCB->setChecked(value);
}

QString TFtpF::FtpEncryption() const {
    return EncryptionText(static_cast<TFtpEncryption>(qBound(0, EncryptionCB->currentIndex(), 3)));
}

void TFtpF::SetFtpEncryption(const QString& value) {
    EncryptionCB->setCurrentIndex(static_cast<int>(EncryptionFromText(value)));
}

bool TFtpF::FtpChangedOnly() const {
    return ChangedOnlyCB->isChecked();
}

void TFtpF::SetFtpChangedOnly(bool value) {
    ChangedOnlyCB->setChecked(value);
}

QString TFtpF::FtpUserID() const {
    return UserIDE->text();
}

void TFtpF::SetFtpUserID(const QString& value) {
    UserIDE->setText(value);
}

QString TFtpF::FtpRemoteDir() const {
    return RemoteDirE->text();
}

void TFtpF::SetFtpRemoteDir(const QString& value) {
    RemoteDirE->setText(value);
}

// ---- Window services

void TFtpF::ShowStatus(const QString& text) {
    if (FWindow)
        FWindow->ShowStatus(text);
}

void TFtpF::ShowMessage(TMsgKind kind, const QString& text) {
    if (FWindow)
        FWindow->Dialogs().MessageBox(kind, text, TMsgButtons::Ok);
}
