// A stream-port request against the simulator's scenario (the request's 12 bytes, then
// scenario text): the channel it names, the settings of that camera and the header the
// connection would start with. The client's own parser must read that header back as sent
// and find a picture it can show (a simulator header the client refuses is a simulator bug).
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/picture_limits.h"
#include "media/stream_format.h"
#include "scenario.h"
#include "stream/stream_service.h"

namespace {

constexpr std::size_t kRequestBytes = 12;
constexpr std::size_t kMaxInputBytes = 4096;

// The entry points under test; retarget here when they move.
int32_t channel_of(const uint8_t* request) { return dvrsim::requested_channel(request); }
dvrsim::StreamHeaderBytes header_of(const dvrsim::StreamSettings& s, int channel) {
    return dvrsim::stream_header_for(s, channel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kRequestBytes || size > kMaxInputBytes) return 0;
    dvrsim::Scenario scenario;
    std::string error;
    dvrsim::load_scenario_text(
        std::string(reinterpret_cast<const char*>(data + kRequestBytes), size - kRequestBytes),
        scenario, error);
    const int32_t channel = channel_of(data);
    if (channel < 1 || channel > scenario.camera_count()) return 0;
    const dvrsim::StreamSettings& settings = scenario.stream.settings_for(channel);
    const dvrsim::StreamHeaderBytes header = header_of(settings, channel);
    const orvel::media::DvrHeader read = orvel::media::parse_stream_header(header.data());
    // A scenario may make the header lie about the size on purpose ("header WxH").
    const bool lying = settings.header_width > 0;
    const int sent_width = lying ? settings.header_width : settings.width;
    const int sent_height = lying ? settings.header_height : settings.height;
    if (read.width != static_cast<uint32_t>(sent_width) ||
        read.height != static_cast<uint32_t>(sent_height) ||
        read.codec_marker != dvrsim::marker_for(settings))
        __builtin_trap();
    const bool dual = settings.kind == dvrsim::StreamKind::dual;
    if (dual && read.stream_id != dvrsim::stream_id_for(channel)) __builtin_trap();
    // The client picks its decoder from the marker and sizes its buffers from the header.
    if (read.dual() != dual) __builtin_trap();
    if (read.decoder_type() != (dual ? 0 : read.codec_marker == orvel::media::kMarker4321 ? 2 : 1))
        __builtin_trap();
    if (!lying && !orvel::codec::picture_size_supported(read.width, read.height))
        __builtin_trap();
    return 0;
}
