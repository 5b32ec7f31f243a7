// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace tavrisk::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("tavrisk-test-" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + Quote(name) + " >/dev/null").exitCode == 0;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string BinPath(const std::string& name) {
    return (fs::path(TAVRISK_BIN_DIR) / name).string();
}

bool Ffmpeg(const std::string& arguments) {
    return RunCommand("ffmpeg -v error -y " + arguments).exitCode == 0;
}

CommandResult RunCli(const std::string& arguments, const std::string& environment) {
    return RunCommand("(" + environment + " " + Quote(BinPath("tavrisk-cli")) + " " + arguments +
                      " >/dev/null)");
}

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

::testing::AssertionResult Says(const CommandResult& run, const std::string& part, int times) {
    const int found = Occurrences(run.output, part);
    if (times == 0 ? found > 0 : found == times) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << part << "' said " << found << " times in:\n"
                                         << run.output;
}

std::vector<double> PcmAudio::Channel(int channel) const {
    std::vector<double> out(Frames());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = At(i, channel);
    return out;
}

PcmAudio MakeTones(const ToneSet& layout, int rate, std::size_t frames) {
    PcmAudio audio;
    audio.channels = static_cast<int>(layout.frequencies.size());
    audio.rate = rate;
    audio.samples.resize(frames * audio.channels);
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < audio.channels; ++c) {
            double v = layout.amplitude * std::sin(2.0 * M_PI * layout.frequencies[c] * i / rate);
            audio.samples[i * audio.channels + c] = static_cast<int16_t>(std::lround(v));
        }
    }
    return audio;
}

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xff);
    out.push_back((v >> 8) & 0xff);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}
uint32_t Get16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | (Get16(p + 2) << 16);
}

// A 5.1 file's frames FL FR FC LFE BL BR into the order L, C, R, LS, RS, LFE.
void ToFilmOrder(PcmAudio& audio) {
    for (std::size_t frame = 0; frame + 6 <= audio.samples.size(); frame += 6) {
        int16_t* f = audio.samples.data() + frame;
        const std::array<int16_t, 6> stored = {f[0], f[1], f[2], f[3], f[4], f[5]};
        for (std::size_t k = 0; k < 6; ++k) f[k] = stored[std::array{0, 2, 1, 4, 5, 3}[k]];
    }
}

}  // namespace

void WritePlainWav(const std::string& path, const PcmAudio& audio) {
    std::vector<uint8_t> out;
    uint32_t dataBytes = static_cast<uint32_t>(audio.samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, audio.channels);
    Put32(out, audio.rate);
    Put32(out, audio.rate * audio.channels * 2);
    Put16(out, audio.channels * 2);
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, dataBytes);
    for (int16_t s : audio.samples) Put16(out, static_cast<uint16_t>(s));
    WriteBytes(path, out);
}

PcmAudio ReadWav(const std::string& path, bool asStored) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        throw std::runtime_error(path + ": not a RIFF WAVE file");
    PcmAudio audio;
    bool haveFormat = false;
    bool masked51 = false;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        uint32_t size = Get32(bytes.data() + pos + 4);
        const uint8_t* body = bytes.data() + pos + 8;
        std::size_t available = std::min<std::size_t>(size, bytes.size() - pos - 8);
        if (std::memcmp(bytes.data() + pos, "fmt ", 4) == 0 && available >= 16) {
            audio.channels = static_cast<int>(Get16(body + 2));
            audio.rate = static_cast<int>(Get32(body + 4));
            if (Get16(body + 14) != 16) throw std::runtime_error(path + ": not 16-bit");
            // The 5.1 masks with back (0x3F) or side (0x60F) surrounds.
            const uint32_t mask = available >= 24 && Get16(body) == 0xFFFE ? Get32(body + 20) : 0;
            masked51 = audio.channels == 6 && (mask == 0x3F || mask == 0x60F);
            haveFormat = true;
        } else if (std::memcmp(bytes.data() + pos, "data", 4) == 0) {
            if (!haveFormat) throw std::runtime_error(path + ": data before fmt");
            audio.samples.resize(available / 2);
            for (std::size_t i = 0; i < audio.samples.size(); ++i)
                audio.samples[i] = static_cast<int16_t>(Get16(body + 2 * i));
            if (masked51 && !asStored) ToFilmOrder(audio);
            return audio;
        }
        pos += 8 + size + (size & 1);
    }
    throw std::runtime_error(path + ": no data chunk");
}

