#!/usr/bin/env python3
"""Synthesises the game's sound effects and its music as WAV files.

Usage: python3 content/sounds.py OUTDIR
Writes OUTDIR/{bell,menu,cash,freehat,window,footsteps,inflate}.wav (mono) and
OUTDIR/Brisklane.wav (stereo).  build.sh adds the "hey!" voice and encodes
everything to MP3.  Plain Python only (no numpy), with a fixed random seed so
that every run gives the same files.
"""
import array
import math
import os
import random
import sys
import wave

RATE = 44100
TAU = 2 * math.pi
rng = random.Random(1234)


# ------------------------------------------------------------------ helpers
def buf(seconds):
    return array.array("d", bytes(8 * int(seconds * RATE)))


def add(dst, src, at=0, gain=1.0):
    n = min(len(src), len(dst) - at)
    for i in range(max(0, n)):
        dst[at + i] += src[i] * gain


def tone(freq, seconds, partials=((1, 1.0),), attack=0.005, decay=None, sustain_to=None, vibrato=0.0, sweep_to=None):
    """A sum of sine partials with an exponential decay (decay = time constant in s)."""
    n = int(seconds * RATE)
    out = array.array("d", bytes(8 * n))
    phase = [0.0] * len(partials)
    for i in range(n):
        t = i / RATE
        f = freq if sweep_to is None else freq * (sweep_to / freq) ** (t / seconds)
        if vibrato:
            f *= 1 + vibrato * math.sin(TAU * 5.5 * t)
        env = min(1.0, t / attack) if attack > 0 else 1.0
        if decay:
            env *= math.exp(-t / decay)
        s = 0.0
        for k, (mult, amp) in enumerate(partials):
            phase[k] += TAU * f * mult / RATE
            s += amp * math.sin(phase[k])
        out[i] = s * env
    # a short fade at the end avoids a click
    fade = min(n, int(0.004 * RATE))
    for i in range(fade):
        out[n - 1 - i] *= i / fade
    return out


def noise(seconds, decay=None, attack=0.001):
    n = int(seconds * RATE)
    out = array.array("d", bytes(8 * n))
    for i in range(n):
        t = i / RATE
        env = min(1.0, t / attack) if attack > 0 else 1.0
        if decay:
            env *= math.exp(-t / decay)
        out[i] = (rng.random() * 2 - 1) * env
    return out


def lowpass(x, cutoff):
    a = 1 - math.exp(-TAU * cutoff / RATE)
    y = array.array("d", x)
    s = 0.0
    for i in range(len(x)):
        s += a * (x[i] - s)
        y[i] = s
    return y


def highpass(x, cutoff):
    lp = lowpass(x, cutoff)
    return array.array("d", (a - b for a, b in zip(x, lp)))


def bandpass(x, lo, hi):
    return lowpass(highpass(x, lo), hi)


