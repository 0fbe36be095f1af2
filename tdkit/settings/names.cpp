#include "tdkit/settings/names.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#include "platform/drives.h"
#include "platform/strings.h"
#include "platform/tempfile.h"

namespace {

// Copies text with its NUL into out, when it fits.
int CopyOut(char* out, const QByteArray& text) {
    if (static_cast<std::size_t>(text.size()) + 1 > kNameBufferSize)
        return 0;
    std::memcpy(out, text.constData(), static_cast<std::size_t>(text.size()) + 1);
    return 1;
}

}  // namespace

int GetTempFilePathAndName(char* out, UINT prefixId, UINT extensionId) {
    if (!out)
        return 0;
    QString prefix, extension;
    if (!LoadString(prefixId, prefix) || !LoadString(extensionId, extension))
        return 0;
    const auto dir = PrivateTempDirectory();
    if (!dir)
        return 0;
    // The extension takes the place of the ".TMP" a unique name would otherwise end in;
    // only the file name is touched, never the folder's own letters.
    const auto path = CreateUniqueFile(*dir, prefix.left(3), u'.' + extension, kNameBufferSize);
    if (!path)
        return 0;
    if (CopyOut(out, QFile::encodeName(*path)))
        return 1;
    QFile::remove(*path);
    return 0;
}

int GetUniversalName(char* out, const QString& path) {
    if (!out)
        return 0;
    if (path.startsWith(QStringLiteral("//")) || path.startsWith(QStringLiteral("\\\\")))
        return 0;
    std::optional<Drive> drive;
    const QString upper = path.toUpper();
    if (upper.size() >= 3 && upper[0] >= u'A' && upper[0] <= u'Z' && upper[1] == u':' &&
        (upper[2] == u'\\' || upper[2] == u'/')) {
        drive = DriveForLetter(upper[0].toLatin1());
    } else if (path.startsWith(u'/')) {
        // A path through a symbolic link lies on the drive of what it leads to.
        const QString real = QFileInfo(path).canonicalFilePath();
        drive = DriveForPath(real.isEmpty() ? path : real);
    }
    if (!drive || drive->type != DriveType::Remote || drive->universalName.isEmpty())
        return 0;
    return CopyOut(out, drive->universalName.toLocal8Bit());
}
