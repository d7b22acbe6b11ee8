#pragma once

#include "eeprom/memoryimage.h"

#include <QList>
#include <QString>
#include <optional>

// What a memory image holds, read from its bytes alone: the program's header, its
// directory and its address table, as a controller holding those bytes would list them.
struct ImageContents
{
    struct Macro
    {
        int number = 0; // 1 for the first
        QString name; // up to 8 characters, as the directory holds it
        int start = 0; // address of its first text byte
        int size = 0; // bytes of text
        bool operator==(const Macro&) const = default;
    };

    quint32 crc = 0; // CRC-32 of the memory bytes alone
    // The byte at 501: -1 runs macro 1 on boot, 0 runs none, n runs macro n. Nothing
    // when the image does not hold the header.
    std::optional<int> boot;
    std::optional<char> mark; // the byte at 503: 'X' complete, 'I' incomplete
    QList<Macro> macros;
    // Why the macros could not be listed (empty when they could): the image misses the
    // header, a directory slot or a table entry, or the table runs backwards.
    QString problem;

    static ImageContents of(const MemoryImage& image);
};

// One address where a controller's memory differs from an image.
struct ImageDifference
{
    int address = 0;
    int expected = 0; // the image's byte
    int read = -1; // the controller's; -1: it gave no answer
    bool operator==(const ImageDifference&) const = default;
};

// The addresses, in order, where a controller's memory differs from the image; at most
// `limit` of them. `read` holds the bytes it answered from image.start on, the
// `unanswered` addresses left out (a read cut short misses its tail). `total`, when
// given, gets the number of all differences.
QList<ImageDifference> imageDifferences(const MemoryImage& image, const QByteArray& read,
    const QList<int>& unanswered, int limit, int* total = nullptr);
