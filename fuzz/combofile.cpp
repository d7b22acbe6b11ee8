// Combination files are the operator's to edit: any bytes at all.

#include "eeprom/combofile.h"
#include "fuzzsupport.h"

#include "core/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ComboFile::Contents c = ComboFile::read(fuzzBytes(data, size), QStringLiteral("F.CMB"));
    if (!c.error.isEmpty()) {
        FUZZ_CHECK(c.files.isEmpty() && !c.bootMacro);
        return 0;
    }
    FUZZ_CHECK(c.files.size() <= ComboFile::MaxFiles);

    // What was read can be written, and reads back as the same list with the box's
    // number; that number is already in its written form.
    FUZZ_CHECK(ComboFile::refusal(c.files).isEmpty());
    const QString box = c.bootMacro.value_or(QString());
    const QByteArray written = ComboFile::write(box, c.files);
    FUZZ_CHECK(written.endsWith("\r\n"));
    const ComboFile::Contents back = ComboFile::read(written, QStringLiteral("F.CMB"));
    FUZZ_CHECK(back.error.isEmpty());
    FUZZ_CHECK(back.files == c.files);
    const QString number = ComboFile::bootNumber(box);
    FUZZ_CHECK(back.bootMacro == number);
    FUZZ_CHECK(ComboFile::bootNumber(number) == number);
    FUZZ_CHECK(readDecimal(number) == readDecimal(box));
    return 0;
}
