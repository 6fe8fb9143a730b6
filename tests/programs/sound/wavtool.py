#!/usr/bin/env python3
"""Makes the sound tests' WAV files and reads what the engine's sink received.

make PATH RATE CHANNELS WIDTH FRAMES SEED  a PCM WAV of a repeatable ramp pattern
truncate PATH BYTES                         cut a file to its first BYTES bytes
same SINK SOURCE                            the sink holds exactly SOURCE's frames
tail SINK FIRST SECOND                      the sink holds a prefix of FIRST, then all of SECOND
repeats SINK SOURCE                         the sink holds SOURCE at least twice, then a prefix
cycles SINK [WANT TOL]                      the square wave's cycles a second (rounded, or within
                                            TOL of WANT)
silence SINK                                every frame is 0; prints the length in ms
frames SINK                                 the number of frames
"""
import struct
import sys
import wave


def make(path, rate, channels, width, frames, seed):
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        data = bytearray()
        for i in range(frames * channels):
            v = (i * seed + seed) % 251
            if width == 1:
                data.append(v)
            else:
                data += struct.pack("<h", (v - 125) * 250)
        w.writeframes(bytes(data))


def samples16(path):
    """A WAV's samples as 16-bit values, the way the engine decodes them."""
    with wave.open(path, "rb") as w:
        width = w.getsampwidth()
        raw = w.readframes(w.getnframes())
        fmt = (w.getframerate(), w.getnchannels())
    if width == 1:
        return fmt, [(b - 128) << 8 for b in raw]
    return fmt, list(struct.unpack("<%dh" % (len(raw) // 2), raw))


def main(argv):
    cmd = argv[1]
    if cmd == "make":
        make(argv[2], *map(int, argv[3:8]))
    elif cmd == "truncate":
        with open(argv[2], "r+b") as f:
            f.truncate(int(argv[3]))
    elif cmd == "same":
        (fs, s), (fo, o) = samples16(argv[2]), samples16(argv[3])
        print("same" if fs == fo and s == o else "differs: %d of %d samples" % (len(s), len(o)))
    elif cmd == "tail":
        _, s = samples16(argv[2])
        _, a = samples16(argv[3])
        _, b = samples16(argv[4])
        head = s[: len(s) - len(b)]
        ok = len(s) >= len(b) and s[len(head):] == b and head == a[: len(head)] and len(head) < len(a)
        print("a prefix of the first, then the second" if ok else "differs: %d samples" % len(s))
    elif cmd == "repeats":
        _, s = samples16(argv[2])
        _, a = samples16(argv[3])
        n = len(a)
        whole = len(s) // n
        ok = whole >= 2 and all(s[i * n:(i + 1) * n] == a for i in range(whole)) and s[whole * n:] == a[: len(s) - whole * n]
        print("repeated" if ok else "differs: %d samples" % len(s))
    elif cmd == "cycles":
        (rate, ch), s = samples16(argv[2])
        mono = s[::ch]
        rises = sum(1 for i in range(1, len(mono)) if mono[i - 1] < 0 <= mono[i])
        if mono and mono[0] >= 0:
            rises += 1
        per_second = rises * rate / len(mono) if mono else 0
        if len(argv) > 4:
            want, tolerance = float(argv[3]), float(argv[4])
            ok = abs(per_second - want) <= tolerance
            print("%s +- %s" % (argv[3], argv[4]) if ok else "%.2f cycles a second" % per_second)
        else:
            print(round(per_second))
    elif cmd == "silence":
        (rate, ch), s = samples16(argv[2])
        print("silence %d ms" % round(len(s) / ch * 1000 / rate) if all(v == 0 for v in s) else "not silent")
    elif cmd == "frames":
        (rate, ch), s = samples16(argv[2])
        print(len(s) // ch)
    else:
        sys.exit("unknown command " + cmd)


main(sys.argv)
