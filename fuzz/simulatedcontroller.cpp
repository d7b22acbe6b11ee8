// The simulator's interpreter reads whatever the host sends. The first four bytes
// choose its options, the rest is the line.

#include "sim/simulatedcontroller.h"
#include "fuzzsupport.h"

namespace {

constexpr qint64 kLater = qint64(1) << 40; // past every answer's due time

void checkState(const SimulatedController& sim, const SimOptions& options)
{
    FUZZ_CHECK(sim.memory().size() == options.eepromSize);
    FUZZ_CHECK(sim.address() >= 0 && sim.address() <= kLater);
    FUZZ_CHECK(sim.runningMacro() >= 0 && sim.runningMacro() <= 255);
    FUZZ_CHECK(sim.memoryChecksum() >= 0 && sim.memoryChecksum() <= 255);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    SimOptions options;
    options.echo = data[0] & 1;
    options.checksum = data[0] & 2;
    options.answerDelayMs = data[0] >> 4;
    options.node = data[1];
    options.eepromSize = 1 + data[2] * 3; // 1 to 766 bytes, either side of the boot byte
    options.dropEvery = data[3] & 3;
    options.corruptEvery = (data[3] >> 2) & 3;
    options.hangupAfter = data[3] >> 4;
    QByteArray input = fuzzBytes(data, size).sliced(4).toByteArray();
    // Lines beyond the length limit, without waiting for the fuzzer to grow one.
    if ((data[0] & 4) && !input.isEmpty())
        input = input.repeated(SimulatedController::kMaxLineLength / input.size() + 2);

    // All at once, and one byte at a time read at once: the same bytes out.
    SimulatedController whole(options);
    whole.receive(input, 0);
    const QByteArray wholeOut = whole.takeOutput(kLater);
    FUZZ_CHECK(
        wholeOut.size() <= SimulatedController::kMaxPendingOutput && !whole.hasPendingOutput());
    checkState(whole, options);

    SimulatedController single(options);
    QByteArray singleOut;
    for (char c : std::as_const(input)) {
        single.receive(QByteArrayView(&c, 1), 0);
        singleOut += single.takeOutput(0);
    }
    singleOut += single.takeOutput(kLater);
    checkState(single, options);
    FUZZ_CHECK(
        single.memory() == whole.memory() && single.linesReceived() == whole.linesReceived());
    // The queue's limit drops output of the single read only when it came near it.
    if (wholeOut.size() + input.size() < SimulatedController::kMaxPendingOutput)
        FUZZ_CHECK(singleOut == wholeOut);
    return 0;
}
