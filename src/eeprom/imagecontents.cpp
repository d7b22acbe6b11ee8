#include "imagecontents.h"

#include "eeprom/memorymap.h"

namespace {

// The byte at `address`, when the image holds it.
std::optional<int> byteAt(const MemoryImage& image, int address)
{
    const qsizetype i = address - image.start;
    if (i < 0 || i >= image.bytes.size())
        return std::nullopt;
    return quint8(image.bytes[i]);
}

} // namespace

ImageContents ImageContents::of(const MemoryImage& image)
{
    ImageContents c;
    c.crc = MemoryImage::crc32(image.bytes);
    if (const auto b = byteAt(image, MemoryMap::BootByte))
        c.boot = qint8(*b);
    if (const auto m = byteAt(image, MemoryMap::ProgramMark))
        c.mark = char(*m);
    const auto count = byteAt(image, MemoryMap::CountByte);
    if (!count || !c.boot) {
        c.problem = QStringLiteral("the image does not hold the header at 501 to 503");
        return c;
    }
    if (*count > MemoryMap::MaxMacros) {
        c.problem = QStringLiteral("the header counts %1 macros, more than the 40 the directory "
                                   "holds")
                        .arg(*count);
        return c;
    }
    const auto entry = [&](int n) -> std::optional<int> {
        const auto high = byteAt(image, MemoryMap::tableAddress(n));
        const auto low = byteAt(image, MemoryMap::tableAddress(n) + 1);
        if (!high || !low)
            return std::nullopt;
        return *high * 256 + *low;
    };
    std::optional<int> start = entry(0);
    for (int n = 1; n <= *count; ++n) {
        const int top = MemoryMap::slotAddress(n - 1);
        QString name;
        for (int k = 0; k < MemoryMap::NameBytes; ++k) {
            const auto b = byteAt(image, top - k);
            if (!b) {
                c.problem = QStringLiteral("the image does not hold the directory slot of "
                                           "macro %1")
                                .arg(n);
                return c;
            }
            if (*b == '\r' || *b == '\n')
                break;
            name += QChar(*b);
        }
        const auto end = entry(n);
        if (!start || !end) {
            c.problem = QStringLiteral("the image does not hold the address table up to "
                                       "macro %1")
                            .arg(n);
            return c;
        }
        if (*end < *start) {
            c.problem = QStringLiteral("the address table runs backwards at macro %1 (%2 "
                                       "after %3)")
                            .arg(n)
                            .arg(*end)
                            .arg(*start);
            return c;
        }
        c.macros.append({ n, name, *start, *end - *start });
        start = end;
    }
    return c;
}

QList<ImageDifference> imageDifferences(const MemoryImage& image, const QByteArray& read,
    const QList<int>& unanswered, int limit, int* total)
{
    QList<ImageDifference> out;
    int all = 0;
    qsizetype next = 0; // the next answered byte in `read`
    for (qsizetype i = 0; i < image.bytes.size(); ++i) {
        const int expected = quint8(image.bytes[i]);
        int got = -1;
        if (!unanswered.contains(image.start + int(i)) && next < read.size())
            got = quint8(read[next++]);
        if (got == expected)
            continue;
        ++all;
        if (out.size() < limit)
            out.append({ image.start + int(i), expected, got });
    }
    if (total)
        *total = all;
    return out;
}
