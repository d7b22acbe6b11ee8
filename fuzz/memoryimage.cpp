// A memory image file is the operator's, and may be damaged or not an image at all;
// the answers its bytes are read from come from the line.

#include "eeprom/memoryimage.h"
#include "eeprom/eepromtext.h"
#include "eeprom/readbacktext.h"
#include "fuzzsupport.h"

#include <QtEndian>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView file = fuzzBytes(data, size);

    // An image read is written back byte for byte; anything else has a reason.
    QString why;
    const auto image = MemoryImage::read(file, &why);
    if (image) {
        // A version 1 image is written again as the current version.
        if (qFromLittleEndian<quint16>(file.data() + 8) == MemoryImage::Version)
            FUZZ_CHECK(image->write() == file);
        else
            FUZZ_CHECK(MemoryImage::read(image->write(), &why) == image);
        FUZZ_CHECK(file.size() <= MemoryImage::MaxFileSize);
        FUZZ_CHECK(!image->bytes.isEmpty());
        FUZZ_CHECK(image->start + image->bytes.size() <= MemoryImage::AddressLimit);
    } else {
        FUZZ_CHECK(!why.isEmpty());
    }

    // Answers taken apart in one pass give what rule A gives one answer at a time, and
    // ending the last answer changes no byte.
    const QString answers = QString::fromLatin1(file);
    QByteArray byRule;
    for (QString rest = answers; const auto b = EepromText::takeRuleA(rest);)
        byRule.append(char(*b));
    FUZZ_CHECK(ReadBackText::bytesFromAnswers(answers) == byRule);
    FUZZ_CHECK(ReadBackText::answerCount(answers) == byRule.size());
    FUZZ_CHECK(
        ReadBackText::bytesFromAnswers(ReadBackText::withLastAnswerEnded(answers)) == byRule);

    // The input as the bytes of an image: what is written reads back the same, and a
    // flipped bit anywhere, the start address included, is refused.
    if (size == 0 || size > 4096)
        return 0;
    const MemoryImage made { int(data[0]) * 200, file.toByteArray() };
    const QByteArray written = made.write();
    const auto back = MemoryImage::read(written, &why);
    FUZZ_CHECK(back && *back == made);
    QByteArray flipped = written;
    const qsizetype at = qsizetype(data[size - 1]) * 7919 % written.size();
    flipped[at] = char(flipped[at] ^ (1 << (data[0] % 8)));
    FUZZ_CHECK(!MemoryImage::read(flipped, &why));
    return 0;
}
