// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dsp/SampleBlock.h"
#include "engines/OutputEngine.h"
#include "host/JobHost.h"
#include "platform/RiffFile.h"
#include "platform/WavWriter.h"

namespace tavrisk {

// Writes each of the six processed channels into its own file in the output folder:
// stream_l, stream_r, stream_c, stream_lfe, stream_ls and stream_rs, as mono 16-bit WAV
// files (WAV mode) or as headerless little-endian 16-bit PCM (PCM mode). The folder is
// created when missing; when a file cannot be created, the files (and the folder) this job
// created so far are removed. A stopped or failed job keeps its files by the rule of
// OutputEnd, file by file: stream_l.partial.wav beside an earlier stream_l.wav, say.
class MonoFilesEngine : public OutputEngine {
  public:
    static constexpr int kFiles = 6;
    static constexpr std::array<const char*, kFiles> kChannelNames = {"l",   "r",  "c",
                                                                      "lfe", "ls", "rs"};

    MonoFilesEngine(JobHost& host, bool wavMode);

    bool Init(const JobSettings& settings) override;
    bool Finish() override;
    bool EncodeBlock() override { return true; }
    bool FetchBlock() override;

    // The path of file k for an output folder, as "<folder>/stream_<name>.<ext>".
    static std::string FilePath(const std::string& folder, int k, bool wavMode);

  private:
    bool CreateFile(int k, int rate);
    bool WriteFile(int k, const uint8_t* bytes, std::size_t count);
    // Closes file k, kept under the name `end` chooses for it.
    bool CloseFile(int k, OutputEnd end);
    // Drops every file of the job, and the folder when the job created it.
    void DiscardFiles();

    JobHost& host;
    bool wavMode;
    bool createdFolder = false;
    bool wroteBlock = false;
    std::string folder;
    std::array<std::string, kFiles> paths;
    std::array<WavWriter, kFiles> wavFiles;
    std::array<RiffFile, kFiles> rawFiles;
    SampleBlock block;
    std::array<uint8_t, SampleBlock::kFrames * WavWriter::kBytesPerSample> row{};
};

}  // namespace tavrisk
