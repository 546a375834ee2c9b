// Group pairs parsed ahead of the import: one pair's values and a block of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One parsed pair: its result as ReadGroupPair returns it and the value, the texts as
// places in the block's bytes.
struct DxfParsedPair {
    int32_t code = 0;
    int32_t integer = 0;
    double real = 0.0;
    uint32_t textAt = 0, textSize = 0;  // in the block's bytes
    uint32_t lineAt = 0, lineSize = 0;
    bool converted = false;
    // 1 for a pair skipped for an overlong line, 2 for one whose code line holds no
    // integer: counted when the import reads it.
    uint8_t skipped = 0;
};

// On cache lines of its own: the worker fills one block while the import reads another.
struct alignas(64) DxfPairBlock {
    std::vector<DxfParsedPair> pairs;
    std::string bytes;  // the texts of the pairs, one after another
    bool end = false;   // the last block: the data ends after its pairs
    bool failed = false;  // the end came because memory for reading ahead ran out
};
