#include "tools/sound/demo_tune.h"

#include <cmath>
#include <cstdint>

namespace tools {

namespace {

constexpr int CYCLE = 32;      // frames of one period: note 0x40 plays at c5 / 32
constexpr int ROWS = 64;
constexpr int BAR = 16;         // rows of a bar

enum Sample { SQUARE = 1, SINE, PAD, DRUM, HAT };
enum Channel { BASS, LEAD, HARMONY, DRUMS };

ModuleSample looped(std::vector<int> frames, int volume)
{
    ModuleSample s;
    s.loop_end = static_cast<int>(frames.size());
    s.frames = std::move(frames);
    s.loop = true;
    s.volume = volume;
    return s;
}

std::vector<int> square_cycle()
{
    std::vector<int> f;
    for (int i = 0; i < CYCLE; ++i) {
        f.push_back(i < CYCLE / 2 ? 48 : -48);
    }
    return f;
}

// A sine with a little of its second and third harmonic.
std::vector<int> sine_cycle(double second, double third)
{
    std::vector<int> f;
    for (int i = 0; i < CYCLE; ++i) {
        const double a = 2.0 * M_PI * i / CYCLE;
        const double v = std::sin(a) + second * std::sin(2.0 * a) + third * std::sin(3.0 * a);
        f.push_back(static_cast<int>(std::lround(v / (1.0 + second + third) * 100.0)));
    }
    return f;
}

// A decaying burst of noise from a fixed seed, lowered in pitch for the drum.
ModuleSample noise_hit(int frames, double decay, double low_pass, uint32_t seed)
{
    ModuleSample s;
    double state = 0.0;
    for (int i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double white = static_cast<double>(static_cast<int32_t>(seed) >> 16) / 32768.0;
        state += (white - state) * low_pass;
        const double body = std::sin(2.0 * M_PI * i * 60.0 / 8363.0) * (low_pass < 0.5 ? 0.8 : 0.0);
        const double v = (state + body) * std::exp(-decay * i / frames) * 110.0;
        s.frames.push_back(static_cast<int>(std::lround(std::fmax(-127.0, std::fmin(127.0, v)))));
    }
    s.volume = 56;
    return s;
}

// S3M notes: octave in the high nibble, semitone in the low one.
int note(int octave, int semitone) { return (octave << 4) | semitone; }

// The chord roots of the four bars of a pattern, in semitones above A:
// A minor, F, C, G.
constexpr int ROOTS[4] = {0, 8, 3, 10};

// A semitone above A in the given octave, as an S3M note.
int from_a(int octave, int semis)
{
    const int n = 9 + semis; // A is semitone 9
    return note(octave + n / 12, n % 12);
}

void put(ModulePattern& p, int row, int channel, int n, int instrument, int volume = -1)
{
    ModuleCell& c = p.at(row, channel);
    c.note = n;
    c.instrument = instrument;
    c.volume = volume;
}

ModulePattern verse(int variation)
{
    ModulePattern p;
    p.rows = ROWS;
    // The lead's melody in semitones above A (octave 4), -1 for a rest, a step
    // a row pair.
    static const int melody[2][32] = {
        {12, -1, 15, -1, 19, -1, 17, 15, 12, -1, 8, -1, 12, -1, 15, -1,
         19, -1, 22, -1, 19, 17, 15, -1, 14, -1, 15, -1, 17, -1, 10, -1},
        {24, -1, 22, -1, 19, -1, 17, -1, 20, -1, 19, 17, 15, -1, 12, -1,
         15, -1, 17, 19, 22, -1, 19, -1, 17, -1, 15, -1, 14, -1, -1, -1},
    };
    for (int bar = 0; bar < ROWS / BAR; ++bar) {
        const int root = ROOTS[bar];
        const int r0 = bar * BAR;
        for (int k = 0; k < BAR; k += 4) {
            put(p, r0 + k, BASS, from_a(2, root + (k == 8 ? 7 : 0)), SQUARE, 40);
        }
        put(p, r0, HARMONY, from_a(3, root + (root == 0 || root == 10 ? 3 : 4)), PAD, 24);
        put(p, r0 + 8, HARMONY, from_a(3, root + 7), PAD, 20);
        for (int k = 0; k < BAR; k += 2) {
            const bool kick = k % 8 == 0;
            put(p, r0 + k, DRUMS, note(4, 0), kick ? DRUM : HAT, kick ? 60 : 28);
        }
    }
    for (int step = 0; step < 32; ++step) {
        const int semis = melody[variation][step];
        if (semis >= 0) {
            put(p, 2 * step, LEAD, from_a(4, semis), SINE, 44);
        }
    }
    return p;
}

} // namespace

ModuleSong demo_tune()
{
    ModuleSong song;
    song.name = "Ostrel demo";
    song.channels = 4;
    song.speed = 6;
    song.tempo = 132;
    song.global_volume = 56;
    song.samples = {
        looped(square_cycle(), 40),
        looped(sine_cycle(0.3, 0.1), 56),
        looped(sine_cycle(0.5, 0.4), 36),
        noise_hit(2400, 5.0, 0.15, 7u),
        noise_hit(700, 6.0, 0.9, 99u),
    };
    // The last pattern jumps back to the first order: the tune loops.
    ModulePattern last = verse(1);
    last.at(ROWS - 1, BASS).command = 2; // B: position jump
    last.at(ROWS - 1, BASS).param = 0;
    song.patterns = {verse(0), verse(1), last};
    song.orders = {0, 1, 0, 2};
    song.s3m_settings = {0, 8, 1, 9};
    song.s3m_panning_table = true;
    song.channel_panning = {0x20 | 6, 0x20 | 5, 0x20 | 10, 0x20 | 8};
    return song;
}

} // namespace tools
