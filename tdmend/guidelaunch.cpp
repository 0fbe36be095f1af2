// Maps the guide's control-panel targets onto the desktop's sound settings.
#include "tdmend/guidelaunch.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace {

bool Installed(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

}  // namespace

QStringList SoundSettingsCommand(int page) {
    if (Installed(QStringLiteral("pavucontrol")))
        return {QStringLiteral("pavucontrol"), QStringLiteral("--tab=%1").arg(page)};
    if (Installed(QStringLiteral("gnome-control-center")))
        return {QStringLiteral("gnome-control-center"), QStringLiteral("sound")};
    if (Installed(QStringLiteral("systemsettings")))
        return {QStringLiteral("systemsettings"), QStringLiteral("kcm_pulseaudio")};
    if (Installed(QStringLiteral("alsamixer")) && Installed(QStringLiteral("x-terminal-emulator")))
        return {QStringLiteral("x-terminal-emulator"), QStringLiteral("-e"),
                QStringLiteral("alsamixer")};
    return {};
}

GuideCommand GuideCommandFor(const QString& command) {
    GuideCommand c;
    if (command.contains(QLatin1String("sysdm.cpl"))) {
        c.kind = GuideCommand::Kind::SoundCards;
    } else if (command.contains(QLatin1String("mmsys.cpl"))) {
        // The page after "Multimedia": none the devices, 2 MIDI, 3 CD, 4 advanced.
        int page = 3;
        if (command.endsWith(QLatin1String(",2")) || command.endsWith(QLatin1String(",3")))
            page = 1;
        else if (command.endsWith(QLatin1String(",4")))
            page = 5;
        c.arguments = SoundSettingsCommand(page);
        c.kind =
            c.arguments.isEmpty() ? GuideCommand::Kind::SoundCards : GuideCommand::Kind::Program;
    } else if (command.contains(QLatin1String("appwiz.cpl"))) {
        // Installing software: the desktop's software centre, else the sound settings.
        for (const char* program : {"gnome-software", "plasma-discover"})
            if (Installed(QLatin1String(program))) {
                c.arguments = {QLatin1String(program)};
                break;
            }
        if (c.arguments.isEmpty())
            c.arguments = SoundSettingsCommand();
        c.kind =
            c.arguments.isEmpty() ? GuideCommand::Kind::SoundCards : GuideCommand::Kind::Program;
    }
    return c;
}

bool StartGuideProgram(const QStringList& arguments) {
    if (arguments.isEmpty())
        return false;
    return QProcess::startDetached(arguments.first(), arguments.mid(1));
}

QString SoundCardsReport(const QString& cardsFile) {
    QFile file(cardsFile);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("No sound cards were found: %1 cannot be read.").arg(cardsFile);
    // The file is small; read a bounded amount all the same.
    const QString text = QString::fromLocal8Bit(file.read(64 * 1024)).trimmed();
    if (text.isEmpty() || text.contains(QLatin1String("no soundcards")))
        return QStringLiteral("ALSA reports no sound cards on this computer.");
    return QStringLiteral("ALSA reports these sound cards:\n\n") + text;
}
