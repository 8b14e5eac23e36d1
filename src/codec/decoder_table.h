#pragma once
// The process-wide table of video decoders, addressed by small integer handles.
//
// A handle is 0 to 127; -1 means "no decoder". Creation, destruction and shutdown are
// serialised by the table's lock and may run on any thread; decoder_decode takes no lock and
// runs on the one thread that owns the handle. "Owns" means: calls for one handle never
// overlap and are ordered one after the other (a pane's pipeline may run them on different
// threads of its pool, one frame at a time). Handles outside 0..127 are treated as free
// slots.
#include <cstdint>

#include "codec/video_decoder.h"

namespace orvel::codec {

inline constexpr int kDecoderSlots = 128;

// Builds a decoder instance for a type value (not yet opened); nullptr when allocation fails.
using DecoderFactory = VideoDecoder* (*)(int type, int width, int height);

// The built-in factory: 1 -> Mpeg4LibDecoder, 2 -> Codec4321Decoder, anything else ->
// XvidDecoder. Any thread.
VideoDecoder* make_decoder(int type, int width, int height);

// Start-up, once, before any other call (UI thread): detects the processor's features, builds
// the shared tables of the type-2 codec and empties the table. Calling it again without a
// shutdown in between does nothing.
void decoder_table_init();

// Creates and opens a decoder; returns its handle, or -1 when the table is full, the table is
// not initialised, allocation fails, open fails, or the size is negative or beyond the
// program's picture limit (codec/picture_limits.h; a zero side means "unknown" and is allowed).
// Any thread.
int decoder_create(int type, int width, int height);

// Decodes one compressed buffer into `output` through the instance of `handle`. Returns the
// type's result (0 or less: no picture written); -1 for a free or out-of-range handle, a null
// pointer or a negative length. Only on the thread that owns the handle.
int decoder_decode(int handle, int length, const uint8_t* data, uint8_t* output);

// Like decoder_decode, but shows the picture through `picture` (the decoder's own planes,
// valid until the handle's next call) instead of writing YUY2; kNoPlanarOutput when the
// handle's type cannot, in which case nothing was decoded. Owner thread of the handle.
int decoder_decode_planar(int handle, int length, const uint8_t* data, PlanarPicture* picture);

// Size of the pictures the stream carries as the decoder of `handle` last saw it; false when
// unknown (free handle, nothing decoded yet, or a type that does not tell). A stream whose
// pictures differ from the size the decoder was created with is cropped or padded by the
// decoder, never written past its buffer. Only on the thread that owns the handle.
bool decoder_stream_size(int handle, int* width, int* height);

// Destroys the instance of `handle` and frees the slot; a free slot is left alone. Any thread,
// never while the owner decodes with the handle.
void decoder_destroy(int handle);

// Exit, once (UI thread): destroys every live instance in slot order. Afterwards creation
// returns -1 until decoder_table_init runs again.
void decoder_table_shutdown();

// Number of instances created and not yet destroyed. Any thread.
int decoder_live_count();

// Test hook: replaces the factory used by decoder_create; nullptr restores make_decoder.
// Any thread, but not while another thread creates.
void decoder_table_set_factory(DecoderFactory factory);

}  // namespace orvel::codec
