#!/usr/bin/env python3
"""Writes the program's sounds into data/sounds/: engines, wind, wheels,
bells, clicks and thumps synthesized here, the crew's calls spoken by
espeak-ng. Mono 16-bit WAV at 22050 Hz. Loops hold a whole number of every
period they contain, so they repeat without a click. Deterministic (seeded
noise, one speech engine version); run it after changing a sound and commit
what it writes.

    python3 data/generate/sounds.py [DATA_FOLDER]
"""

import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 22050
HERE = os.path.dirname(os.path.abspath(__file__))


def write_wav(path, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = 0.9 * 32767 / peak
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(round(s * scale))) for s in samples))


def seconds(duration):
    return int(round(duration * RATE))


def noise(n, seed):
    rng = random.Random(seed)
    return [rng.uniform(-1, 1) for _ in range(n)]


def lowpass(samples, cutoff, loop=True):
    """One-pole low-pass; a loop is filtered as a circle so its ends meet."""
    a = 1 - math.exp(-2 * math.pi * cutoff / RATE)
    y = 0.0
    passes = 2 if loop else 1
    out = list(samples)
    for p in range(passes):
        for i, x in enumerate(samples):
            y += a * (x - y)
            if p == passes - 1:
                out[i] = y
    return out


def highpass(samples, cutoff, loop=True):
    low = lowpass(samples, cutoff, loop)
    return [x - l for x, l in zip(samples, low)]


def bandpass(samples, low, high, loop=True):
    return highpass(lowpass(samples, high, loop), low, loop)


def tone(n, partials):
    """Sum of (frequency Hz, amplitude) sines; in a 1 s loop every whole-Hz partial closes."""
    return [sum(a * math.sin(2 * math.pi * f * i / RATE) for f, a in partials) for i in range(n)]


def mix(*parts):
    return [sum(values) for values in zip(*parts)]


def gain(samples, g):
    return [g * s for s in samples]


def envelope(n, attack, decay):
    """Rise over attack seconds, then fall by e every decay seconds."""
    a = max(1, seconds(attack))
    return [(i / a if i < a else math.exp(-(i - a) / (decay * RATE))) for i in range(n)]


def shaped(samples, env):
    return [s * e for s, e in zip(samples, env)]


def pulses(n, rate, width, harmonics):
    """A train of pulses at rate per second, as its first harmonics."""
    return tone(n, [(rate * k, math.exp(-k * width)) for k in range(1, harmonics + 1)])


def synthesized():
    one = seconds(1)
    sounds = {}
    sounds["turbine_whine"] = mix(tone(one, [(1800, 1.0), (3600, 0.35), (2710, 0.2)]),
                                  gain(bandpass(noise(one, 1), 1500, 4000), 0.8))
    sounds["jet_roar"] = mix(gain(lowpass(noise(one, 2), 400), 3.0),
                             gain(bandpass(noise(one, 3), 300, 2000), 0.6),
                             tone(one, [(55, 0.25)]))
    sounds["propeller"] = mix(pulses(one, 70, 0.35, 12),
                              gain(lowpass(noise(one, 4), 600), 1.5))
    sounds["car_engine"] = mix(pulses(one, 40, 0.25, 16),
                               gain(lowpass(noise(one, 5), 300), 1.0))
    sounds["traction_motor"] = mix(tone(one, [(420, 1.0), (840, 0.5), (1260, 0.2), (60, 0.3)]),
                                   gain(bandpass(noise(one, 6), 300, 1500), 0.4))
    sounds["wind"] = gain(bandpass(noise(one, 7), 200, 1200), 1.0)
    sounds["rumble"] = mix(gain(lowpass(noise(one, 8), 120), 3.0), tone(one, [(31, 0.2)]))
    sounds["brake_hiss"] = highpass(noise(one, 9), 2500)
    sounds["gear_motor"] = mix(tone(one, [(120, 1.0), (240, 0.4), (700, 0.3)]),
                               gain(bandpass(noise(one, 10), 500, 2000), 0.3))
    sounds["flap_motor"] = mix(tone(one, [(220, 1.0), (440, 0.3), (1100, 0.25)]),
                               gain(bandpass(noise(one, 11), 800, 3000), 0.3))
    sounds["lock_tone"] = tone(one, [(1000, 1.0), (2000, 0.15)])
    # The protection bell: two strokes a second, each a struck metal bar.
    half = seconds(0.5)
    stroke = shaped(tone(half, [(1320, 1.0), (3300, 0.5), (4290, 0.25)]), envelope(half, 0.002, 0.12))
    sounds["bell"] = stroke + stroke
    # The stall warning's stick shaker: a motor's weight knocking the control
    # column 25 times a second.
    knock_n = RATE // 25
    knock = shaped(mix(bandpass(noise(knock_n, 18), 150, 1500, False), tone(knock_n, [(50, 0.6)])),
                   envelope(knock_n, 0.001, 0.008))
    sounds["stall_shaker"] = knock * 25
    # A bogie over a rail joint: two wheelsets, 0.1 s apart.
    click_n = seconds(0.08)
    click = shaped(mix(lowpass(noise(click_n, 12), 1500, False), tone(click_n, [(180, 0.5)])),
                   envelope(click_n, 0.001, 0.015))
    gap = [0.0] * (seconds(0.1) - click_n)
    sounds["rail_click"] = click + gap + click + [0.0] * seconds(0.05)
    n = seconds(0.6)
    sounds["thump"] = shaped(mix(tone(n, [(45, 1.0), (70, 0.5)]), gain(lowpass(noise(n, 13), 200, False), 1.5)),
                             envelope(n, 0.005, 0.12))
    n = seconds(1.6)
    sounds["crash"] = shaped(mix(gain(lowpass(noise(n, 14), 800, False), 2.0),
                                 gain(highpass(noise(n, 15), 2000, False), 0.5),
                                 tone(n, [(38, 0.6)])),
                             envelope(n, 0.01, 0.45))
    n = seconds(1.2)
    sweep = [math.sin(2 * math.pi * (300 * i / RATE + 400 * (i / RATE) ** 2)) for i in range(n)]
    sounds["shot"] = shaped(mix(gain(bandpass(noise(n, 16), 400, 4000, False), 1.2), gain(sweep, 0.3)),
                            envelope(n, 0.05, 0.4))
    n = seconds(1.0)
    sounds["hit"] = shaped(mix(gain(lowpass(noise(n, 17), 500, False), 2.5), tone(n, [(50, 0.5)])),
                           envelope(n, 0.005, 0.25))
    return sounds


