// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "graph/Mp4Index.h"
#include "tests/support/TestSupport.h"

namespace tavrisk {
namespace {

// A box of `type` with `payload` bytes after its header (`large`: a 64-bit size).
std::vector<uint8_t> Box(const char* type, std::size_t payload, bool large = false) {
    const std::size_t header = large ? 16 : 8;
    const uint64_t size = header + payload;
    std::vector<uint8_t> box(header + payload, 0);
    for (int i = 0; i < 4; ++i) {
        box[3 - i] = large ? (i == 0 ? 1 : 0) : static_cast<uint8_t>(size >> (8 * i));
        box[4 + i] = static_cast<uint8_t>(type[i]);
    }
    for (int i = 0; large && i < 8; ++i) box[15 - i] = static_cast<uint8_t>(size >> (8 * i));
    return box;
}

std::vector<uint8_t> Joined(std::initializer_list<std::vector<uint8_t>> boxes) {
    std::vector<uint8_t> bytes;
    for (const auto& box : boxes) bytes.insert(bytes.end(), box.begin(), box.end());
    return bytes;
}

// Only an MP4 whose boxes end without its index is refused: cut inside its media data or
// ending before the index; one with its index before or after the media is not, nor is what
// is not an MP4.
TEST(Mp4IndexTest, AnMp4WithoutItsIndexIsRecognised) {
    const auto ftyp = Box("ftyp", 16), mdat = Box("mdat", 5000), moov = Box("moov", 300);
    const auto whole = Joined({ftyp, Box("free", 0), mdat, moov});
    auto toTheEnd = Box("mdat", 100);
    std::fill_n(toTheEnd.begin(), 4, 0);  // size 0: the box runs to the end of the file
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool withoutIndex;
    } cases[] = {
        {"index after the media", whole, false},
        {"index first", Joined({ftyp, moov, mdat}), false},
        {"64-bit media size", Joined({ftyp, Box("mdat", 5000, true), moov}), false},
        {"cut in the media", {whole.begin(), whole.begin() + 3000}, true},
        {"ends before the index", Joined({ftyp, mdat}), true},
        {"media to the end", Joined({ftyp, toTheEnd}), true},
        {"index, then media to the end", Joined({ftyp, moov, toTheEnd}), false},
        {"cut in a header", {whole.begin(), whole.begin() + 28}, true},
        {"not an MP4", Joined({Box("RIFF", 100), mdat}), false},
        {"empty", {}, false},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        test::WriteBytes(dir.File("film.mp4"), c.bytes);
        EXPECT_EQ(Mp4WithoutIndex(dir.File("film.mp4")), c.withoutIndex) << c.name;
    }
}

}  // namespace
}  // namespace tavrisk
