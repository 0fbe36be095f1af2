#include "tdinbox/voicegrambox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>

#include "tdkit/audio/riffinfo.h"
#include "tdkit/mail/decode.h"

namespace {

constexpr UINT kDescriptionBuffer = 256;

QString Text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

QStringList List(const char* list) {
    QStringList out;
    for (const char* p = list; p && *p; p += std::strlen(p) + 1)
        out << QString::fromUtf8(p);
    return out;
}

// Owned copies of the record's strings for writing.
struct RecordText {
    std::vector<QByteArray> keep;
    char* Text(const QString& s) {
        if (s.isEmpty())
            return nullptr;
        keep.push_back(s.toUtf8());
        return keep.back().data();
    }
    char* List(const QStringList& items) {
        QByteArray bytes;
        for (const QString& item : items)
            bytes += item.toUtf8() + '\0';
        bytes += '\0';
        keep.push_back(bytes);
        return keep.back().data();
    }
};

bool WriteRecord(const QString& path, const VoicegramEntry& e, DWORD heard) {
    RecordText t;
    t.keep.reserve(8);
    VOICEGRAMINFOSTRUCT info{};
    info.text1 = t.Text(e.forwarded);
    info.value2 = e.received.isValid() ? static_cast<DWORD>(e.received.toSecsSinceEpoch()) : 0;
    info.text3 = t.Text(e.fromName);
    info.text4 = t.Text(e.fromAddress);
    info.text5 = t.Text(e.subject);
    info.text6 = t.Text(e.noteText);
    QStringList names, addresses;
    for (const MailRecipient& r : e.recipients) {
        names << r.name;
        addresses << r.address;
    }
    info.list7 = t.List(names);
    info.list8 = t.List(addresses);
    info.heard = heard;
    // The description is bounded by its buffer: a longer subject is shortened there only.
    QByteArray description = e.subject.toLocal8Bit();
    if (description.size() >= static_cast<qsizetype>(kDescriptionBuffer))
        description.truncate(kDescriptionBuffer - 1);
    return AddInfoToRIFFFile(path, WAVEFILETYPE_SOUND, description.constData(), &info) != 0;
}

}  // namespace

std::vector<VoicegramEntry> ReadVoicegramDirectory(const QString& folder) {
    std::vector<VoicegramEntry> list;
    QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        WAVEFILETYPE type{};
        char description[kDescriptionBuffer] = {};
        DWORD seconds = 0;
        VOICEGRAMINFOSTRUCT info{};
        if (!GetInfoFromRIFFFile(path, type, description, kDescriptionBuffer, seconds, &info))
            continue;  // not a voicegram: no mail record
        VoicegramEntry e;
        e.path = path;
        e.description =
            QString::fromLocal8Bit(description, strnlen(description, kDescriptionBuffer));
        e.seconds = seconds;
        e.heard = info.heard != 0;
        e.forwarded = Text(info.text1);
        if (info.value2)
            e.received = QDateTime::fromSecsSinceEpoch(info.value2);
        e.fromName = Text(info.text3);
        e.fromAddress = Text(info.text4);
        e.subject = Text(info.text5);
        e.noteText = Text(info.text6);
        const QStringList rn = List(info.list7), ra = List(info.list8);
        for (qsizetype i = 0; i < rn.size(); ++i)
            e.recipients.push_back({MAPI_TO, rn[i], ra.value(i)});
        FreeVoicegramInfo(&info);
        list.push_back(std::move(e));
    }
    return list;
}

