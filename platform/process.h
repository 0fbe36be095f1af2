// Starting outside programs with an argument list, never through a shell.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Starts program with args as a process of its own (it outlives the caller and is
// never left as a zombie) and writes input to its standard input, which is then closed:
// the way to hand a program a secret without putting it on a command line or into its
// environment, both of which other processes can read. True once the program has been
// executed; false when it could not be (not found, not executable), within a bounded
// wait.
bool StartDetachedWithInput(const QString& program, const QStringList& args,
                            const QByteArray& input);
