#include "memoryimage.h"

#include <QtEndian>
#include <array>

namespace {

constexpr std::array<quint32, 256> crcTable()
{
    std::array<quint32, 256> table {};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

} // namespace

quint32 MemoryImage::crc32(QByteArrayView bytes)
{
    return crc32(bytes, 0);
}

quint32 MemoryImage::crc32(QByteArrayView bytes, quint32 crc)
{
    static constexpr std::array<quint32, 256> table = crcTable();
    quint32 c = crc ^ 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ quint8(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray MemoryImage::write() const
{
    QByteArray out(HeaderSize, '\0');
    char* h = out.data();
    std::copy(magic().begin(), magic().end(), h);
    qToLittleEndian<quint16>(Version, h + 8);
    qToLittleEndian<quint16>(quint16(start), h + 10);
    qToLittleEndian<quint32>(quint32(bytes.size()), h + 12);
    qToLittleEndian<quint32>(crc32(bytes, crc32(QByteArrayView(h + 10, 6))), h + 16);
    return out + bytes;
}

std::optional<MemoryImage> MemoryImage::read(QByteArrayView file, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (file.size() < HeaderSize || file.first(8) != magic())
        return fail(QStringLiteral("it is not a TYX memory image"));
    if (file.size() > MaxFileSize)
        return fail(QStringLiteral("it is larger than %1 bytes, more than any memory image")
                        .arg(MaxFileSize));
    const char* h = file.data();
    const int version = qFromLittleEndian<quint16>(h + 8);
    if (version != Version && version != 1)
        return fail(QStringLiteral("it is a memory image of version %1, and this program reads "
                                   "versions 1 to %2")
                        .arg(version)
                        .arg(Version));
    MemoryImage image;
    image.start = qFromLittleEndian<quint16>(h + 10);
    const qint64 length = qFromLittleEndian<quint32>(h + 12);
    if (length != file.size() - HeaderSize)
        return fail(QStringLiteral("its header counts %1 bytes, but %2 follow it")
                        .arg(length)
                        .arg(file.size() - HeaderSize));
    if (length == 0)
        return fail(QStringLiteral("it holds no bytes"));
    if (image.start + length > AddressLimit)
        return fail(QStringLiteral("its bytes would run past address %1").arg(AddressLimit - 1));
    image.bytes = file.sliced(HeaderSize).toByteArray();
    const quint32 crc
        = version == 1 ? crc32(image.bytes) : crc32(image.bytes, crc32(file.sliced(10, 6)));
    if (crc != qFromLittleEndian<quint32>(h + 16))
        return fail(version == 1
                ? QStringLiteral("its CRC-32 does not match its bytes: the file is damaged")
                : QStringLiteral("its CRC-32 does not match its start address, length and "
                                 "bytes: the file is damaged"));
    return image;
}
