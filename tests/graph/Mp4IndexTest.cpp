// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "graph/Mp4Index.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

// A box of `type` with `payload` bytes, its size in 32 bits (`size32`, when given) or else in
// 64 bits.
std::vector<uint8_t> Box(const char* type, uint32_t payload, std::optional<uint32_t> size32 = {}) {
    const uint64_t size = payload + (size32 ? 8 : 16);
    std::vector<uint8_t> box(size, 0);
    for (int i = 0; i < 4; ++i) {
        box[3 - i] = size32 ? static_cast<uint8_t>(*size32 >> (8 * i)) : i == 0;
        box[4 + i] = static_cast<uint8_t>(type[i]);
        if (!size32) box[15 - i] = static_cast<uint8_t>(size >> (8 * i));
    }
    return box;
}

// Only an MP4 whose boxes end without its index (cut in its media, in a header, or ending
// before the index) is refused; not one with its index anywhere, nor what is not an MP4.
TEST(Mp4IndexTest, AnMp4WithoutItsIndexIsRecognised) {
    const auto ftyp = Box("ftyp", 16, 24), mdat = Box("mdat", 5000, 5008), large = Box("mdat", 90);
    const auto moov = Box("moov", 300, 308), toTheEnd = Box("mdat", 100, 0);
    const auto join = [](std::vector<std::vector<uint8_t>> boxes, std::size_t cut = 0) {
        std::vector<uint8_t> bytes;
        for (const auto& box : boxes) bytes.insert(bytes.end(), box.begin(), box.end());
        bytes.resize(bytes.size() - cut);
        return bytes;
    };
    const std::pair<std::vector<uint8_t>, bool> cases[] = {
        {join({ftyp, mdat, moov}), false},      {join({ftyp, moov, toTheEnd}), false},
        {join({ftyp, large, moov}), false},     {join({Box("RIFF", 9, 17), mdat}), false},
        {join({ftyp, mdat, moov}, 3000), true}, {join({ftyp, mdat}), true},
        {join({ftyp, toTheEnd}), true},         {join({ftyp, mdat}, 5004), true},
    };
    test::TempDir dir;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        test::WriteBytes(dir.File("film.mp4"), cases[i].first);
        EXPECT_EQ(Mp4WithoutIndex(dir.File("film.mp4")), cases[i].second) << "case " << i;
    }
}

}  // namespace
}  // namespace tavrisk
