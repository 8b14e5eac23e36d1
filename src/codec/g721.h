#pragma once
// G.721 ADPCM decoding (32 kbit/s, 4 bits per sample) of the speech that DVR channels carry.
//
// Each input byte holds two codes, the low nibble first. Each code yields the decoder's 14-bit
// reconstructed signal, multiplied by 4 to a 16-bit sample.
#include <cstddef>
#include <cstdint>

namespace orvel::codec {

// The decoder's adaptive state. The program starts it at all zeros (not the standard's reset
// values) and never resets it.
struct G721State {
    int32_t yl = 0;      // slow quantiser scale factor
    int16_t yu = 0;      // fast quantiser scale factor
    int16_t dms = 0;     // short-term mean of F(I)
    int16_t dml = 0;     // long-term mean of F(I)
    int16_t ap = 0;      // speed control
    int16_t a[2] = {};   // pole predictor coefficients
    int16_t b[6] = {};   // zero predictor coefficients
    int16_t pk[2] = {};  // signs of the partial signal estimate
    int16_t dq[6] = {};  // quantised differences, floating form
    int16_t sr[2] = {};  // reconstructed signal, floating form
    int8_t td = 0;       // tone detected
};

// The reset state of the standard (used by tests and tools to compare with reference
// decoders).
G721State g721_standard_reset_state();

// Decodes one 4-bit code (low 4 bits of `code`) and returns the 16-bit sample.
int16_t g721_decode_code(G721State& state, unsigned code);

inline constexpr std::size_t kAudioBlockBytes = 512;
inline constexpr std::size_t kAudioBlockSamples = 1024;

// The shared decoder state with its one input block and its decoded output.
struct AudioDecoderState {
    G721State codec;
    uint8_t input[kAudioBlockBytes] = {};
    int16_t output[kAudioBlockSamples] = {};
};

// Decodes the state's 512 input bytes into its 1024 output samples. Only on the thread of the
// pane being heard.
void audio_decode_block(AudioDecoderState& state);

// Decodes `count` bytes of `input` into 2 * count samples at `output`; returns 4 * count, the
// output's size in bytes. Same thread rule as above.
std::size_t audio_decode(AudioDecoderState& state, int16_t* output, const uint8_t* input,
                         std::size_t count);

}  // namespace orvel::codec
