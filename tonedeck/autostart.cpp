#include "tonedeck/autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString AutostartEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tonedeck.desktop");
}

bool IsAutostartEnabled() {
    QFile entry(AutostartEntryPath());
    if (!entry.open(QIODevice::ReadOnly))
        return false;
    // A desktop turns an entry off with Hidden=true (or X-GNOME-Autostart-enabled=false).
    while (!entry.atEnd()) {
        const QByteArray line = entry.readLine(4096).trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

QString AutostartEntryText(const QString& program) {
    // Exec quoting of the desktop entry format: the path in double quotes, with '"', '`',
    // '$' and '\\' escaped.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    // In a desktop entry a backslash in a string value is itself escaped once more.
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tonedeck\n"
               "Comment=Sound centre docked to the edge of the screen\n"
               "Exec=%1\n"
               "Icon=tonedeck\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(quoted);
}

bool SetAutostartEnabled(bool on, QString* error, const QString& programArg) {
    const QString path = AutostartEntryPath();
    if (!on) {
        if (!QFile::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    const QString program =
        programArg.isEmpty() ? QCoreApplication::applicationFilePath() : programArg;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile out(path);
    const QByteArray text = AutostartEntryText(program).toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}
