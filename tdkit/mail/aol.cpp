#include "tdkit/mail/aol.h"

#include <QFile>

#include <cstring>

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/tempfile.h"
#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/simplemapi.h"
#include "tdkit/settings/paths.h"

namespace {

// A field of the mail record as text, bounded by the field.
QString Field(const char* field, std::size_t size) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, size)));
}

// Stores text into a field; false (field unchanged) when it does not fit.
bool Store(char* field, std::size_t size, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    if (static_cast<std::size_t>(bytes.size()) >= size || bytes.contains('\0'))
        return false;
    std::memset(field, 0, size);
    std::memcpy(field, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

void Tell(const char* text) {
    MailNotice(QString::fromLatin1(text), QString());
}

}  // namespace

QString GetAOLSenderCommand() {
    const auto key = RegKey::Open(RegRoot::CurrentUser, QString::fromLatin1(kAOLKey));
    return key ? key->QueryString(QStringLiteral("SenderCommand")).value_or(QString()).trimmed()
               : QString();
}

int CAOL::SendVoicegram(const QString& to, const QString& cc, const QString& subject,
                        const QString& noteText, const QString& file, int sendNow,
                        QString* queuedPath) {
    QString dir;
    std::optional<QString> queued;
    // The name is reserved by creating the file, so no other sender can take it.
    if (GetAOLSendMailDirectory(dir))
        queued = CreateUniqueFile(dir, QStringLiteral("VG"), QStringLiteral(".WAV"), 260);
    if (!queued) {
        Tell("Could not create a temporary file");
        return 0;
    }
    QFile in(file);
    QFile out(*queued);
    bool copied =
        in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    while (copied && !in.atEnd()) {
        const QByteArray block = in.read(1 << 16);
        copied = !block.isEmpty() && out.write(block) == block.size();
    }
    copied = copied && out.flush();
    out.close();
    if (!copied) {
        QFile::remove(*queued);
        Tell("Could not create a temporary file");
        return 0;
    }
    if (!AddAOLSendMailInfoToRIFFFile(*queued, to, cc, subject, noteText)) {
        // A queued file without its addressing must not reach the sender.
        QFile::remove(*queued);
        Tell("Mail could not be formatted.");
        return 0;
    }
    if (queuedPath)
        *queuedPath = *queued;
    return sendNow ? SendAndReceiveNow(0) : 1;
}

int CAOL::SendAndReceiveNow(int ask) {
    if (!mail_)
        return 0;
    QString screenName = Field(mail_->szAOLScreenName, sizeof mail_->szAOLScreenName);
    QString password = Field(mail_->szAOLPassword, sizeof mail_->szAOLPassword);
    if (ask) {
        int remember = mail_->bRememberPassword;
        if (!signOn_ || !signOn_(screenName, password, remember))
            return 0;
        mail_->bRememberPassword = remember;
    }
    QString dir;
    const QString sender = GetAOLSenderCommand();
    if (!GetAudioMessagingDirectory(dir) || sender.isEmpty())
        return 0;
    const bool started = StartDetachedWithInput(
        sender, {screenName, dir, QString::number(windowId_)}, password.toLocal8Bit() + '\n');
    if (!started)
        return 0;
    if (mail_->bRememberPassword) {
        Store(mail_->szAOLScreenName, sizeof mail_->szAOLScreenName, screenName);
        Store(mail_->szAOLPassword, sizeof mail_->szAOLPassword, password);
    }
    return 1;
}