# Spoken calls: file stem, text, voice. The captain speaks at the crew's
# pace; the ground-proximity and stall warnings in their flatter, slower voice.
CAPTAIN = ["-v", "en-us", "-s", "165", "-p", "40"]
GPWS = ["-v", "en-us", "-s", "140", "-p", "25"]
CALLS = [
    ("call_80", "eighty", CAPTAIN),
    ("call_v", "veeee", CAPTAIN),
    ("call_one", "one", CAPTAIN),
    ("call_vr", "vee are", CAPTAIN),
    ("call_v2", "vee two", CAPTAIN),
    ("call_positive_climb", "positive climb", CAPTAIN),
    ("call_gear_up", "gear up", CAPTAIN),
    ("call_gear_down", "gear down", CAPTAIN),
    ("call_flaps_up", "flaps up", CAPTAIN),
    ("call_flaps_1", "flaps one", CAPTAIN),
    ("call_flaps_5", "flaps five", CAPTAIN),
    ("call_flaps_10", "flaps ten", CAPTAIN),
    ("call_flaps_20", "flaps twenty", CAPTAIN),
    ("call_flaps_25", "flaps twenty five", CAPTAIN),
    ("call_flaps_30", "flaps thirty", CAPTAIN),
    ("call_approaching_minimums", "approaching minimums", CAPTAIN),
    ("call_minimums", "minimums", CAPTAIN),
    ("call_autopilot_disengaged", "autopilot disengaged", CAPTAIN),
    ("call_command_c", "command C, push", CAPTAIN),
    ("gpws_minimums", "minimums", GPWS),
    ("gpws_100", "one hundred", GPWS),
    ("gpws_50", "fifty", GPWS),
    ("gpws_40", "forty", GPWS),
    ("gpws_30", "thirty", GPWS),
    ("gpws_20", "twenty", GPWS),
    ("gpws_10", "ten", GPWS),
    ("call_stall", "stall", GPWS),
]


def spoken(text, voice):
    """The samples espeak-ng speaks for text, silence trimmed, at RATE."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "call.wav")
        subprocess.run(["espeak-ng", *voice, "-w", path, text], check=True)
        with wave.open(path, "rb") as f:
            if f.getnchannels() != 1 or f.getsampwidth() != 2 or f.getframerate() != RATE:
                sys.exit("espeak-ng: expected mono 16-bit %d Hz output" % RATE)
            data = f.readframes(f.getnframes())
    samples = [v / 32768 for v in struct.unpack("<%dh" % (len(data) // 2), data)]
    loud = [i for i, v in enumerate(samples) if abs(v) > 0.01]
    if not loud:
        sys.exit("espeak-ng spoke nothing for %r" % text)
    # Starts at once: the call is heard at the moment it is logged.
    return samples[loud[0]:loud[-1] + 1] + [0.0] * seconds(0.03)


def main():
    folder = os.path.join(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..")),
                          "sounds")
    os.makedirs(folder, exist_ok=True)
    for stem, samples in synthesized().items():
        write_wav(os.path.join(folder, stem + ".wav"), samples)
    if shutil.which("espeak-ng") is None:
        sys.exit("espeak-ng is needed to speak the crew's calls (Debian: apt-get install espeak-ng)")
    for stem, text, voice in CALLS:
        write_wav(os.path.join(folder, stem + ".wav"), spoken(text, voice))


if __name__ == "__main__":
    main()
