#include "mp2enc/Mp2Engine.h"

#include <atomic>

#include "mp2enc/EncoderOptions.h"

namespace tavrisk::mp2 {
namespace {

constexpr const char* kDefaultExtension = ".mpg";

std::atomic<bool> frameCounterAllowed{true};

}  // namespace

Mp2Engine::Mp2Engine(TranscoderDialog& window) : block(std::make_unique<SampleBlock>()) {
    (void)window;
}

Mp2Engine::~Mp2Engine() = default;

void Mp2Engine::SetFrameCounterAllowed(bool allowed) {
    frameCounterAllowed = allowed;
}

void Mp2Engine::SetStreams(std::FILE* out, std::FILE* err) {
    outStream = out;
    errStream = err;
    encoder.setStreams(out, err);
}

bool Mp2Engine::Init(int argc, const char* const* argv) {
    EncoderOptions options;
    if (!parseOptions(argc, argv, options, errStream)) return false;
    inputPath = options.inputPath;
    outputPath = options.outputPath;
    if (outputPath.empty() || outputPath == inputPath) outputPath = inputPath + kDefaultExtension;
    if (!frameCounterAllowed) encoder.setShowFrameCounter(false);
    if (!encoder.configure(options)) return false;

    inputFile.reset(std::fopen(inputPath.c_str(), "rb"));
    if (!inputFile) {
        std::fprintf(outStream, "Could not find \"%s\".\n", inputPath.c_str());
        return false;
    }
    if (!source || !source->Open(inputPath)) {
        inputFile.reset();
        return false;
    }
    if (!encoder.openOutput(outputPath)) {
        source->Close();
        inputFile.reset();
        return false;
    }
    outputOpen = true;
    return true;
}

bool Mp2Engine::FetchBlock() {
    return source && source->ReadBlock(*block);
}

bool Mp2Engine::EncodeBlock() {
    if (encoder.encodeFrame(*block)) return true;
    std::fprintf(errStream, "Could not write \"%s\".\n", outputPath.c_str());
    failed = true;
    return false;
}

bool Mp2Engine::Finish() {
    if (outputOpen) {
        outputOpen = false;
        if (!encoder.finish(inputPath, outputPath) && !failed) {
            std::fprintf(errStream, "Could not write \"%s\".\n", outputPath.c_str());
            failed = true;
        }
    }
    if (!inputFile) return !failed;  // not initialised, or finished already
    if (source) source->Close();
    if (std::fclose(inputFile.release()) != 0) {
        std::fprintf(outStream, "Could not close \"%s\".\n", inputPath.c_str());
        return false;
    }
    return !failed;
}

}  // namespace tavrisk::mp2
