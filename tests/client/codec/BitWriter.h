// Writes headers bit by bit, most significant bit first, for the parser
// tests.
#ifndef RILO_TESTS_BITWRITER_H
#define RILO_TESTS_BITWRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BitWriter {
public:
    void Put(int n, uint32_t value)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (bits_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= uint8_t(0x80 >> (bits_ % 8));
            ++bits_;
        }
    }
    // Exp-Golomb ue(v).
    void PutUE(uint32_t value)
    {
        const uint64_t code = uint64_t(value) + 1;
        int n = 0;
        while ((code >> n) > 1)
            ++n;
        Put(n, 0);
        Put(n + 1, uint32_t(code));
    }
    // MPEG-4 next_start_code: a 0, then 1s up to the byte boundary.
    void Stuff()
    {
        Put(1, 0);
        while (bits_ % 8)
            Put(1, 1);
    }
    // H.264 rbsp_trailing_bits: a 1, then 0s up to the byte boundary.
    void Trail()
    {
        Put(1, 1);
        while (bits_ % 8)
            Put(1, 0);
    }
    void StartCode(uint32_t code) { Put(32, code); }
    void Text(const std::string& s)
    {
        for (char c : s)
            Put(8, uint8_t(c));
    }
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

#endif
