#include "codec/g721.h"

#include <cstdlib>

namespace orvel::codec {

namespace {

// Quantiser tables of the G.721 standard, indexed by the code's magnitude |I| (0..7): the
// log2 of the normalised reconstruction level, the scale factor multiplier W(I) and the
// speed-control function F(I).
constexpr int16_t kDqln[8] = {-2048, 4, 135, 213, 273, 323, 373, 425};
constexpr int16_t kW[8] = {-12, 18, 41, 64, 112, 198, 355, 1122};
constexpr int16_t kF[8] = {0, 0, 0, 1, 1, 1, 3, 7};

// Number of significant bits of a non-negative value, at most 15.
int bit_length(int value) {
    int bits = 0;
    while (bits < 15 && value >= (1 << bits)) {
        ++bits;
    }
    return bits;
}

// Multiplies a predictor coefficient by a signal held in the 11-bit floating form
// (sign, 4-bit exponent, 6-bit mantissa).
int float_multiply(int coefficient, int signal) {
    const int magnitude = coefficient > 0 ? coefficient : ((-coefficient) & 0x1FFF);
    const int exponent = bit_length(magnitude) - 6;
    const int mantissa = magnitude == 0  ? 32
                         : exponent >= 0 ? magnitude >> exponent
                                         : magnitude << -exponent;
    const int product_exponent = exponent + ((signal >> 6) & 0xF) - 13;
    const int product_mantissa = (mantissa * (signal & 0x3F) + 0x30) >> 4;
    const int product = product_exponent >= 0 ? (product_mantissa << product_exponent) & 0x7FFF
                                              : product_mantissa >> -product_exponent;
    return ((coefficient ^ signal) < 0) ? -product : product;
}

// Converts a signed linear value into the floating form (the standard's FLOAT A / FLOAT B).
int16_t to_float_form(int value) {
    if (value == 0) {
        return 0x20;
    }
    if (value > 0) {
        const int exponent = bit_length(value);
        return static_cast<int16_t>((exponent << 6) + ((value << 6) >> exponent));
    }
    if (value > -32768) {
        const int magnitude = -value;
        const int exponent = bit_length(magnitude);
        return static_cast<int16_t>((exponent << 6) + ((magnitude << 6) >> exponent) - 0x400);
    }
    return static_cast<int16_t>(0xFC20);
}

int zero_predictor(const G721State& s) {
    int sum = 0;
    for (int i = 0; i < 6; ++i) {
        sum += float_multiply(s.b[i] >> 2, s.dq[i]);
    }
    return sum;
}

int pole_predictor(const G721State& s) {
    return float_multiply(s.a[1] >> 2, s.sr[1]) + float_multiply(s.a[0] >> 2, s.sr[0]);
}

// Mixes the fast and slow scale factors by the speed control.
int step_size(const G721State& s) {
    if (s.ap >= 256) {
        return s.yu;
    }
    int y = s.yl >> 6;
    const int difference = s.yu - y;
    const int speed = s.ap >> 2;
    if (difference > 0) {
        y += (difference * speed) >> 6;
    } else if (difference < 0) {
        y += (difference * speed + 0x3F) >> 6;
    }
    return y;
}

// Inverse adaptive quantiser: the quantised difference in sign-magnitude form (bit 15 = sign).
int reconstruct(bool negative, int dqln, int y) {
    const int dql = dqln + (y >> 2);
    if (dql < 0) {
        return negative ? -0x8000 : 0;
    }
    const int exponent = (dql >> 7) & 15;
    const int mantissa = 128 + (dql & 127);
    const int dq = (mantissa << 7) >> (14 - exponent);
    return negative ? dq - 0x8000 : dq;
}

void update(G721State& s, int y, int wi, int fi, int dq, int sr, int dqsez) {
    const int pk0 = dqsez < 0 ? 1 : 0;
    const int magnitude = dq & 0x7FFF;

    // Transition detection.
    const int yl_integer = s.yl >> 15;
    const int yl_fraction = (s.yl >> 10) & 0x1F;
    const int threshold1 = (32 + yl_fraction) << yl_integer;
    const int threshold2 = yl_integer > 9 ? 31 << 10 : threshold1;
    const int dq_threshold = (threshold2 + (threshold2 >> 1)) >> 1;
    const bool transition = s.td != 0 && magnitude > dq_threshold;

    // Quantiser scale factor adaptation.
    int yu = y + ((wi - y) >> 5);
    if (yu < 544) {
        yu = 544;
    }
    if (yu > 5120) {
        yu = 5120;
    }
    s.yu = static_cast<int16_t>(yu);
    s.yl += s.yu + ((-s.yl) >> 6);

    int a2p = 0;
    if (transition) {
        s.a[0] = s.a[1] = 0;
        for (int16_t& b : s.b) {
            b = 0;
        }
    } else {
        // Second pole coefficient.
        const int pks1 = pk0 ^ s.pk[0];
        a2p = s.a[1] - (s.a[1] >> 7);
        if (dqsez != 0) {
            const int fa1 = pks1 ? s.a[0] : -s.a[0];
            if (fa1 < -8191) {
                a2p -= 0x100;
            } else if (fa1 > 8191) {
                a2p += 0xFF;
            } else {
                a2p += fa1 >> 5;
            }
            if (pk0 ^ s.pk[1]) {
                if (a2p <= -12160) {
                    a2p = -12288;
                } else if (a2p >= 12416) {
                    a2p = 12288;
                } else {
                    a2p -= 0x80;
                }
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p += 0x80;
            }
        }
        s.a[1] = static_cast<int16_t>(a2p);

        // First pole coefficient, limited by the second.
        int a1 = s.a[0] - (s.a[0] >> 8);
        if (dqsez != 0) {
            a1 += pks1 == 0 ? 192 : -192;
        }
        const int a1_limit = 15360 - a2p;
        if (a1 < -a1_limit) {
            a1 = -a1_limit;
        }
        if (a1 > a1_limit) {
            a1 = a1_limit;
        }
        s.a[0] = static_cast<int16_t>(a1);

        // Zero coefficients.
        for (int i = 0; i < 6; ++i) {
            int b = s.b[i] - (s.b[i] >> 8);
            if (magnitude != 0) {
                b += ((dq ^ s.dq[i]) >= 0) ? 128 : -128;
            }
            s.b[i] = static_cast<int16_t>(b);
        }
    }

    for (int i = 5; i > 0; --i) {
        s.dq[i] = s.dq[i - 1];
    }
    if (magnitude == 0) {
        s.dq[0] = static_cast<int16_t>(dq >= 0 ? 0x20 : 0xFC20);
    } else {
        const int exponent = bit_length(magnitude);
        const int form = (exponent << 6) + ((magnitude << 6) >> exponent);
        s.dq[0] = static_cast<int16_t>(dq >= 0 ? form : form - 0x400);
    }

    s.sr[1] = s.sr[0];
    s.sr[0] = to_float_form(sr);

    s.pk[1] = s.pk[0];
    s.pk[0] = static_cast<int16_t>(pk0);

    // Tone detection.
    s.td = (!transition && a2p < -11776) ? 1 : 0;

    // Adaptation speed control.
    s.dms = static_cast<int16_t>(s.dms + ((fi - s.dms) >> 5));
    s.dml = static_cast<int16_t>(s.dml + (((fi << 2) - s.dml) >> 7));
    if (transition) {
        s.ap = 256;
    } else if (y < 1536 || s.td == 1 || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3)) {
        s.ap = static_cast<int16_t>(s.ap + ((0x200 - s.ap) >> 4));
    } else {
        s.ap = static_cast<int16_t>(s.ap + ((-s.ap) >> 4));
    }
}

}  // namespace

