#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tavrisk::mp2 {

// Packs fields of up to 32 bits, most significant bit first, and writes the completed
// bytes to the output file in the order they were produced. Every byte write is checked:
// after a failure writeFailed() stays true and nothing more is written.
class BitStream {
  public:
    static constexpr int kMaxWidth = 32;
    static constexpr std::size_t kDefaultBufferSize = 4096;

    BitStream() = default;
    ~BitStream() { close(); }
    BitStream(const BitStream&) = delete;
    BitStream& operator=(const BitStream&) = delete;

    // Creates `path` for writing; false (after "Could not create" on `messages`) when it
    // cannot be created. `messages` also receives the over-width warning.
    bool open(const std::string& path, std::size_t bufferSize, std::FILE* messages);
    bool isOpen() const { return file != nullptr; }

    void putBit(unsigned bit);
    // Puts the lowest `width` bits of `value`; wider requests are zero-extended.
    void putBits(std::uint32_t value, int width);
    // Bits put since open, completed bytes or not.
    std::uint32_t bitCount() const { return totalBits; }

    // Writes every completed byte and closes the file. A partial last byte is dropped.
    // False when a write or the close failed.
    bool close();
    bool writeFailed() const { return failed; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    void completeByte();
    void flush();

    std::unique_ptr<std::FILE, FileCloser> fileHandle;
    std::FILE* file = nullptr;
    std::FILE* messages = stdout;
    std::vector<std::uint8_t> buffer;
    std::size_t byteIndex = 0;  // byte being filled
    int bitIndex = 8;           // free bits left in that byte
    std::uint32_t totalBits = 0;
    bool failed = false;
};

}  // namespace tavrisk::mp2
