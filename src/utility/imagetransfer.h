#pragma once

#include "eeprom/imagecontents.h"
#include "eeprom/memoryimage.h"
#include "utility/downloadcontroller.h"

#include <QString>
#include <QStringList>

class Operation;

// Copying a controller's program to another controller: "image save" reads the
// directory region, the header, the address table and the macro text into a memory
// image file, "image restore" writes such a file into a controller. Both run through
// the download window's logic and its progress window (whose Cancel works as in a
// download), and show their messages through its prompter.
class ImageTransfer
{
public:
    explicit ImageTransfer(DownloadController& controller);

    using Outcome = DownloadController::Outcome;

    // Reads the directory, then the memory from the lowest directory address to the
    // end of the last macro, into `path` (relative paths from the working directory).
    Outcome save(const QString& path);
    // Checks the image in `path` (a bad one sends nothing), resets the controller's
    // checksum, writes the bytes, compares the checksums and, with verifyReadback,
    // reads every byte back. A failure after the first write marks the memory
    // incomplete.
    Outcome restore(const QString& path, bool verifyReadback);

    // Reads the controller's memory over the image in `path` and compares it, writing
    // nothing: Completed once read whole, the differences (at most MaxListed) in
    // `differences`, none when equal; Failed, after its message, when the controller
    // gave no answer.
    Outcome verify(const QString& path);

    MemoryImage image; // the last one saved, restored or verified
    QStringList names; // the stored macros of the last save
    QList<ImageDifference> differences; // of the last verify
    int differenceCount = 0; // all of them, listed or not
    static constexpr int MaxListed = 20;

    // The lowest address of the directory: slot 39's two untouched bytes.
    static constexpr int SaveStart = 100;

private:
    class Save;
    class Restore;
    class Verify;

    // Reads and checks the image in `path` into `image`; false after its message.
    bool load(const QString& path, const QString& refused);

    // The restore's writes and checks, run inside `operation`.
    Outcome writeImage(Operation& operation, bool verifyReadback);

    DownloadController& m_u;
};
