#include "tests/ac3/Ac3TestInputs.h"

#include <cstring>
#include <map>

#include "tests/support/TestSupport.h"

namespace tavrisk::test {
namespace {

// Our channel slot of each ffmpeg channel name.
const std::map<std::string, int> kSlotOfName = {{"FL", 0}, {"FC", 1}, {"FR", 2},
                                                {"SL", 3}, {"SR", 4}, {"LFE", 5}};
const std::map<std::string, std::vector<std::string>> kNamesOfLayout = {
    {"5.1(side)", {"FL", "FR", "FC", "LFE", "SL", "SR"}},
    {"stereo", {"FL", "FR"}},
    {"mono", {"FC"}},
};

}  // namespace

bool MakeAc3(const std::string& path, const Ac3Input& input) {
    const auto& names = kNamesOfLayout.at(input.layout);
    std::string command = "ffmpeg -v error -y";
    std::string join;
    std::string map;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const double tone = kAc3Tones[kSlotOfName.at(names[i])];
        command += " -f lavfi -i \"sine=f=" + std::to_string(tone) +
                   ":r=" + std::to_string(input.rate) + ":d=" + std::to_string(input.seconds) +
                   "\"";
        // Appended piece by piece: a literal + string temporary trips a false -Wrestrict in
        // GCC 12 at -O3.
        join += '[';
        join += std::to_string(i);
        join += ']';
        if (i > 0) map += '|';
        map += std::to_string(i);
        map += ".0-";
        map += names[i];
    }
    command += " -filter_complex \"" + join + "join=inputs=" + std::to_string(names.size()) +
               ":channel_layout=" + input.layout + ":map=" + map + "\" -c:a ac3 -b:a " +
               std::to_string(input.kbps) + "k -f ac3 " + Quote(path);
    return RunCommand(command).exitCode == 0;
}

bool MakeAvi(const std::string& path, const std::string& audioPath) {
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -i " + Quote(audioPath) +
        " -map 0:v -map 1:a -shortest -c:v mjpeg -c:a copy -f avi " + Quote(path);
    return RunCommand(command).exitCode == 0;
}

std::vector<float> FfmpegDecode(const std::string& path) {
    TempDir dir;
    const std::string raw = dir.File("decoded.f32");
    const std::string command = "ffmpeg -v error -y -drc_scale 0 -i " + Quote(path) +
                                " -f f32le -c:a pcm_f32le " + Quote(raw);
    if (RunCommand(command).exitCode != 0) return {};
    const std::vector<uint8_t> bytes = ReadBytes(raw);
    const auto& names = kNamesOfLayout.at("5.1(side)");
    const std::size_t frames = bytes.size() / (sizeof(float) * names.size());
    std::vector<float> out(frames * kAc3Channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            float value = 0.0f;
            std::memcpy(&value, bytes.data() + (i * names.size() + k) * sizeof(float),
                        sizeof(float));
            out[i * kAc3Channels + kSlotOfName.at(names[k])] = value;
        }
    }
    return out;
}

}  // namespace tavrisk::test

namespace tavrisk::test {

void MemoryStream::Load(std::vector<uint8_t> bytes) {
    data = std::move(bytes);
    position = 0;
}

const char* MemoryStream::Read(uint8_t* buffer, int length) {
    const auto count = static_cast<std::size_t>(length);
    if (data.size() - position < count) {
        position = data.size();
        return "EOF";
    }
    std::memcpy(buffer, data.data() + position, count);
    position += count;
    return nullptr;
}

}  // namespace tavrisk::test
