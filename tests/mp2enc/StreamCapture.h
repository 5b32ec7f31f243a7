#pragma once

#include <cstdio>
#include <string>

namespace tavrisk::mp2::test {

// A temporary stream that collects what the encoder prints on it.
class StreamCapture {
  public:
    StreamCapture() : file(std::tmpfile()) {}
    ~StreamCapture() { std::fclose(file); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::FILE* stream() { return file; }
    std::string text() {
        std::fflush(file);
        std::rewind(file);
        std::string out;
        for (int c; (c = std::fgetc(file)) != EOF;) out.push_back(static_cast<char>(c));
        return out;
    }

  private:
    std::FILE* file;
};

}  // namespace tavrisk::mp2::test
