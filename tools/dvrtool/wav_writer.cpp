#include "wav_writer.h"

#include "media/dvr_file.h"

namespace orvel::tools {

namespace {
constexpr uint32_t kRate = 8000;
}

WavWriter::~WavWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool WavWriter::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr && write_header();
}

bool WavWriter::write_header() {
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    const uint32_t data_bytes = static_cast<uint32_t>(samples_ * 2);
    media::store_u32(h + 4, 36 + data_bytes);
    media::store_u32(h + 16, 16);
    media::store_u16(h + 20, 1);  // PCM
    media::store_u16(h + 22, 1);  // mono
    media::store_u32(h + 24, kRate);
    media::store_u32(h + 28, kRate * 2);
    media::store_u16(h + 32, 2);
    media::store_u16(h + 34, 16);
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    media::store_u32(h + 40, data_bytes);
    return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

bool WavWriter::write(const int16_t* samples, std::size_t count) {
    uint8_t bytes[2048];
    while (count > 0 && !failed_) {
        const std::size_t n = count < 1024 ? count : 1024;
        for (std::size_t i = 0; i < n; ++i) {
            media::store_u16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));
        }
        if (std::fwrite(bytes, 2, n, file_) != n) {
            failed_ = true;
        }
        samples += n;
        count -= n;
        samples_ += n;
    }
    return !failed_;
}

bool WavWriter::finish() {
    if (file_ == nullptr) {
        return false;
    }
    bool ok = !failed_ && std::fseek(file_, 0, SEEK_SET) == 0 && write_header();
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

}  // namespace orvel::tools
