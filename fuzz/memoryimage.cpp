// A memory image file is the operator's, and may be damaged or not an image at all.

#include "eeprom/memoryimage.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView file = fuzzBytes(data, size);

    // An image read is written back byte for byte; anything else has a reason.
    QString why;
    const auto image = MemoryImage::read(file, &why);
    if (image) {
        FUZZ_CHECK(image->write() == file);
        FUZZ_CHECK(!image->bytes.isEmpty());
        FUZZ_CHECK(image->start + image->bytes.size() <= MemoryImage::AddressLimit);
    } else {
        FUZZ_CHECK(!why.isEmpty());
    }

    // The input as the bytes of an image: what is written reads back the same, and a
    // flipped bit anywhere but in the start address is refused.
    if (size == 0 || size > 4096)
        return 0;
    const MemoryImage made { int(data[0]) * 200, file.toByteArray() };
    const QByteArray written = made.write();
    const auto back = MemoryImage::read(written, &why);
    FUZZ_CHECK(back && *back == made);
    QByteArray flipped = written;
    qsizetype at = qsizetype(data[size - 1]) * 7919 % written.size();
    if (at == 10 || at == 11)
        at = 0;
    flipped[at] = char(flipped[at] ^ (1 << (data[0] % 8)));
    FUZZ_CHECK(!MemoryImage::read(flipped, &why));
    return 0;
}
