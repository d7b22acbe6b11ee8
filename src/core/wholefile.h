#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Whole files the program keeps for the operator: written so that a failed write (a
// full disk, a file size limit) leaves the earlier file exactly as it was, and read
// only when they are regular files of a bounded size, so that a pipe or a device
// given as a file name never blocks the program or feeds it without end.

// Replaces the file `path` with `bytes` through a temporary file beside it that is
// renamed over the target only once every byte is on disk. False, with the system's
// reason (as "No space left on device") in *why, when anything fails: the old file
// stays and no temporary file is left.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* why);

enum class ReadRefusal
{
    None,
    Missing, // nothing of that name
    NotRegular, // a folder, a pipe, a device or a socket
    TooLarge, // more than the caller's limit
    Failed, // it could not be opened or read
};

// The bytes of the regular file `path` (a symbolic link followed); nothing, with a
// one-line reason in *why ("it is not a regular file", "it is larger than N bytes",
// or the system's reason) and its kind in *refusal, when it is not such a file, holds
// more than maxBytes or cannot be read.
std::optional<QByteArray> readRegularFile(
    const QString& path, qint64 maxBytes, QString* why, ReadRefusal* refusal = nullptr);
