#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// A copy of a run of the controller's memory, as "image save" writes it and "image
// restore" reads it. The file is a header of 20 bytes and then the bytes; numbers are
// little-endian:
//
//   offset  size  content
//        0     8  "ZZEEPROM"
//        8     2  version (2)
//       10     2  start address
//       12     4  number of bytes
//       16     4  CRC-32 (IEEE 802.3, as zip and PNG use it) of bytes 10 to 15 of the
//                 header followed by the bytes, so that a changed start address or
//                 length is found as damage too
//
// Version 1 files, whose CRC-32 covers the bytes alone, are still read.
struct MemoryImage
{
    static constexpr int HeaderSize = 20;
    static constexpr int Version = 2;
    // Addresses of a 16-bit controller: the run ends at or before this.
    static constexpr int AddressLimit = 65536;
    // No image is larger: a larger file is refused before it is read.
    static constexpr qint64 MaxFileSize = HeaderSize + AddressLimit;
    static QByteArrayView magic() { return "ZZEEPROM"; }

    int start = 0;
    QByteArray bytes;

    bool operator==(const MemoryImage&) const = default;

    QByteArray write() const;
    // The image a file holds; nothing, with a one-line reason in *error, when the file
    // is not such an image or is damaged.
    static std::optional<MemoryImage> read(QByteArrayView file, QString* error);

    static quint32 crc32(QByteArrayView bytes);
    // The CRC-32 of earlier bytes (whose CRC-32 is `crc`) followed by `bytes`.
    static quint32 crc32(QByteArrayView bytes, quint32 crc);
};
