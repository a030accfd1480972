// The upload panel's "Remember password": passwords kept in the desktop's keyring, one for each protocol,
// user, server and port.
#include "app/FtpFU.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>

QWidget* TFtpF::CreateKeyringControls(QWidget* group) {
    RememberPasswordCB = new QCheckBox("Remember password", group);
    RememberPasswordCB->setObjectName("RememberPasswordCB");
    // The keyring is asked once, as the panel is made: without one the box cannot be ticked.
    if (FKeyring.Available()) {
        const QString hint = "Keep the password in the system keyring (never in the options file); unticking "
                             "removes it";
        RememberPasswordCB->setToolTip(hint);
        RememberPasswordCB->setStatusTip(hint);
    } else {
        RememberPasswordCB->setEnabled(false);
        RememberPasswordCB->setToolTip(FKeyring.Error());
        RememberPasswordCB->setStatusTip(FKeyring.Error());
    }
    connect(RememberPasswordCB, &QCheckBox::clicked, this,
            [this](bool checked) { RememberPasswordCBClick(checked); });
    return RememberPasswordCB;
}

QString TFtpF::LogInPassword(const TFtpSettings& settings) {
    FKeptPasswordUsed = false;
    if (!PassE->text().isEmpty() || !RememberPasswordCB->isChecked() || !RememberPasswordCB->isEnabled())
        return PassE->text();
    const std::optional<QString> kept = FKeyring.Read(KeyringKeyOf(settings));
    if (!kept) {
        if (!FKeyring.Error().isEmpty())
            ShowStatus(FKeyring.Error());
        return {};
    }
    FKeptPasswordUsed = true;
    return *kept;
}

// Only after the server took it: a mistyped password is not kept.
void TFtpF::KeepPassword(const TFtpSettings& settings) {
    if (FKeptPasswordUsed || PassE->text().isEmpty() || !RememberPasswordCB->isChecked() ||
        !RememberPasswordCB->isEnabled())
        return;
    if (!FKeyring.Write(KeyringKeyOf(settings), PassE->text()))
        ShowStatus(FKeyring.Error());
}

void TFtpF::ForgetRefusedPassword(const TFtpSettings& settings, const std::exception_ptr& error) {
    if (!FKeptPasswordUsed)
        return;
    FKeptPasswordUsed = false;
    if (!FKeyring.ForgetRefused(settings, FailureOf(error)))
        return;
    ShowMessage(TMsgKind::Warning, RefusedKeptPasswordText(settings) + ". Type the password and try again.");
    PassE->setFocus();
}

void TFtpF::RememberPasswordCBClick(bool checked) {
    if (checked)
        return;
    TFtpSettings settings = Settings();
    if (!FKeyring.Remove(KeyringKeyOf(settings)))
        ShowStatus(FKeyring.Error());
}
