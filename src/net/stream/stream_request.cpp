#include "net/stream/stream_request.h"

#include <algorithm>
#include <cstring>

#include "media/byte_order.h"

namespace orvel::net {
using media::store_u16;
using media::store_u32;

StreamRequest build_stream_request(int32_t channel) {
    StreamRequest r{};
    store_u16(&r[2], static_cast<uint32_t>(channel) & 0xFFFF);
    store_u32(&r[4], static_cast<uint32_t>(channel));
    return r;
}

FileRequest build_file_request(bool fast_play, int32_t start_seconds, std::string_view path) {
    FileRequest r{};
    store_u16(&r[0], fast_play ? 2 : 0);
    store_u32(&r[8], static_cast<uint32_t>(start_seconds));
    const size_t n = std::min(path.size(), static_cast<size_t>(kFileRequestPathBytes - 1));
    std::memcpy(&r[12], path.data(), n);
    return r;
}

}  // namespace orvel::net