QString StoreReceivedVoicegram(const ReceivedVoicegram& v, const QString& folder) {
    QFile in(v.sound);
    if (v.sound.isEmpty() || !in.open(QIODevice::ReadOnly) || in.size() > kMaxCodedFileBytes)
        return QString();
    QString path = v.sound;
    if (QFileInfo(v.sound).absolutePath() != QFileInfo(folder).absoluteFilePath()) {
        QString name = CDecode::PlainFileName(QFileInfo(v.sound).fileName().toLocal8Bit());
        if (name.isEmpty())
            name = QString::fromLatin1(kVoicegramAttachName);
        const auto written = CDecode::WriteNewFile(folder, name, in.readAll(), 260);
        if (!written)
            return QString();
        path = *written;
    }
    in.close();
    VoicegramEntry e;
    e.fromName = v.fromName;
    e.fromAddress = v.fromAddress;
    e.subject = v.subject;
    e.noteText = v.noteText;
    e.received = v.received.isValid() ? v.received : QDateTime::currentDateTime();
    e.recipients = v.recipients;
    if (!WriteRecord(path, e, 0)) {
        QFile::remove(path);
        return QString();
    }
    return path;
}

int FetchNewVoicegrams(CSimpleMapi& mapi, const QString& folder, bool deleteFromServer) {
    if (!mapi.IsMAPIEnabled() || !QDir().mkpath(folder))
        return 0;
    int stored = 0;
    QByteArray seed;
    ReceivedVoicegram v;
    // A message is removed from the server only once its voicegram is safely stored.
    while (mapi.GetVoicegram(seed, v, 0, folder)) {
        if (!StoreReceivedVoicegram(v, folder).isEmpty()) {
            ++stored;
            if (deleteFromServer && v.files.size() == 1)
                mapi.DeleteMail(v.id.constData());
        } else {
            QFile::remove(v.sound);  // not a sound the box can keep
        }
        for (const QString& f : v.files)
            if (f != v.sound)
                QFile::remove(f);
    }
    return stored;
}

bool MarkVoicegramHeard(const QString& path, bool heard) {
    return MarkMailAsHeard(path, heard ? 1 : 0) != 0;
}

bool DeleteVoicegram(const QString& path) {
    if (!QFile::exists(path))
        return false;
    QFile f(path);
    return f.moveToTrash() || QFile::remove(path);
}

VoicegramSendResult ForwardVoicegram(CSimpleMapi& mapi, const VoicegramEntry& entry,
                                     const std::vector<MailRecipient>& recipients) {
    VoicegramSend request;
    request.wavPath = entry.path;
    request.recipients = recipients;
    QString subject = entry.subject;
    if (subject.startsWith(QLatin1String(kVoicegramMarker)))
        subject = subject.mid(static_cast<qsizetype>(std::strlen(kVoicegramMarker))).trimmed();
    request.subject = QStringLiteral("Fwd: ") + subject;
    VoicegramSendResult result = SendVoicegramFile(mapi, request);
    if (result.sent) {
        QStringList to;
        for (const MailRecipient& r : recipients)
            to << (r.address.isEmpty() ? r.name : r.address);
        VoicegramEntry marked = entry;
        marked.forwarded =
            QStringLiteral("Forwarded to %1 on %2")
                .arg(to.join(QStringLiteral(", ")),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")));
        if (!WriteRecord(entry.path, marked, entry.heard ? 1 : 0))
            result.notice = QStringLiteral("The voicegram was forwarded but could not be marked.");
    }
    return result;
}

ReplyAddress MakeReply(const VoicegramEntry& entry, const QString& ownAddress) {
    ReplyAddress r;
    r.toName = entry.fromName.isEmpty() ? entry.fromAddress : entry.fromName;
    r.toAddress = entry.fromAddress;
    for (const MailRecipient& rc : entry.recipients) {
        if (rc.address.compare(ownAddress, Qt::CaseInsensitive) == 0 ||
            rc.address.compare(entry.fromAddress, Qt::CaseInsensitive) == 0)
            continue;
        r.ccNames << (rc.name.isEmpty() ? rc.address : rc.name);
        r.ccAddresses << rc.address;
    }
    QString subject = entry.subject;
    if (subject.startsWith(QLatin1String(kVoicegramMarker)))
        subject = subject.mid(static_cast<qsizetype>(std::strlen(kVoicegramMarker))).trimmed();
    r.subject = subject.startsWith(QStringLiteral("Re:"), Qt::CaseInsensitive)
                    ? subject
                    : QStringLiteral("Re: ") + subject;
    return r;
}
