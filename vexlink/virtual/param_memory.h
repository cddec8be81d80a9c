// The 256-word parameter memory of the virtual controllers: its checked
// areas, their checksums, and the factory contents of each family.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vexlink/virtual/device_class.h"

namespace vexlink::virt {

using WordMemory = std::array<uint16_t, 256>;
using FreqRegisters = std::array<uint8_t, 64>;
constexpr int kFrequencyCount = 5;

// A checked area: the 16-bit wrap-around sum of words first..last plus the
// seed is stored in word sumWord.
struct ChecksumArea {
    int first;
    int last;
    int sumWord;
    uint16_t seed;
};

// The areas of a layout; the main area (the one a corrupted-checksum fault
// spoils) comes first.
std::vector<ChecksumArea> checksumAreas(MemoryLayout layout);

uint16_t areaChecksum(const WordMemory& memory, const ChecksumArea& area);
void sealArea(WordMemory& memory, const ChecksumArea& area);
bool areaValid(const WordMemory& memory, const ChecksumArea& area);

// Factory contents for a device with these channel counts, every area sealed.
WordMemory factoryMemory(MemoryLayout layout, int xCount, int yCount);

// Heron-class analog front-end register block of one frequency index.
FreqRegisters factoryFreqRegisters(int frequencyIndex);

// Restores only the frequency part (Heron: the five frequency records,
// Osprey: the frequency table) to factory values and reseals.
void restoreFrequencyDefaults(WordMemory& memory, MemoryLayout layout, int xCount, int yCount);

// Osprey parameter block word indexes used by the firmware model itself.
namespace osprey {
constexpr int kBlock = 192;                 // block word k is device word 192 + k
constexpr int kFreqTable = 128;             // table word k is device word 128 + k
constexpr int kFreqTableSum = 191;
constexpr int kThresholdSingleX = kBlock + 1;
constexpr int kThresholdSingleY = kBlock + 2;
constexpr int kFreqIndexWord = kBlock + 18; // low byte "FreqIndex"
}  // namespace osprey

namespace heron {
constexpr int kBlock = 64;                  // Kestrel block byte 2k is device word 64 + k
// Frequency record n starts at block byte 256 + 24n, i.e. device word 192 + 12n.
constexpr int freqRecordWord(int n) { return kBlock + (256 + 24 * n) / 2; }
}  // namespace heron

}  // namespace vexlink::virt
