// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/EncoderOptions.h"

#include <cstdlib>
#include <cstring>

#include "mp2enc/HeaderLookups.h"

namespace tavrisk::mp2 {
namespace {

// A configuration code is front x 100 + surround x 10 (a last digit: a second programme).
constexpr int kConfigFront = 100;
constexpr int kConfigSurround = 10;

bool TakesValue(char letter) {
    return std::strchr("BCbdklmnrvxy", letter) != nullptr;
}

// Applies one option letter; false after a message when its value is not accepted.
bool ApplyOption(char letter, const char* value, EncoderOptions& o, EncoderLog& log) {
    switch (letter) {
        case 'B':
            o.compatibleBitrate = std::atoi(value);
            return true;
        case 'C':
            o.config = std::atoi(value);
            return true;
        case 'D':
            o.dynCrossLRChoice = 1;
            return true;
        case 'L':
            o.lfe = 1;
            return true;
        case 'P':
            o.mcPredictionOn = 1;
            return true;
        case 'a':
            o.ancillaryText = 1;
            return true;
        case 'b':
            o.totalBitrate = std::atoi(value);
            if (o.compatibleBitrate >= o.totalBitrate) o.compatibleBitrate = o.totalBitrate;
            return true;
        case 'c':
            o.copyright = 1;
            return true;
        case 'd':
            switch (value[0]) {
                case 'n':
                    o.emphasis = 0;
                    return true;
                case '5':
                    o.emphasis = 1;
                    return true;
                case 'c':
                    o.emphasis = 3;
                    return true;
                default:
                    log.Error(FormatText("%s: -d emp must be n/5/c not %s\n", kProgramName, value));
                    return false;
            }
        case 'e':
            o.errorProtection = 1;
            return true;
        case 'k':
            o.tcAllocChoice = std::atoi(value);
            return true;
        case 'l':
            o.layer = std::atoi(value);
            if (o.layer == 1 || o.layer == 2) return true;
            log.Error(FormatText("%s: -l layer must be 1 or 2, not %s\n", kProgramName, value));
            return false;
        case 'm': {
            static constexpr const char kModes[] = "sjdmn";  // codes 0..4
            const char* found = value[0] != '\0' ? std::strchr(kModes, value[0]) : nullptr;
            if (found == nullptr) {
                log.Error(FormatText("%s: -m mode must be s/d/j/m not %s\n", kProgramName, value));
                return false;
            }
            o.mode = static_cast<int>(found - kModes);
            o.modeExt = 0;
            return true;
        }
        case 'n':
            o.nAdBytes = std::atoi(value);
            return true;
        case 'o':
            o.original = 1;
            return true;
        case 'r': {
            const long hz = static_cast<long>(std::atof(value) * 1000.0);
            const int code = SmpFrqIndex(hz);
            if (code < 0) {
                log.Error(FormatText("SmpFrqIndex: %ld is not a legal sample rate\n", hz));
                return false;
            }
            o.samplingFrequency = code;
            return true;
        }
        case 'v':
            o.verbosity = std::atoi(value);
            return true;
        case 'w':
            o.centerLimited = 1;
            return true;
        case 'x':
            o.dematrixProcedure = o.dematrixChoice = std::atoi(value);
            if (o.dematrixChoice == 3) o.tcAllocChoice = 0;
            return true;
        case 'y':
            o.dynCrossChoice = std::atoi(value);
            return true;
        default:
            log.Error(FormatText("%s: unrec option %c\n", kProgramName, letter));
            return false;
    }
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, EncoderOptions& o, EncoderLog& log) {
    bool ok = true;
    int paths = 0;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (word[0] == '-' && word[1] != '\0') {
            for (const char* p = word + 1; *p != '\0'; ++p) {
                const char letter = *p;
                if (!TakesValue(letter)) {
                    ok = ApplyOption(letter, "", o, log) && ok;
                    continue;
                }
                const char* value = "";
                if (p[1] != '\0') {
                    value = p + 1;
                } else if (i + 1 < argc) {
                    value = argv[++i];
                }
                ok = ApplyOption(letter, value, o, log) && ok;
                break;
            }
            continue;
        }
        if (paths == 0) {
            o.inputPath = word;
        } else if (paths == 1) {
            o.outputPath = word;
        } else {
            log.Error(FormatText("%s: excess arg %s\n", kProgramName, word));
            ok = false;
        }
        ++paths;
    }
    return ok && paths > 0;
}

EncoderSettings SettingsFromOptions(const EncoderOptions& o) {
    EncoderSettings settings;
    settings.sampleRate = static_cast<int>(SampleRateOfCode(o.samplingFrequency));
    settings.bitrateKbps = o.compatibleBitrate;
    settings.totalBitrateKbps = o.totalBitrate;
    settings.ancillaryBytes = o.nAdBytes;
    settings.ancillaryText = o.ancillaryText != 0;
    settings.dematrixChoice = o.dematrixChoice;
    settings.tcAllocChoice = o.tcAllocChoice;
    settings.dynCrossChoice = o.dynCrossChoice;
    settings.verbosity = o.verbosity;
    // Without a configuration the stream is the full 5.1; with one, -L adds the LFE.
    if (o.config != 0) {
        settings.channels.front = o.config / kConfigFront;
        settings.channels.surround =
            o.config % kConfigSurround == 0 ? o.config % kConfigFront / kConfigSurround : -1;
        settings.channels.lfe = o.lfe != 0;
    }
    return settings;
}

}  // namespace tavrisk::mp2