G721State g721_standard_reset_state() {
    G721State s;
    s.yl = 34816;
    s.yu = 544;
    for (int16_t& v : s.dq) {
        v = 32;
    }
    for (int16_t& v : s.sr) {
        v = 32;
    }
    return s;
}

int16_t g721_decode_code(G721State& s, unsigned code) {
    code &= 0x0F;
    const bool negative = (code & 0x08) != 0;
    const unsigned level = negative ? (15 - code) : code;

    const int sezi = zero_predictor(s);
    const int sez = sezi >> 1;
    const int se = (sezi + pole_predictor(s)) >> 1;
    const int y = step_size(s);
    const int dq = reconstruct(negative, kDqln[level], y);
    const int sr = dq < 0 ? se - (dq & 0x3FFF) : se + dq;
    const int dqsez = sr - se + sez;
    update(s, y, kW[level] << 5, kF[level] << 9, dq, sr, dqsez);
    return static_cast<int16_t>(sr * 4);
}

std::size_t audio_decode(AudioDecoderState& state, int16_t* output, const uint8_t* input,
                         std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        output[2 * i] = g721_decode_code(state.codec, input[i] & 0x0F);
        output[2 * i + 1] = g721_decode_code(state.codec, input[i] >> 4);
    }
    return 4 * count;
}

void audio_decode_block(AudioDecoderState& state) {
    audio_decode(state, state.output, state.input, kAudioBlockBytes);
}

}  // namespace orvel::codec