std::vector<int16_t> ReadRawPcm(const std::string& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(Get16(bytes.data() + 2 * i));
    return samples;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open");
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error(path + ": cannot write");
}

double ToneAmplitude(const std::vector<double>& signal, double frequency, int rate) {
    const double w = 2.0 * M_PI * frequency / rate;
    double re = 0.0, im = 0.0;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        re += signal[i] * std::cos(w * i);
        im -= signal[i] * std::sin(w * i);
    }
    return signal.empty() ? 0.0 : 2.0 * std::hypot(re, im) / signal.size();
}

double Rms(const std::vector<double>& signal) {
    double sum = 0.0;
    for (double v : signal) sum += v * v;
    return signal.empty() ? 0.0 : std::sqrt(sum / signal.size());
}

ToneGraph MakeToneGraph(const std::vector<const char*>& names, const std::vector<double>& tones,
                        const std::string& layout, int rate, double seconds) {
    std::string inputs, join, map;
    for (std::size_t i = 0; i < names.size(); ++i) {
        inputs += " -f lavfi -i \"sine=f=";
        inputs += std::to_string(tones[i]);
        inputs += ":r=";
        inputs += std::to_string(rate);
        inputs += ":d=";
        inputs += std::to_string(seconds);
        inputs += '"';
        join += '[';
        join += std::to_string(i);
        join += ']';
        if (i > 0) map += '|';
        map += std::to_string(i);
        map += ".0-";
        map += names[i];
    }
    std::string graph;
    graph += " -filter_complex \"";
    graph += join;
    graph += "join=inputs=";
    graph += std::to_string(names.size());
    graph += ":channel_layout=";
    graph += layout;
    graph += ":map=";
    graph += map;
    graph += "[a]\" -map \"[a]\"";
    return {inputs, graph};
}

bool DamageFrames(const std::string& from, const std::string& to, const std::vector<uint8_t>& sync,
                  int frames) {
    constexpr std::size_t kAfterSync = 100, kSpoilt = 200;
    std::vector<uint8_t> bytes = ReadBytes(from);
    for (int k = 1; k <= frames; ++k) {
        const auto start =
            bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * k / (frames + 1));
        const auto found = std::search(start, bytes.end(), sync.begin(), sync.end());
        const auto at = static_cast<std::size_t>(found - bytes.begin()) + kAfterSync;
        if (at + kSpoilt > bytes.size()) return false;
        for (std::size_t i = at; i < at + kSpoilt; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
    }
    WriteBytes(to, bytes);
    return true;
}

std::string MisplacedTones(const PcmAudio& audio, const std::vector<PlacedTone>& tones,
                           double below) {
    constexpr double kAudible = 1000.0;
    std::string problems;
    for (int slot = 0; slot < audio.channels; ++slot) {
        const std::vector<double> signal = audio.Channel(slot);
        const auto placedHere = [slot](const PlacedTone& tone) {
            return std::find(tone.places.begin(), tone.places.end(), slot) != tone.places.end();
        };
        double loudest = kAudible;
        for (const PlacedTone& tone : tones) {
            if (!placedHere(tone)) continue;
            const double level = ToneAmplitude(signal, tone.frequency, audio.rate);
            if (level <= kAudible)
                problems += tone.channel + " is missing from slot " + std::to_string(slot) + "; ";
            loudest = std::max(loudest, level);
        }
        for (const PlacedTone& tone : tones) {
            if (!placedHere(tone) &&
                ToneAmplitude(signal, tone.frequency, audio.rate) >= loudest / below)
                problems += tone.channel + " leaks into slot " + std::to_string(slot) + "; ";
        }
    }
    return problems;
}

}  // namespace tavrisk::test
