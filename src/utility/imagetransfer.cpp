#include "imagetransfer.h"

#include "core/operation.h"
#include "core/prompter.h"
#include "core/wholefile.h"
#include "eeprom/memorymap.h"
#include "terminal/terminalcore.h"

#include <QDir>

static_assert(ImageTransfer::SaveStart
    == MemoryMap::slotAddress(MemoryMap::MaxMacros - 1) - (MemoryMap::SlotBytes - 1));

// "image save" once the directory is read: the memory from SaveStart to `end`.
class ImageTransfer::Save final : public Operation
{
public:
    Save(EepromProtocol& protocol, int end)
        : m_protocol(protocol)
        , m_end(end)
    {
    }
    QString label() const override { return QStringLiteral("Reading memory.."); }
    Outcome run() override
    {
        // Reading leaves the memory as it is, even when cancelled.
        const EepromProtocol::Session session(m_protocol, *this, false);
        bytes = m_protocol.readMemory(SaveStart, m_end - SaveStart);
        if (m_protocol.cancelRequested())
            return Outcome::Cancelled;
        if (m_protocol.portLost())
            return Outcome::PortLost;
        return Outcome::Completed;
    }

    QByteArray bytes;

private:
    EepromProtocol& m_protocol;
    int m_end;
};

// "image restore" once the image is checked and the port is open.
class ImageTransfer::Restore final : public Operation
{
public:
    Restore(ImageTransfer& transfer, bool verifyReadback)
        : m_transfer(transfer)
        , m_verifyReadback(verifyReadback)
    {
    }
    QString label() const override { return QStringLiteral("Restoring memory.."); }
    Outcome run() override
    {
        EepromProtocol& p = m_transfer.m_u.protocol();
        const EepromProtocol::Session session(p, *this, true); // Cancel marks the memory
        p.resetSum();
        const Outcome outcome = m_transfer.writeImage(*this, m_verifyReadback);
        Q_EMIT progressShown(false);
        if (outcome == Outcome::PortLost)
            m_transfer.m_u.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
        return outcome;
    }

private:
    ImageTransfer& m_transfer;
    bool m_verifyReadback;
};

// "image verify" once the image is checked: the memory under it read, nothing written.
class ImageTransfer::Verify final : public Operation
{
public:
    explicit Verify(ImageTransfer& transfer)
        : m_transfer(transfer)
    {
    }
    QString label() const override { return QStringLiteral("Verifying memory.."); }
    Outcome run() override
    {
        EepromProtocol& p = m_transfer.m_u.protocol();
        const EepromProtocol::Session session(p, *this, false);
        // One read first: a silent controller is said at once, not after three tries
        // of every address.
        if (!p.readMark(false))
            return p.portLost() ? Outcome(Outcome::PortLost, EepromProtocol::PortLostText)
                                : Outcome(Outcome::Failed);
        const MemoryImage& image = m_transfer.image;
        const QByteArray read = p.readMemory(image.start, int(image.bytes.size()));
        if (p.cancelRequested())
            return Outcome::Cancelled;
        if (p.portLost())
            return { Outcome::PortLost, EepromProtocol::PortLostText };
        m_transfer.differences
            = imageDifferences(image, read, p.unanswered(), MaxListed, &m_transfer.differenceCount);
        return Outcome::Completed;
    }

private:
    ImageTransfer& m_transfer;
};

ImageTransfer::ImageTransfer(DownloadController& controller)
    : m_u(controller)
{
}

