#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: small valid files of each format, a few with
odd but legal content, and WAVs written by sox. Run from anywhere; writes into corpus/."""
import os
import shutil
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def i32(*values):
    return struct.pack("<%di" % len(values), *values)


# ----- pattern blobs: count, then per pattern a 1048-byte head, notes, control tracks -----
def pattern(serial, length, name, notes, tracks, project, port):
    head = i32(serial, length) + name.encode().ljust(1024, b"\0") + i32(len(notes), len(tracks), project, port)
    body = b"".join(i32(*note) for note in notes)
    for parameter, steps in tracks:
        body += i32(parameter, len(steps))
        for value, is_set in steps:
            body += struct.pack("<fBB", value, is_set, 0)
    return head + body


def pattern_blob(patterns):
    return i32(len(patterns)) + b"".join(patterns)


def patterns():
    put("pattern_blob", "empty", pattern_blob([]))
    put("pattern_blob", "one_note", pattern_blob([pattern(0, 1, "Intro", [(0, 4, 60)], [], 0, 1)]))
    steps = [(0.5, 1)] + [(0.0, 0)] * 15
    put("pattern_blob", "velocity_and_cutoff",
        pattern_blob([pattern(0, 4, "Verse", [(0, 4, 60), (0, 2, 64), (12, 4, 67)],
                              [(-1, steps), (0, [(0.25, 1)] * 16)], 0, 1)]))
    put("pattern_blob", "two_ports",
        pattern_blob([pattern(0, 2, "A", [(1, 1, 30)], [], 0, 1), pattern(1, 2, "B", [(2, 2, 31)], [], 0, 2)]))
    put("pattern_blob", "drums_named_notes",
        pattern_blob([pattern(5, 1, "Beat", [(0, 1, 0), (2, 1, 3), (3, 1, 11)], [(4, [(1.0, 1)] * 4)], 1, 1)]))
    put("pattern_blob", "foreign_machine", pattern_blob([pattern(0, 1, "Lost", [(0, 1, 60)], [], 7, 1)]))
    put("pattern_blob", "unplayable_notes",
        pattern_blob([pattern(0, 1, "Odd", [(-1, 4, 60), (0, 0, 60), (0, 4, 200), (3, 9, 60)], [(99, [])], 0, 1)]))
    put("pattern_blob", "long_name", pattern_blob([pattern(0, 16, "N" * 1024, [], [], 0, 1)]))


# ----- sequence blobs: length, row count, per row port index, entries (start, serial) -----
def sequence(length, rows):
    data = i32(length, len(rows))
    for port, entries in rows:
        data += i32(port, len(entries))
        for start, serial in entries:
            data += i32(start, serial)
    return data


def sequences():
    put("sequence_blob", "empty_song", sequence(16, []))
    put("sequence_blob", "three_rows", sequence(32, [(1, [(0, 0), (8, 0)]), (2, [(4, 1)]), (1, [(0, 2), (2, 2)])]))
    put("sequence_blob", "unknown_serials", sequence(8, [(1, [(0, 9), (1, -1)])]))
    put("sequence_blob", "overlaps_and_outside", sequence(4, [(1, [(0, 0), (2, 0), (100, 0), (-3, 0)])]))
    put("sequence_blob", "longest_song", sequence(4096, [(1, [(4092, 0)])]))


# ----- options files: "pObT", version 0, six settings, folder count, folders -----
def options(settings, folders, count=None):
    data = b"pObT" + i32(0, *settings) + i32(len(folders) if count is None else count)
    for folder in folders:
        text = folder.encode() + b"\0"
        data += i32(len(text)) + text
    return data


def options_files():
    defaults = (0, 0, 150, 2048, 0, 0)
    put("options_file", "defaults", options(defaults, ["/usr/lib/vst", "/home/user/.vst"]))
    put("options_file", "asio_no_folders", options((1, 2, 40, 4096, 3, 0), []))
    put("options_file", "count_too_large", options(defaults, ["/a"], count=5))
    put("options_file", "wrong_version", b"pObT" + i32(1) + options(defaults, [])[8:])
    put("options_file", "unicode_folder", options(defaults, ["/home/usér/plug-ins ♪"]))


# ----- parameter-list state blocks: "hPbT", count, floats -----
def state(count, values):
    return b"hPbT" + i32(count) + struct.pack("<%df" % len(values), *values)


def state_blocks():
    put("state_block", "empty_list", state(0, []))
    put("state_block", "one_value", state(1, [0.5]))
    put("state_block", "basshead_sized", state(73, [i / 73.0 for i in range(73)]))
    put("state_block", "count_past_end", state(100, [0.25] * 3))
    put("state_block", "more_than_any_machine", state(300, [1.0] * 300))
    put("state_block", "out_of_range_values", state(8, [-1.0, 2.0, 1e30, -1e30, 0.0, 1.0, 0.999, 1e-30]))
    put("state_block", "short", b"hPb")


# ----- VST hand-over: flag byte (odd = parameter list), then the block -----
def vst_chunks():
    put("vst_chunk", "own_chunk", b"\0" + b"cKpT" + i32(4) + struct.pack("<4f", 0.5, 0.25, 1.0, 0.0))
    put("vst_chunk", "foreign_chunk", b"\0" + bytes(range(64)))
    put("vst_chunk", "parameter_list", b"\1" + state(4, [0.1, 0.2, 0.3, 0.4]))
    put("vst_chunk", "parameter_list_too_long", b"\1" + state(9, [0.5] * 9))
    put("vst_chunk", "one_byte_chunk", b"\0" + b"x")


# ----- WAV files written by sox, and hand-made ones with extra chunks -----
def wavs():
    folder = os.path.join(CORPUS, "wav_reader")
    os.makedirs(folder, exist_ok=True)
    sox = shutil.which("sox")
    made = [
        ("sox_mono16.wav", ["-r", "44100", "-c", "1", "-b", "16"], "sine 440"),
        ("sox_mono16_48k.wav", ["-r", "48000", "-c", "1", "-b", "16"], "square 100"),
        ("sox_stereo16.wav", ["-r", "44100", "-c", "2", "-b", "16"], "sine 220"),
        ("sox_mono24.wav", ["-r", "44100", "-c", "1", "-b", "24"], "sine 330"),
        ("sox_mono8.wav", ["-r", "22050", "-c", "1", "-b", "8", "-e", "unsigned-integer"], "sine 330"),
        ("sox_float.wav", ["-r", "44100", "-c", "1", "-b", "32", "-e", "floating-point"], "sine 550"),
        ("sox_extensible.wav", ["-r", "44100", "-c", "1", "-b", "16", "-t", "wavpcm"], "noise"),
    ]
    if sox:
        for name, options_, synth in made:
            path = os.path.join(folder, name)
            subprocess.run([sox, "-n"] + options_ + [path, "synth", "0.01"] + synth.split(), check=True)
    samples = struct.pack("<8h", 0, 16384, 32767, -32768, -1, 1, 100, -100)
    fmt = b"fmt " + i32(16) + struct.pack("<HHIIHH", 1, 1, 44100, 88200, 2, 16)
    data = b"data" + i32(len(samples)) + samples
    extra = b"LIST" + i32(6) + b"INFOab"
    for name, chunks in [("plain", fmt + data), ("list_first", extra + fmt + data), ("data_first", data + fmt),
                         ("odd_chunk", b"junk" + i32(3) + b"abc\0" + fmt + data)]:
        body = b"WAVE" + chunks
        put("wav_reader", name + ".wav", b"RIFF" + i32(len(body)) + body)


# ----- project files: header, machines, per-machine links and patterns, song, text -----
def machine(name, identifier, x, y, block, parameter_list=True):
    return (name.encode().ljust(1024, b"\0") + identifier.encode().ljust(1024, b"\0") + i32(x, y, 0, len(block)) +
            bytes([1 if parameter_list else 0]) + block)


def project(major, minor, machines, cables, pattern_blobs, song, info=None, tempo=126.0):
    """cables: per machine, a list of (source machine, source port, destination port, volume)."""
    data = b" PBT" + struct.pack("<bbf", major, minor, tempo) + i32(len(machines)) + b"".join(machines)
    for index in range(len(machines)):
        records = b""
        for source, source_port, port, volume in cables[index]:
            records += i32(source, source_port, index, port)
            if major >= 2:
                records += struct.pack("<f", volume)
        connections = i32(len(cables[index])) + records
        data += i32(len(connections)) + connections
        data += i32(len(pattern_blobs[index])) + pattern_blobs[index]
    data += i32(len(song)) + song
    if info is not None:
        text = info.encode() + b"\0"
        data += i32(len(text)) + text
    return data


def project_files():
    master = machine("Master", "Master", 32, 32, state(0, []))
    bass = machine("QX BassHead 1", "VeskPlug::QX BassHead", 200, 100, state(73, [0.5] * 73))
    legacy = machine("VeskPlug::QX BrainSynth", "VeskPlug::QX BassHead", 200, 100, state(3, [0.1, 0.2, 0.3]))
    kick = machine("QX Stomp 1", "VeskPlug::QX Stomp", 300, 100, state(2, [0.7, 0.4]))
    delay = machine("QX QuadDelay 1", "VeskPlug::QX QuadDelay", 300, 200, state(0, []))
    empty_patterns = pattern_blob([])
    bass_patterns = pattern_blob([pattern(0, 4, "Riff", [(0, 2, 36), (4, 2, 43), (8, 4, 38)], [(5, [(0.3, 1)] * 16)], 1, 0)])
    kick_patterns = pattern_blob([pattern(1, 1, "Four", [(0, 1, 36), (1, 1, 36), (2, 1, 36), (3, 1, 36)], [], 2, 0)])
    song = sequence(8, [(0, [(0, 0), (4, 0)]), (0, [(0, 1), (1, 1), (2, 1), (3, 1)])])
    machines = [master, bass, kick, delay]
    # Master input 0; BassHead out 1; Stomp out 1; QuadDelay in 0, out 1.
    cables = [[(1, 1, 0, 0.5), (2, 1, 0, 0.8), (3, 1, 0, 0.3)], [], [], [(1, 1, 0, 0.25)]]
    patterns_ = [empty_patterns, bass_patterns, kick_patterns, empty_patterns]
    put("project_file", "empty_2_1.tbp", project(2, 1, [master], [[]], [empty_patterns], sequence(16, []), ""))
    put("project_file", "song_2_1.tbp", project(2, 1, machines, cables, patterns_, song, "Written by the corpus maker"))
    put("project_file", "song_2_0.tbp", project(2, 0, machines, cables, patterns_, song))
    put("project_file", "song_1_0.tbp", project(1, 0, machines, cables, patterns_, song))
    put("project_file", "song_1_5.tbp", project(1, 5, machines, cables, patterns_, song))
    put("project_file", "song_2_7.tbp", project(2, 7, machines, cables, patterns_, song))
    put("project_file", "song_3_0.tbp", project(3, 0, machines, cables, patterns_, song, "Three"))
    put("project_file", "legacy_name_1_0.tbp", project(1, 0, [master, legacy], [[(1, 1, 0, 1.0)], []],
                                                        [empty_patterns, empty_patterns], sequence(4, [])))
    put("project_file", "unknown_machine.tbp",
        project(2, 1, [master, machine("Lost 1", "VeskPlug::Nowhere", 0, 0, b"")], [[], []],
                [empty_patterns, empty_patterns], sequence(4, []), ""))
    put("project_file", "future_4_0.tbp", project(4, 0, [master], [[]], [empty_patterns], sequence(4, []), ""))

# ----- PNG pictures: signature, IHDR, IDAT chunks of a zlib stream, IEND -----
def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, colour_type, rows, idat_size=0, interlace=0, depth=8, extra=b""):
    stream = zlib.compress(rows, 9)
    step = idat_size or max(1, len(stream))
    idats = b"".join(png_chunk(b"IDAT", stream[i:i + step]) for i in range(0, len(stream), step))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra + idats + png_chunk(b"IEND", b"")


def png_rows(width, height, bpp, filters):
    out = b""
    for y in range(height):
        out += bytes([filters[y % len(filters)]]) + bytes((x * 37 + y * 11 + i) % 256 for x in range(width)
                                                           for i in range(bpp))
    return out


def pngs():
    put("png_reader", "rgb_1x1.png", png(1, 1, 2, b"\0\x10\x20\x30"))
    put("png_reader", "rgba_every_filter.png", png(7, 5, 6, png_rows(7, 5, 4, [0, 1, 2, 3, 4])))
    put("png_reader", "rgb_split_idat.png", png(16, 9, 2, png_rows(16, 9, 3, [4, 2, 1]), idat_size=5))
    put("png_reader", "rgb_with_text.png",
        png(3, 3, 2, png_rows(3, 3, 3, [3]), extra=png_chunk(b"tEXt", b"Comment\0seed")))
    put("png_reader", "rgba_interlaced.png", png(4, 4, 6, png_rows(4, 4, 4, [0]), interlace=1))
    put("png_reader", "rgb_16_bit.png", png(2, 2, 2, png_rows(2, 2, 6, [0]), depth=16))
    put("png_reader", "rgb_one_byte_short.png", png(4, 2, 2, png_rows(4, 2, 3, [1])[:-1]))
    put("png_reader", "rgb_bad_filter.png", png(2, 2, 2, png_rows(2, 2, 3, [5])))


# ----- SoundFont banks: "RIFF" "sfbk" with INFO, sdta and pdta lists -----
def riff_chunk(chunk_id, data):
    return chunk_id + struct.pack("<I", len(data)) + data


def riff_list(list_type, chunks):
    return riff_chunk(b"LIST", list_type + b"".join(chunks))


def sf_text(text):
    data = text.encode() + b"\0"
    return data + b"\0" * (len(data) % 2)


def sf_presets(names):
    records = [name.encode()[:20].ljust(20, b"\0") + struct.pack("<HHHIII", i, 0, 0, 0, 0, 0)
               for i, name in enumerate(names + ["EOP"])]
    return riff_chunk(b"phdr", b"".join(records))


def sf_bank(info, presets, samples=b"\0" * 32, extra=()):
    return riff_chunk(b"RIFF", b"sfbk" + riff_list(b"INFO", info) + riff_list(b"sdta", [riff_chunk(b"smpl", samples)])
                      + riff_list(b"pdta", [sf_presets(presets), riff_chunk(b"pbag", b"\0" * 8)]) + b"".join(extra))


SF_INFO = [riff_chunk(b"ifil", struct.pack("<HH", 2, 1)), riff_chunk(b"isng", sf_text("EMU8000")),
           riff_chunk(b"INAM", sf_text("Seed Bank"))]


def soundfonts():
    put("soundfont", "minimal.sf2", sf_bank(SF_INFO, ["Piano"]))
    put("soundfont", "every_entry.sf2", sf_bank(
        SF_INFO + [riff_chunk(b"irom", sf_text("1MGM")), riff_chunk(b"iver", struct.pack("<HH", 1, 2)),
                   riff_chunk(b"ICRD", sf_text("2024")), riff_chunk(b"IENG", sf_text("Someone")),
                   riff_chunk(b"IPRD", sf_text("Studio")), riff_chunk(b"ICOP", sf_text("Free")),
                   riff_chunk(b"ICMT", sf_text("Seed")), riff_chunk(b"ISFT", sf_text("Editor"))],
        ["Grand Piano", "Twenty Characters Ok", "Strings"]))
    put("soundfont", "version_3.sf2", sf_bank([riff_chunk(b"ifil", struct.pack("<HH", 3, 0))] + SF_INFO[1:], ["A"]))
    put("soundfont", "terminal_record_only.sf2", sf_bank(SF_INFO, []))
    put("soundfont", "foreign_list.sf2", sf_bank(SF_INFO, ["A"], extra=[riff_list(b"movi", [])]))
    put("soundfont", "nested_and_junk.sf2", sf_bank(
        SF_INFO + [riff_list(b"nest", [riff_chunk(b"INAM", sf_text("inner"))])], ["A", "B"],
        extra=[riff_chunk(b"JUNK", b"\0" * 6), b"\1" * 5]))
    # The real General MIDI bank Debian ships, with its sample data left out: every pdta chunk a
    # bank editor writes, at a size the fuzzer can work with.
    real = "/usr/share/sounds/sf2/TimGM6mb.sf2"
    if os.path.exists(real):
        with open(real, "rb") as f:
            data = f.read()
        body, offset, out = data[12:8 + struct.unpack("<I", data[4:8])[0]], 0, b""
        while offset + 8 <= len(body):
            chunk_id, size = body[offset:offset + 4], struct.unpack("<I", body[offset + 4:offset + 8])[0]
            chunk = body[offset:offset + 8 + size]
            if chunk_id == b"LIST" and chunk[8:12] == b"sdta":
                chunk = riff_list(b"sdta", [riff_chunk(b"smpl", b"")])
            out += chunk
            offset += 8 + size
        put("soundfont", "timgm6mb_without_samples.sf2", riff_chunk(b"RIFF", b"sfbk" + out))


if __name__ == "__main__":
    project_files()
    patterns()
    sequences()
    options_files()
    state_blocks()
    vst_chunks()
    wavs()
    pngs()
    soundfonts()
