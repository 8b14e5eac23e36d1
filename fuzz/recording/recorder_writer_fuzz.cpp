// Frames of any form, size, time and flags written as the recorder writes them (through its
// queue, several waiting at a time), on a disk that may fill up: the file read back is always sound
// and holds exactly the records written.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "media/dvr_verify.h"
#include "media/dvr_writer.h"
#include "media/record_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvel::media;
    orvel::fuzz::Input in{data, size};
    const bool dual = in.byte() & 1;
    MemoryRecordSink sink;
    const uint32_t limit = in.u32();
    if (limit & 1) sink.limit_bytes = kDualHeaderBlockBytes + (limit >> 8) % 200000;
    uint8_t header[kStreamHeaderBytes];
    for (uint8_t& b : header) b = in.byte();
    store_u32(header + 24, dual ? kMarkerDual : 0);
    DvrFileWriter writer;
    RecordQueue queue(64 << 10, 1024);
    if (!writer.begin(sink, header)) return 0;

    const std::size_t head = dual ? kDualRecordHeaderBytes : kStdRecordHeaderBytes;
    // Frames wait in the queue in batches of 1 to 8 (so the ring holds several and wraps with
    // items in it), then are written in order.
    const std::size_t batch = 1 + (header[0] & 7);
    std::vector<std::size_t> queued_sizes;
    std::vector<uint8_t> frame;
    uint64_t expected_records = 0;
    bool failed = false;
    auto drain = [&] {
        for (const std::size_t expected_size : queued_sizes) {
            QueueItem item;
            if (!queue.front(item) || item.size != expected_size) __builtin_trap();
            const DvrRecordHeader r = parse_record_header(item.bytes, dual);
            bool ok = true;
            switch (frame_role(item.bytes, dual)) {
                case FrameRole::video:
                    ok = writer.write_video(item.bytes, item.size, r.time_ms);
                    if (ok && !failed) ++expected_records;
                    break;
                case FrameRole::audio: {
                    const std::size_t blocks = (item.size - head) / kAudioRecordBytes;
                    ok = writer.write_audio(item.bytes, item.size);
                    if (ok && !failed) expected_records += blocks > 6 ? 6 : blocks;
                    break;
                }
                case FrameRole::skipped:
                    break;
            }
            queue.pop();
            failed = failed || !ok;
        }
        queued_sizes.clear();
        QueueItem none;
        if (queue.front(none)) __builtin_trap();
    };
    for (int n = 0; n < 200 && !in.done(); ++n) {
        const uint8_t flags = in.byte();
        const uint32_t time = in.u32();
        const std::size_t length = (in.byte() | (in.byte() << 8)) % 4000;
        frame.assign(head + length, static_cast<uint8_t>(n));
        frame[0] = flags;
        if (dual) {
            store_u32(frame.data() + 4, static_cast<uint32_t>(length));
            store_u32(frame.data() + 8, time);
        } else {
            store_u16(frame.data() + 2, static_cast<uint16_t>(length));
            store_u32(frame.data() + 4, time);
        }
        if (!queue.push(QueueItemKind::frame, n, frame.data(), frame.size())) {
            drain();
            if (!queue.push(QueueItemKind::frame, n, frame.data(), frame.size())) __builtin_trap();
        }
        queued_sizes.push_back(frame.size());
        if (queued_sizes.size() >= batch) drain();
    }
    drain();
    if (!writer.finish()) __builtin_trap();
    MemoryDvrSource source(sink.bytes().data(), sink.bytes().size());
    const VerifyReport r = verify_dvr(source);
    if (r.verdict != VerifyVerdict::sound || r.records != expected_records) __builtin_trap();
    return 0;
}