ImageTransfer::Outcome ImageTransfer::save(const QString& path)
{
    EepromProtocol& p = m_u.protocol();
    names.clear();
    if (!m_u.uploadPortReady())
        return Outcome::Refused;
    m_u.readDirectory(); // reads the directory and says what went wrong
    using D = EepromProtocol::DirectoryOutcome;
    switch (m_u.lastDirectory()) {
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
    names = m_u.storedMacros();
    const int end = m_u.macrosEnd();
    if (end <= MemoryMap::TextStart || end > 32768) {
        m_u.prompter.message(
            QStringLiteral("EEprom Memory information misread\r\nPlease try again."),
            PromptIcon::Critical);
        return Outcome::Failed;
    }

    Save read(p, end);
    const Outcome outcome = m_u.run(read);
    if (outcome == Outcome::Cancelled)
        return outcome;
    if (outcome == Outcome::PortLost) {
        m_u.prompter.message(DownloadController::MemoryPortLostText, PromptIcon::Critical);
        return { Outcome::PortLost, DownloadController::MemoryPortLostText };
    }
    const QByteArray& bytes = read.bytes;
    if (bytes.size() != end - SaveStart) {
        m_u.prompter.message(EepromProtocol::unansweredText(p.unanswered())
                + QStringLiteral(" The image was not saved. Please try again."),
            PromptIcon::Critical);
        return Outcome::Failed;
    }
    image = { SaveStart, bytes };
    return m_u.writeWholeFile(path, image.write()) ? Outcome::Completed : Outcome::Failed;
}

bool ImageTransfer::load(const QString& path, const QString& refused)
{
    const QString full = QDir(m_u.workingDir()).filePath(path);
    const QString file = QDir::toNativeSeparators(full);
    QString why;
    // The size is checked before anything is read: an image is never larger.
    const auto bytes = readRegularFile(full, MemoryImage::MaxFileSize, &why);
    if (!bytes) {
        m_u.prompter.message(
            QStringLiteral("%1 could not be read: %2").arg(file, why), PromptIcon::Critical);
        return false;
    }
    const auto read = MemoryImage::read(*bytes, &why);
    if (!read) {
        m_u.prompter.message(refused.arg(file, why), PromptIcon::Critical);
        return false;
    }
    image = *read;
    return true;
}

ImageTransfer::Outcome ImageTransfer::verify(const QString& path)
{
    differences.clear();
    differenceCount = 0;
    if (!load(path, QStringLiteral("%1 was not verified: %2. Nothing was sent to the TYX.")))
        return Outcome::Refused;
    if (!m_u.core.link().isOpen()) {
        m_u.prompter.message(TerminalCore::PortClosedText, PromptIcon::Critical);
        return Outcome::Refused;
    }
    Verify verify(*this);
    return m_u.run(verify);
}

ImageTransfer::Outcome ImageTransfer::restore(const QString& path, bool verifyReadback)
{
    // The whole file is checked before the port is touched.
    if (!load(path, QStringLiteral("%1 was not restored: %2. Nothing was sent to the TYX.")))
        return Outcome::Refused;
    if (!m_u.core.link().isOpen()) {
        m_u.prompter.message(TerminalCore::PortClosedText, PromptIcon::Critical);
        return Outcome::Refused;
    }
    Restore restore(*this, verifyReadback);
    return m_u.run(restore);
}

ImageTransfer::Outcome ImageTransfer::writeImage(Operation& operation, bool verifyReadback)
{
    EepromProtocol& p = m_u.protocol();
    const auto ended = [&p]() -> std::optional<Outcome> {
        if (p.portLost())
            return Outcome(Outcome::PortLost, EepromProtocol::PortLostText);
        if (p.cancelRequested()) {
            p.endCancelled(); // after the byte in flight
            return Outcome::Cancelled;
        }
        return std::nullopt;
    };
    const auto fail = [&](const QString& text) {
        Q_EMIT operation.progressShown(false);
        p.markIncomplete();
        m_u.prompter.message(text, PromptIcon::Critical);
        return Outcome(Outcome::Failed, text);
    };
    const auto failed = [&p] {
        return p.portLost() ? Outcome(Outcome::PortLost, EepromProtocol::PortLostText)
                            : Outcome(Outcome::Failed);
    };

    if (!p.probe())
        return failed(); // nothing written
    if (!p.resetChecksum())
        return failed(); // nothing written yet
    if (p.cancelRequested())
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
    const int deviceChecksum = p.readChecksum();
    if (const auto e = ended())
        return *e;
    if (p.downloadSum() != deviceChecksum)
        return fail(EepromProtocol::MismatchText);
    if (verifyReadback) {
        Q_EMIT operation.labelChanged(QStringLiteral("Reading back.."));
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
        if (p.portLost())
            return { Outcome::PortLost, EepromProtocol::PortLostText };
        if (mark != 'I')
            p.markIncomplete();
        return Outcome::Failed;
    }
    return Outcome::Completed;
}
