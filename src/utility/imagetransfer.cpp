#include "imagetransfer.h"

#include "core/prompter.h"
#include "core/wholefile.h"
#include "eeprom/memorymap.h"
#include "terminal/terminalcore.h"

#include <QDir>

static_assert(ImageTransfer::SaveStart
    == MemoryMap::slotAddress(MemoryMap::MaxMacros - 1) - (MemoryMap::SlotBytes - 1));

ImageTransfer::ImageTransfer(DownloadController& controller)
    : m_u(controller)
{
}

ImageTransfer::Outcome ImageTransfer::save(const QString& path)
{
    EepromProtocol& p = m_u.protocol;
    names.clear();
    if (!m_u.uploadPortReady())
        return Outcome::NotStarted;
    m_u.readDirectory(); // reads the directory and says what went wrong
    using D = EepromProtocol::DirectoryOutcome;
    switch (m_u.lastDirectory) {
    case D::Listed:
        break;
    case D::Cancelled:
        return Outcome::Cancelled;
    case D::PortLost:
        return Outcome::PortLost;
    case D::Empty:
        m_u.prompter.message(QStringLiteral("No macros are stored in the TYX: there is no "
                                            "program to save."),
            PromptIcon::Exclamation);
        return Outcome::Failed;
    default:
        return Outcome::Failed;
    }
    names = m_u.storedMacros;
    const int end = p.MacroEndAddress;
    if (end <= MemoryMap::TextStart || end > 32768) {
        m_u.prompter.message(
            QStringLiteral("EEprom Memory information misread\r\nPlease try again."),
            PromptIcon::Critical);
        return Outcome::Failed;
    }

    m_u.showProgress();
    m_u.windowEnabled = false;
    m_u.progressLabel = QStringLiteral("Reading memory..");
    p.SkipIncompleteMark = true; // reading leaves the memory as it is, even when cancelled
    Q_EMIT m_u.changed();
    const int count = end - SaveStart;
    const QByteArray bytes = p.readMemory(SaveStart, count);
    m_u.hideProgress();
    m_u.windowEnabled = true;
    Q_EMIT m_u.changed();
    if (p.CancelRequested)
        return Outcome::Cancelled;
    if (p.PortLost) {
        m_u.prompter.message(DownloadController::MemoryPortLostText, PromptIcon::Critical);
        return Outcome::PortLost;
    }
    if (bytes.size() != count) {
        m_u.prompter.message(EepromProtocol::unansweredText(p.Unanswered)
                + QStringLiteral(" The image was not saved. Please try again."),
            PromptIcon::Critical);
        return Outcome::Failed;
    }
    image = { SaveStart, bytes };
    return m_u.writeWholeFile(path, image.write()) ? Outcome::Completed : Outcome::Failed;
}

ImageTransfer::Outcome ImageTransfer::restore(const QString& path, bool verifyReadback)
{
    // The whole file is checked before the port is touched.
    const QString full = QDir(m_u.workingDir()).filePath(path);
    const QString file = QDir::toNativeSeparators(full);
    QString why;
    // The size is checked before anything is read: an image is never larger.
    const auto bytes = readRegularFile(full, MemoryImage::MaxFileSize, &why);
    if (!bytes) {
        m_u.prompter.message(
            QStringLiteral("%1 could not be read: %2").arg(file, why), PromptIcon::Critical);
        return Outcome::NotStarted;
    }
    const auto read = MemoryImage::read(*bytes, &why);
    if (!read) {
        m_u.prompter.message(
            QStringLiteral("%1 was not restored: %2. Nothing was sent to the TYX.").arg(file, why),
            PromptIcon::Critical);
        return Outcome::NotStarted;
    }
    image = *read;
    if (!m_u.core.link().isOpen()) {
        m_u.prompter.message(
            QStringLiteral("Serial Port not configured properly!"), PromptIcon::Critical);
        return Outcome::NotStarted;
    }

    EepromProtocol& p = m_u.protocol;
    p.SkipIncompleteMark = false; // Cancel marks the memory incomplete
    p.PortLost = false;
    p.DownloadSum = 0;
    m_u.showProgress();
    m_u.windowEnabled = false;
    m_u.progressLabel = QStringLiteral("Restoring memory..");
    Q_EMIT m_u.changed();
    const Outcome outcome = writeImage(verifyReadback);
    m_u.hideProgress();
    m_u.windowEnabled = true;
    Q_EMIT m_u.changed();
    if (outcome == Outcome::PortLost)
        m_u.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
    return outcome;
}

ImageTransfer::Outcome ImageTransfer::writeImage(bool verifyReadback)
{
    EepromProtocol& p = m_u.protocol;
    const auto ended = [&p]() -> std::optional<Outcome> {
        if (p.PortLost)
            return Outcome::PortLost;
        if (p.CancelRequested) {
            p.endCancelled(); // after the byte in flight
            return Outcome::Cancelled;
        }
        return std::nullopt;
    };
    const auto fail = [&](const QString& text) {
        m_u.hideProgress();
        p.MarkIncomplete();
        m_u.prompter.message(text, PromptIcon::Critical);
        return Outcome::Failed;
    };

    if (!p.probe())
        return p.PortLost ? Outcome::PortLost : Outcome::Failed; // nothing written
    if (!p.ResetChecksum())
        return p.PortLost ? Outcome::PortLost : Outcome::Failed; // nothing written yet
    if (p.CancelRequested)
        return Outcome::Cancelled; // nothing written yet
    // The bytes go out in address order, so the directory and the count would change
    // under the old mark "X", and the image's own mark would call the memory complete
    // long before the text is in. The memory is marked "I" first, the image is
    // written with "I" in its place, and its own mark is set only once everything
    // else is in and checked: a line that drops half way leaves a program the
    // controller will not run.
    p.writeMark('I');
    if (const auto e = ended())
        return *e;
    QByteArray bytes = image.bytes;
    const qsizetype markAt = MemoryMap::ProgramMark - image.start;
    const bool holdsMark = markAt >= 0 && markAt < bytes.size();
    if (holdsMark)
        bytes[markAt] = 'I';
    p.writeMemory(image.start, bytes);
    if (const auto e = ended())
        return *e;
    p.GetChecksum();
    if (const auto e = ended())
        return *e;
    if (p.DownloadSum != p.DeviceChecksum)
        return fail(EepromProtocol::MismatchText);
    if (verifyReadback) {
        m_u.progressLabel = QStringLiteral("Reading back..");
        Q_EMIT m_u.changed();
        const auto d = p.firstDifference(image.start, bytes);
        if (const auto e = ended())
            return *e;
        if (d)
            return fail(EepromProtocol::differenceText(*d));
    }
    const char mark = holdsMark ? image.bytes[markAt] : 'I';
    if (mark != 'I') {
        p.writeMark(mark);
        if (const auto e = ended())
            return *e;
    }
    // The last word is the controller's: the mark read back.
    if (!p.confirmMark(mark)) {
        if (p.PortLost)
            return Outcome::PortLost;
        if (mark != 'I')
            p.MarkIncomplete();
        return Outcome::Failed;
    }
    return Outcome::Completed;
}
