#pragma once

// The controller's EEPROM as this program lays it out: decimal byte addresses.
namespace MemoryMap {

// Directory: 40 slots of 10 bytes counted downward; a name's first character sits at
// the slot's highest address and takes 8 bytes; the two lowest bytes stay untouched.
constexpr int DirectoryTop = 499;
constexpr int SlotBytes = 10;
constexpr int NameBytes = 8;
constexpr int MaxMacros = 40;
constexpr int slotAddress(int slot)
{
    return DirectoryTop - SlotBytes * slot;
}

constexpr int HeaderStart = 501;
constexpr int BootByte = 501; // the boot flag (-1 or 0) or the boot macro number
constexpr int CountByte = 502; // number of stored macros
constexpr int ProgramMark = 503; // "X" while complete, "I" when incomplete

// Macro address table: 16-bit entries, high byte first. Entry 0 holds TextStart;
// entry n the address just past macro n.
constexpr int TableStart = 516;
constexpr int tableAddress(int entry)
{
    return TableStart + 2 * entry;
}
// A table high byte above this cannot belong to an 8 KiB memory: the read failed.
constexpr int MaxTableHigh = 32;

constexpr int TextStart = 1024;

// The controller's EEPROM holds 8 KiB unless it is told otherwise (zaziruv-cli
// --memory-size).
constexpr int MemorySize = 8192;

// The number that unlocks addressed access ("EEADR"/"EEADDR").
constexpr int UnlockCode = 4826;

} // namespace MemoryMap
