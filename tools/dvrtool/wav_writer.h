#pragma once
// A minimal writer of 8000 Hz mono 16-bit PCM WAV files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orvel::tools {

class WavWriter {
public:
    ~WavWriter();
    bool open(const std::string& path);
    bool write(const int16_t* samples, std::size_t count);
    // Fills in the sizes in the header and closes the file.
    bool finish();
    std::size_t samples() const { return samples_; }

private:
    bool write_header();
    std::FILE* file_ = nullptr;
    std::size_t samples_ = 0;
    bool failed_ = false;
};

}  // namespace orvel::tools
