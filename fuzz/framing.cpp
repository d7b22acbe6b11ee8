// Answers come from the line: any bytes, checksummed or not.

#include "link/framing.h"
#include "core/numbers.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes = fuzzBytes(data, size);
    const QString text = QString::fromLatin1(bytes);

    ChecksumState state;
    state.text = text;
    calc_cksum(state);
    FUZZ_CHECK(state.sum >= 0 && state.sum <= 0xFF);
    FUZZ_CHECK(
        state.check1 >= '0' && state.check1 <= '?' && state.check2 >= '0' && state.check2 <= '?');

    // Whatever arrives is kept up to its first "#", kept whole without one, or dropped.
    const qsizetype hash = text.indexOf(u'#');
    QString answer = text;
    Calc_RX_Cksum(answer);
    FUZZ_CHECK(hash < 0 ? answer == text : (answer.isEmpty() || answer == text.left(hash)));

    // Framing then unframing gives the text back; one check character off loses it.
    FUZZ_CHECK(frameCommand(text, false) == '\r' + bytes.toByteArray() + '\r');
    if (hash < 0) {
        const QByteArray frame = frameCommand(text, true);
        FUZZ_CHECK(
            frame.size() == bytes.size() + 5 && frame.startsWith('\r') && frame.endsWith('\r'));
        QString unframed = fromWire(frame.sliced(1, frame.size() - 2));
        Calc_RX_Cksum(unframed);
        FUZZ_CHECK(unframed == text);
        QString spoilt = fromWire(frame.sliced(1, frame.size() - 2));
        const qsizetype last = spoilt.size() - 1;
        spoilt[last] = QChar(u'0' + (spoilt[last].unicode() - u'0' + 1) % 16);
        Calc_RX_Cksum(spoilt);
        FUZZ_CHECK(spoilt.isEmpty());
    }

    // Five to eight hexadecimal digits read the same as the 32-bit reader reads them.
    qsizetype digits = 0;
    while (digits < text.size() && digits < 8
        && ((text[digits] >= u'0' && text[digits] <= u'9')
            || (text[digits] >= u'A' && text[digits] <= u'F')))
        ++digits;
    (void)calc32bit(text);
    if (digits >= 5)
        FUZZ_CHECK(calc32bit(text.left(digits)) == readHex(QStringView(text).left(digits)));
    return 0;
}
