// tdtool's commands. Each command lives in a file of its own and registers itself with
// TDTOOL_COMMAND; main() finds it by its first word.
#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The words after the command name: positionals, "--name value" options and "--flag"s.
class Args {
public:
    // flags lists the options that take no value; every other "--name" takes the next word.
    Args(const QStringList& words, const QStringList& flags);

    bool ok() const { return error_.isEmpty(); }
    const QString& error() const { return error_; }
    const QStringList& positional() const { return positional_; }
    bool flag(const QString& name) const { return flags_.contains(name); }
    std::optional<QString> value(const QString& name) const;
    // Options given that are not among known (flags included): a usage error to report.
    QStringList unknown(const QStringList& known) const;

private:
    QStringList positional_;
    QStringList flags_;
    std::map<QString, QString> values_;
    QString error_;
};

using CommandFn = std::function<int(const QStringList& words)>;

struct Command {
    QString name;
    QString usage;  // one line, shown by "tdtool help"
    CommandFn run;
};

std::map<QString, Command>& Commands();

struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, CommandFn run);
};

#define TDTOOL_CONCAT2(a, b) a##b
#define TDTOOL_CONCAT(a, b) TDTOOL_CONCAT2(a, b)
#define TDTOOL_COMMAND(name, usage, fn) \
    static const CommandRegistrar TDTOOL_CONCAT(registrar_, __LINE__)(name, usage, fn)

// Output helpers.
void PrintOut(const QString& text);  // stdout, newline added
void PrintErr(const QString& text);  // stderr as "tdtool: text"
void PrintJson(const QJsonValue& value);
int UsageError(const QString& usage, const QString& problem);
