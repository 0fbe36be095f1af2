#include "command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

Args::Args(const QStringList& words, const QStringList& flags) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        if (!w.startsWith(QStringLiteral("--")) || w.size() == 2) {
            positional_ << w;
            continue;
        }
        const QString name = w.mid(2);
        if (flags.contains(name)) {
            flags_ << name;
        } else if (i + 1 < words.size()) {
            values_[name] = words[++i];
        } else {
            error_ = QStringLiteral("--%1 needs a value").arg(name);
        }
    }
}

std::optional<QString> Args::value(const QString& name) const {
    auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

QStringList Args::unknown(const QStringList& known) const {
    QStringList out;
    for (const QString& f : flags_)
        if (!known.contains(f))
            out << f;
    for (const auto& [name, value] : values_)
        if (!known.contains(name))
            out << name;
    return out;
}

std::map<QString, Command>& Commands() {
    static std::map<QString, Command> commands;
    return commands;
}

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, CommandFn run) {
    Commands()[QString::fromUtf8(name)] = {QString::fromUtf8(name), QString::fromUtf8(usage),
                                           std::move(run)};
}

void PrintOut(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

void PrintErr(const QString& text) {
    std::fprintf(stderr, "tdtool: %s\n", text.toLocal8Bit().constData());
}

void PrintJson(const QJsonValue& value) {
    QJsonDocument doc;
    if (value.isArray())
        doc = QJsonDocument(value.toArray());
    else
        doc = QJsonDocument(value.toObject());
    std::fputs(doc.toJson(QJsonDocument::Indented).constData(), stdout);
}

int UsageError(const QString& usage, const QString& problem) {
    PrintErr(problem);
    std::fprintf(stderr, "usage: tdtool %s\n", usage.toLocal8Bit().constData());
    return kExitUsage;
}
