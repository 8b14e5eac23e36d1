#pragma once
// Process-wide allocator settings for streaming.
//
// The video decoders' libraries take and give back picture-sized buffers as they decode.
// With the allocator's defaults, freed memory at the top of a worker thread's heap goes back
// to the system at once and the next picture faults it in again, page by page, every frame.
// Keeping freed memory (it is reused by the next picture) costs a few megabytes and saves
// that work. Call once at start-up, before any other thread exists (UI thread).
namespace orvel::platform {

void tune_allocator_for_streaming();

}  // namespace orvel::platform
