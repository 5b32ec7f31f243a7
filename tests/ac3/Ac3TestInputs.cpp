// SPDX-License-Identifier: GPL-3.0-or-later
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
    const auto& layoutNames = kNamesOfLayout.at(input.layout);
    std::vector<const char*> names;
    std::vector<double> tones;
    for (const std::string& name : layoutNames) {
        names.push_back(name.c_str());
        tones.push_back(kAc3Tones[kSlotOfName.at(name)]);
    }
    const ToneGraph graph = MakeToneGraph(names, tones, input.layout, input.rate, input.seconds);
    std::string command = "ffmpeg -v error -y";
    command += graph.inputs;
    command += graph.filter;
    command += " -c:a ac3 -b:a " + std::to_string(input.kbps) + "k -f ac3 " + Quote(path);
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