def level(x, peak_db=-2.0, rms_db=-15.0):
    """Scale to a common loudness (RMS over the louder half of the sound), then
    keep the peak below peak_db."""
    win = int(0.02 * RATE)
    blocks = []
    for i in range(0, len(x) - win, win):
        blocks.append(sum(v * v for v in x[i:i + win]) / win)
    blocks.sort(reverse=True)
    loud = blocks[:max(1, len(blocks) // 2)]
    rms = math.sqrt(sum(loud) / len(loud)) or 1e-9
    g = 10 ** (rms_db / 20) / rms
    peak = max(abs(v) for v in x) * g
    limit = 10 ** (peak_db / 20)
    if peak > limit:
        g *= limit / peak
    return array.array("d", (v * g for v in x))


def write_wav(path, channels):
    n = len(channels[0])
    data = array.array("h", bytes(2 * n * len(channels)))
    for i in range(n):
        for c, ch in enumerate(channels):
            v = max(-1.0, min(1.0, ch[i]))
            data[i * len(channels) + c] = int(round(v * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


# ------------------------------------------------------------------ effects
def bell():
    """A shop-door bell: two bright strikes of an inharmonic bell."""
    out = buf(1.4)
    partials = ((1, 1.0), (2.76, 0.45), (5.40, 0.25), (8.93, 0.12))
    for at, f in ((0.0, 1318.5), (0.16, 1568.0)):
        add(out, tone(f, 1.2, partials, attack=0.002, decay=0.35), int(at * RATE))
    return out


def menu():
    """A soft click."""
    out = buf(0.08)
    add(out, bandpass(noise(0.03, decay=0.004), 800, 4000), 0, 0.8)
    add(out, tone(1800, 0.04, decay=0.008), 0, 0.5)
    return out


def cash():
    """A register: the drawer's clunk, then the ching."""
    out = buf(1.1)
    add(out, lowpass(noise(0.08, decay=0.02), 1800), 0, 0.9)
    add(out, tone(110, 0.12, decay=0.03), 0, 0.6)
    add(out, bandpass(noise(0.05, decay=0.01), 2000, 6000), int(0.09 * RATE), 0.5)
    partials = ((1, 1.0), (2.0, 0.5), (3.0, 0.3), (4.2, 0.2))
    add(out, tone(2093, 0.9, partials, attack=0.002, decay=0.22), int(0.12 * RATE), 0.8)
    add(out, tone(2637, 0.85, partials, attack=0.002, decay=0.2), int(0.17 * RATE), 0.7)
    return out


def freehat():
    """A pop, then a happy upward blip."""
    out = buf(0.4)
    add(out, bandpass(noise(0.03, decay=0.006), 300, 3000), 0, 1.0)
    add(out, tone(600, 0.05, sweep_to=200, decay=0.02), 0, 0.8)
    add(out, tone(500, 0.22, partials=((1, 1), (2, 0.3)), sweep_to=1400, decay=0.09, attack=0.004),
        int(0.035 * RATE), 0.7)
    return out


def window():
    """A sparkle: a quick rising arpeggio of glassy pings with shimmer."""
    out = buf(1.3)
    notes = (1046.5, 1318.5, 1568.0, 2093.0, 2637.0, 3136.0)
    partials = ((1, 1.0), (3.01, 0.18), (5.2, 0.06))
    for i, f in enumerate(notes):
        add(out, tone(f, 0.8, partials, attack=0.002, decay=0.18), int(i * 0.06 * RATE), 0.55)
    for i in range(14):
        at = 0.25 + rng.random() * 0.7
        f = rng.choice(notes[2:]) * 2
        add(out, tone(f, 0.25, attack=0.002, decay=0.05), int(at * RATE), 0.12)
    return out


def footsteps():
    """Four steps on the pavement, 1.6 s in all."""
    out = buf(1.6)
    for i in range(4):
        at = 0.04 + i * 0.39 + (0.015 if i % 2 else 0.0)
        heel = lowpass(noise(0.09, decay=0.018), 900 if i % 2 else 1100)
        add(out, heel, int(at * RATE), 1.0)
        add(out, tone(85 + (i % 2) * 10, 0.08, decay=0.02), int(at * RATE), 0.7)
        # the scuff of the sole rolling off
        add(out, bandpass(noise(0.07, decay=0.02, attack=0.01), 1500, 5000), int((at + 0.05) * RATE), 0.25)
    return out


def inflate():
    """A balloon filling: three puffs of air with a rising rubbery squeak."""
    out = buf(1.3)
    for k in range(3):
        at = k * 0.4
        hiss = bandpass(noise(0.34, attack=0.06), 800 + 500 * k, 5000)
        env = [math.sin(math.pi * i / len(hiss)) for i in range(len(hiss))]
        add(out, array.array("d", (h * e for h, e in zip(hiss, env))), int(at * RATE), 0.6)
        add(out, tone(220 + 90 * k, 0.32, partials=((1, 1), (2, 0.4), (3, 0.2)), attack=0.05,
                      sweep_to=330 + 120 * k, vibrato=0.02), int(at * RATE), 0.35)
    return out


# ------------------------------------------------------------------ music
BPM = 140
BEAT = 60 * RATE // BPM          # 18900 samples: a whole number, so the loop is exact
BAR = 4 * BEAT

NOTE = {n: i for i, n in enumerate(["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"])}


def hz(name):
    """'C4' -> frequency."""
    pitch, octave = name[:-1], int(name[-1])
    midi = 12 * (octave + 1) + NOTE[pitch]
    return 440.0 * 2 ** ((midi - 69) / 12)


# chords by bar: root note and chord tones (for pads and bass)
CHORDS = {
    "C": ("C", ["C4", "E4", "G4"]), "Am": ("A", ["A3", "C4", "E4"]), "F": ("F", ["F3", "A3", "C4"]),
    "G": ("G", ["G3", "B3", "D4"]), "Em": ("E", ["E3", "G3", "B3"]), "Dm": ("D", ["D3", "F3", "A3"]),
    "E": ("E", ["E3", "G#3", "B3"]),
}
A = ["C", "Am", "F", "G", "C", "Am", "F", "G"]
A2 = ["C", "Am", "F", "G", "C", "Am", "Dm", "G"]
B = ["F", "G", "Em", "Am", "Dm", "G", "C", "E"]
C = ["Am", "F", "C", "G", "Am", "F", "Dm", "G"]
FORM = A + A2 + B + A2 + C          # 40 bars, 68.6 s

# melodies: per 8-bar section, a list of (beat offset in the section, length in beats, note)
def phrase(bars):
    out = []
    for bar, notes in enumerate(bars):
        t = 0.0
        for length, n in notes:
            if n:
                out.append((bar * 4 + t, length, n))
            t += length
    return out


MEL_A = phrase([
    [(1, "E5"), (0.5, "G5"), (0.5, "E5"), (1, "D5"), (1, "C5")],
    [(1, "E5"), (0.5, "C5"), (0.5, "E5"), (2, "A4")],
    [(1, "F5"), (0.5, "A5"), (0.5, "F5"), (1, "E5"), (1, "C5")],
    [(1.5, "D5"), (0.5, "B4"), (1, "G4"), (1, None)],
    [(1, "E5"), (0.5, "G5"), (0.5, "E5"), (1, "D5"), (1, "C5")],
    [(0.5, "C5"), (0.5, "D5"), (1, "E5"), (1, "A5"), (1, "G5")],
    [(1, "F5"), (0.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "A4")],
    [(1.5, "B4"), (0.5, "C5"), (2, "D5")],
])
MEL_A2 = [n for n in MEL_A if n[0] < 24] + [(b + 24, l, n) for b, l, n in phrase([
    [(1, "F5"), (0.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "A4")],
    [(0.5, "B4"), (0.5, "D5"), (0.5, "G5"), (0.5, "F5"), (1, "D5"), (1, "B4")],
])]
MEL_B = phrase([
    [(0.5, "A4"), (0.5, "C5"), (1, "F5"), (1, "E5"), (1, "C5")],
    [(0.5, "B4"), (0.5, "D5"), (1, "G5"), (1, "F5"), (1, "D5")],
    [(1, "E5"), (0.5, "G5"), (0.5, "B5"), (1, "G5"), (1, "E5")],
    [(1, "C5"), (0.5, "E5"), (0.5, "A5"), (2, "E5")],
    [(0.5, "D5"), (0.5, "F5"), (1, "A5"), (1, "F5"), (1, "D5")],
    [(0.5, "B4"), (0.5, "D5"), (1, "G5"), (1, "B5"), (1, "A5")],
    [(1.5, "G5"), (0.5, "E5"), (1, "C5"), (1, "E5")],
    [(1, "G#4"), (0.5, "B4"), (0.5, "E5"), (1, "G#5"), (1, "B5")],
])
MEL_C = phrase([
    [(2, "A5"), (1, "E5"), (1, "C5")],
    [(2, "F5"), (1, "C5"), (1, "A4")],
    [(1, "G5"), (0.5, "E5"), (0.5, "C5"), (1, "E5"), (1, "G5")],
    [(3, "D5"), (1, None)],
    [(2, "C6"), (1, "A5"), (1, "E5")],
    [(2, "A5"), (1, "F5"), (1, "C5")],
    [(1, "D5"), (0.5, "F5"), (0.5, "A5"), (1, "F5"), (1, "D5")],
    [(1, "B4"), (0.5, "D5"), (0.5, "F5"), (1, "G5"), (1, "B4")],
])
MELODY = [(0, MEL_A), (8, MEL_A2), (16, MEL_B), (24, MEL_A2), (32, MEL_C)]

_cache = {}


def cached(key, make):
    if key not in _cache:
        _cache[key] = make()
    return _cache[key]


def place(track, sound, at, gain):
    """Add a sound into a looping track: what rings past the end wraps to the start."""
    n = len(track)
    at %= n
    m = len(sound)
    first = min(m, n - at)
    for i in range(first):
        track[at + i] += sound[i] * gain
    for i in range(m - first):
        track[i] += sound[first + i] * gain


def kick():
    n = int(0.28 * RATE)
    out = array.array("d", bytes(8 * n))
    ph = 0.0
    for i in range(n):
        t = i / RATE
        f = 48 + 110 * math.exp(-t / 0.03)
        ph += TAU * f / RATE
        out[i] = math.sin(ph) * math.exp(-t / 0.09) * min(1, t / 0.002)
    return out


def snare():
    body = tone(190, 0.2, ((1, 1), (1.5, 0.4)), attack=0.001, decay=0.04)
    rattle = bandpass(noise(0.22, decay=0.06), 1500, 8000)
    return array.array("d", (a * 0.6 + b * 0.9 for a, b in zip(body, rattle)))


def hat(open_=False):
    return highpass(noise(0.25 if open_ else 0.06, decay=0.08 if open_ else 0.015), 7000)


def bass_note(midi, beats):
    f = 440.0 * 2 ** ((midi - 69) / 12)
    return tone(f, beats * 60 / BPM * 0.92, partials=((1, 1.0), (2, 0.45), (3, 0.2), (4, 0.08)),
                attack=0.004, decay=0.35)


def stab(chord):
    notes = CHORDS[chord][1]
    length = 0.22
    out = array.array("d", bytes(8 * int(length * RATE)))
    for n in notes:
        t = tone(hz(n) * 2, length, partials=((1, 1.0), (2, 0.35), (3, 0.25), (4, 0.1)), attack=0.003, decay=0.09)
        for i in range(len(out)):
            out[i] += t[i] / len(notes)
    return out


def pad(chord, beats):
    notes = CHORDS[chord][1]
    length = beats * 60 / BPM
    out = array.array("d", bytes(8 * int(length * RATE)))
    for k, n in enumerate(notes):
        t = tone(hz(n), length, partials=((1, 1.0), (2, 0.2)), attack=0.12, vibrato=0.003)
        fade = int(0.12 * RATE)
        for i in range(len(out)):
            e = 1.0 if i < len(out) - fade else (len(out) - i) / fade
            out[i] += t[i] * e / len(notes)
    return out


def lead(name, beats):
    f = hz(name)
    length = beats * 60 / BPM
    # a bright, slightly hollow lead: odd harmonics and a touch of vibrato
    t = tone(f, length * 0.95 + 0.08, partials=((1, 1.0), (2, 0.15), (3, 0.4), (5, 0.16), (7, 0.06)),
             attack=0.01, decay=0.5 + length, vibrato=0.004)
    return t


def music():
    total = len(FORM) * BAR
    drums = array.array("d", bytes(8 * total))
    bass = array.array("d", bytes(8 * total))
    keys = array.array("d", bytes(8 * total))
    pads = array.array("d", bytes(8 * total))
    mel = array.array("d", bytes(8 * total))
    eighth = BEAT // 2
    k, s, h, ho = kick(), snare(), hat(), hat(True)
    for bar, chord in enumerate(FORM):
        start = bar * BAR
        section = bar // 8
        root = CHORDS[chord][0]
        # drums: kick on 1 and 3 (plus a push on the "and" of 3), snare on 2 and 4, hats on eighths
        for beat in range(4):
            place(drums, k if beat in (0, 2) else s, start + beat * BEAT, 0.9 if beat in (0, 2) else 0.45)
        place(drums, k, start + 2 * BEAT + eighth, 0.5)
        for e in range(8):
            hh = ho if (e == 7 and bar % 4 == 3) else h
            place(drums, hh, start + e * eighth, 0.22 if e % 2 else 0.14)
        if bar % 8 == 7:   # a little fill into the next phrase
            for e, g in ((5, 0.3), (6, 0.38), (7, 0.46)):
                place(drums, s, start + e * eighth, g)
        # bass: root, root, fifth, octave, fifth in eighths with rests between
        base = {"C": 36, "D": 38, "E": 40, "F": 41, "G": 43, "A": 45}[root]
        for b, step in ((0, 0), (1.5, 0), (2, 7), (3, 12), (3.5, 7)):
            midi = base + step
            place(bass, cached(("bass", midi), lambda m=midi: bass_note(m, 0.5)), start + int(b * BEAT), 0.8)
        # keys: off-beat chord stabs, pads under the B and C sections
        for e in (1, 3, 5, 7):
            place(keys, cached(("stab", chord), lambda c=chord: stab(c)), start + e * eighth, 0.5)
        if section in (2, 4):
            place(pads, cached(("pad", chord), lambda c=chord: pad(c, 4)), start, 0.35)
    for first_bar, notes in MELODY:
        for beat, length, n in notes:
            key = ("lead", n, length)
            place(mel, cached(key, lambda n=n, l=length: lead(n, l)), first_bar * BAR + int(beat * BEAT), 0.42)
    # mix to stereo: drums and bass centred, keys a little left, melody a little right
    left = array.array("d", bytes(8 * total))
    right = array.array("d", bytes(8 * total))
    for i in range(total):
        c = drums[i] * 0.8 + bass[i] * 0.55
        left[i] = c + keys[i] * 0.55 + pads[i] * 0.5 + mel[i] * 0.4
        right[i] = c + keys[i] * 0.35 + pads[i] * 0.5 + mel[i] * 0.6
    peak = max(max(abs(v) for v in left), max(abs(v) for v in right))
    g = 10 ** (-1.5 / 20) / peak
    for i in range(total):
        left[i] *= g
        right[i] *= g
    return left, right


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(outdir, exist_ok=True)
    for name, make in (("bell", bell), ("menu", menu), ("cash", cash), ("freehat", freehat),
                       ("window", window), ("footsteps", footsteps), ("inflate", inflate)):
        write_wav(os.path.join(outdir, name + ".wav"), [level(make())])
    left, right = music()
    write_wav(os.path.join(outdir, "Brisklane.wav"), [left, right])


if __name__ == "__main__":
    main()
