#include "tdkit/mail/voicegram.h"

#include <QFile>

#include "platform/tempfile.h"

QString VoicegramSubject(const QString& userSubject) {
    return QString::fromLatin1(kVoicegramMarker) + u' ' + userSubject;
}

VoicegramSendResult SendVoicegramFile(CSimpleMapi& mapi, const VoicegramSend& request) {
    VoicegramSendResult result;
    if (!mapi.IsMAPIEnabled()) {
        result.error = QStringLiteral("mail is not available");
        return result;
    }
    if (request.recipients.empty()) {
        result.error = QStringLiteral("no recipients");
        return result;
    }
    if (!QFile::exists(request.wavPath)) {
        result.error = QStringLiteral("no recording at %1").arg(request.wavPath);
        return result;
    }
    // The temporary mail copy. Compressed voicegrams need the codec layer's compressor,
    // which is not part of this build: the copy goes as PCM and the caller is told.
    if (request.compress)
        result.notice =
            QStringLiteral("The voicegram was sent uncompressed: compression is not available.");
    const auto tmp = PrivateTempDirectory();
    const auto copy =
        tmp ? CreateUniqueFile(*tmp, QStringLiteral("VG"), QStringLiteral(".WAV"), 260)
            : std::nullopt;
    if (!copy) {
        result.error = QStringLiteral("Could not create a temporary file");
        return result;
    }
    QFile::remove(*copy);
    if (!QFile::copy(request.wavPath, *copy)) {
        QFile::remove(*copy);
        result.error = QStringLiteral("Could not create a temporary file");
        return result;
    }
    QString failed;
    result.sent =
        mapi.SendVoicegramTo(*copy, QString::fromLatin1(kVoicegramAttachName),
                             VoicegramSubject(request.subject),
                             QString::fromLatin1(kVoicegramNoteText), request.receipt ? 1 : 0,
                             request.recipients, request.uuText ? 0 : 1, &failed, false) != 0;
    QFile::remove(*copy);
    if (!result.sent)
        result.error = failed.isEmpty() ? QStringLiteral("Could not send Voicegram.") : failed;
    return result;
}
