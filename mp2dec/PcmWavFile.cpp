#include "mp2dec/PcmWavFile.h"

#include <limits>

namespace tavrisk::mp2dec {

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kFmtBytes = 16;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint64_t kMaxDataBytes = std::numeric_limits<uint32_t>::max() - kHeaderBytes;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

PcmWavFile::~PcmWavFile() {
    Close();
}

bool PcmWavFile::Open(const std::string& path, int channelCount, int rate) {
    Close();
    channels = channelCount;
    sampleRate = rate;
    frames = 0;
    file.open(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    WriteHeader(0);
    return static_cast<bool>(file);
}

void PcmWavFile::WriteHeader(uint32_t dataBytes) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * kBitsPerSample / 8);
    std::vector<uint8_t> header;
    PutTag(header, "RIFF");
    Put32(header, kHeaderBytes - 8 + dataBytes);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    Put32(header, kFmtBytes);
    Put16(header, kFormatPcm);
    Put16(header, static_cast<uint16_t>(channels));
    Put32(header, static_cast<uint32_t>(sampleRate));
    Put32(header, static_cast<uint32_t>(sampleRate) * blockAlign);
    Put16(header, blockAlign);
    Put16(header, kBitsPerSample);
    PutTag(header, "data");
    Put32(header, dataBytes);
    file.write(reinterpret_cast<const char*>(header.data()),
               static_cast<std::streamsize>(header.size()));
}

bool PcmWavFile::Write(const int16_t* interleaved, std::size_t count) {
    const uint64_t blockAlign = static_cast<uint64_t>(channels) * kBitsPerSample / 8;
    if ((frames + count) * blockAlign > kMaxDataBytes) return false;  // RIFF size limit
    const std::size_t samples = count * static_cast<std::size_t>(channels);
    bytes.resize(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const uint16_t v = static_cast<uint16_t>(interleaved[i]);
        bytes[2 * i] = static_cast<uint8_t>(v);
        bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    frames += count;
    return static_cast<bool>(file);
}

bool PcmWavFile::Close() {
    if (!file.is_open()) return true;
    const uint64_t dataBytes = frames * static_cast<uint64_t>(channels) * kBitsPerSample / 8;
    file.seekp(0);
    WriteHeader(static_cast<uint32_t>(dataBytes));
    file.close();
    return !file.fail();
}

}  // namespace tavrisk::mp2dec
