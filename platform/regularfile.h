// Files whose names come from the user or from another file are opened here: regular
// files only. The check is made on the open descriptor, and the open itself does not wait,
// so a FIFO or a device named like a data file is refused instead of blocking for ever.
#pragma once

#include <QFile>
#include <QString>

// Opens file (its name already set) as a regular file. False, with error (when given)
// saying why in plain words naming the path, when it is missing, unreadable or not a
// regular file.
bool OpenRegularFile(QFile& file, QIODevice::OpenMode mode, QString* error = nullptr);

// Whether path names a regular file (following links) without opening it.
bool IsRegularFile(const QString& path);
