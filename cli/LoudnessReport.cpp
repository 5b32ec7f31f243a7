// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LoudnessReport.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace tavrisk {

namespace {

constexpr const char* kColumnNames[LoudnessFigures::kChannels] = {"L", "R", "C", "LFE", "LS", "RS"};

std::string Number(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string Figures(const LoudnessFigures& figures) {
    std::string peaks;
    for (int c = 0; c < LoudnessFigures::kChannels; ++c) {
        peaks += std::string(c ? ", " : "") + "\"" + kColumnNames[c] +
                 "\": " + Number(figures.truePeakDbtp[c]);
    }
    return "{\"integrated_lufs\": " + Number(figures.integratedLufs) +
           ", \"range_lu\": " + Number(figures.rangeLu) +
           ", \"true_peak_dbtp\": " + Number(figures.TruePeakDbtp()) +
           ", \"channel_true_peaks_dbtp\": {" + peaks + "}}";
}

std::string Normalization(const JobLoudness& job) {
    if (!job.gain) return "null";
    const LoudnessGain& gain = *job.gain;
    return "{\"kind\": \"loudness\", \"target_lufs\": " + Number(job.normalization.targetLufs) +
           ", \"true_peak_ceiling_dbtp\": " + Number(job.normalization.ceilingDbtp) +
           ", \"gain_db\": " + Number(gain.gainDb) +
           ", \"reached_lufs\": " + Number(gain.reachedLufs) +
           ", \"limited_by_ceiling\": " + (gain.limitedByCeiling ? "true" : "false") + "}";
}

}  // namespace

std::string LoudnessReport::Json(const std::vector<JobLoudness>& jobs) {
    std::string json = "{\"jobs\": [";
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const JobLoudness& job = jobs[i];
        json += std::string(i ? "," : "") + "\n  {\"input\": " + Quoted(job.inputName) +
                ", \"output\": " + (job.output ? Quoted(job.outputName) : "null") +
                ",\n   \"input_loudness\": " + Figures(job.input) +
                ",\n   \"output_loudness\": " + (job.output ? Figures(*job.output) : "null") +
                ",\n   \"normalization\": " + Normalization(job) + "}";
    }
    return json + "\n]}\n";
}

std::string LoudnessReport::TruePeakLine(const LoudnessFigures& figures) {
    std::string line = "True peaks:";
    for (int c = 0; c < LoudnessFigures::kChannels; ++c) {
        line += std::string(c ? ", " : " ") + kColumnNames[c] + " " +
                FormatLevel(figures.truePeakDbtp[c]);
    }
    return line + " dBTP";
}

bool LoudnessReport::Write(const std::string& path, const std::vector<JobLoudness>& jobs,
                           std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file << Json(jobs);
    if (file) file.close();
    if (!file) {
        error = "cannot write the report '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace tavrisk
