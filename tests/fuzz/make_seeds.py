#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/): small, valid or nearly valid
inputs of each reader, made from the file layouts and the wire protocol. Run it again after a
layout change; libFuzzer grows its own corpus from these in the build folder."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def pstr(text, capacity):
    raw = text.encode("latin-1")[:capacity]
    return bytes([len(raw)]) + raw + bytes(capacity - len(raw))


# ---- project files: 512-byte header then the 256-byte image ----
def header(records=32, total=None, name="(none)", description="", group=0):
    total = records + 16 if total is None else total
    h = bytearray(512)
    struct.pack_into("<iihhhhBBBBB", h, 0, 37470, 37470, total, records, 11, 10, group, 0, 0,
                     0xFF, 0xFF)
    h[0x40:0x80] = pstr(name, 63)
    h[0x80:0xC0] = pstr(description, 63)
    h[0xC0:0xE0] = pstr("(none)", 31)
    h[0xE0:0x100] = pstr("(none)", 31)
    return bytes(h)


def image():
    img = bytearray([0xFF] * 256)
    for i in range(32):
        w = round(i / (16 / 3) * 204.8)
        img[2 * i:2 * i + 2] = struct.pack(">H", w)
    img[0x40:0x42] = b"\x03\xff"
    img[0x42] = 1
    img[0x43:0x47] = bytes(4)
    img[0x48:0x4A] = b"\x03\xff"
    return bytes(img)


put("fuzz_project_file", "new-project", header() + image())
put("fuzz_project_file", "one-header-record", header(1)[:16] + image())
put("fuzz_project_file", "counts-47", header(32, 47) + image())
put("fuzz_project_file", "767-bytes", (header() + image())[:767])
put("fuzz_project_file", "long-names", header(name="N" * 63, description="D" * 63, group=2) +
    image() + b"trailing")
put("fuzz_project_file", "tiny", b"\x30\x00")
# A finding: length bytes above their fields' capacity (the names then read past their fields).
damaged = bytearray(header() + image())
for offset in (0x40, 0x80, 0xC0, 0xE0):
    damaged[offset] = 0xFF
put("fuzz_project_file", "finding-damaged-lengths", bytes(damaged))


# ---- meter files: one 2176-byte record ----
def number(text):
    try:
        return float(text)
    except ValueError:
        return 0.0


def meter(rows, part="12345-AB", metric=1, frequency=0, count=None, d1="Example meter",
          d2="second line"):
    r = bytearray(2176)
    r[4] = metric
    r[5:32] = pstr(part, 26)
    struct.pack_into("<h", r, 32, len(rows) if count is None else count)
    r[42] = frequency
    for i, (s, f) in enumerate(rows[:62]):
        o = 64 + 32 * i
        r[o:o + 8] = pstr(s, 7)
        struct.pack_into("<f", r, o + 8, number(s))
        r[o + 12:o + 20] = pstr(f, 7)
        struct.pack_into("<f", r, o + 20, number(f))
    r[2048:2112] = pstr(d1, 63)
    r[2112:2176] = pstr(d2, 63)
    return bytes(r)


plain_rows = [("0.50", "10.20"), ("1.00", "25.70"), ("1.50", "48.10"), ("3.00", "300.00")]
put("fuzz_meter_file", "plain", meter(plain_rows))
put("fuzz_meter_file", "no-descriptions", meter(plain_rows)[:2048])
put("fuzz_meter_file", "frequency-pounds", meter([("100", "5.00"), ("2000", "900.00")], metric=0,
                                                 frequency=1))
put("fuzz_meter_file", "count-70", meter([(str(i / 10), str(i * 10)) for i in range(62)],
                                         count=70))
put("fuzz_meter_file", "count-negative", meter(plain_rows, count=-3))
put("fuzz_meter_file", "not-a-number", meter([("1.2.3", "5"), ("-", "7")]))
# A finding: length bytes of 255 everywhere; the last row's texts and the second description
# then reached past the end of the record.
damaged = bytearray(meter([("1.00", "2.00")] * 62))
for offset in [5, 2048, 2112] + [64 + 32 * i + d for i in range(62) for d in (0, 12)]:
    damaged[offset] = 0xFF
put("fuzz_meter_file", "finding-damaged-lengths", bytes(damaged))

# ---- meter text files ----
example = ("12345-AB\r\nVolts\r\nkg/hr\r\nExample meter, first line\r\nsecond line\r\n"
           "0.50 10.2\r\n1.00 25.7\r\n1.50 48.1\r\n")
put("fuzz_meter_import", "example", example)
put("fuzz_meter_import", "quoted", '"PN-1"\r\n"Freq"\r\n"lb/hr"\r\n"d1"\r\n"d2"\r\n'
    "100\t5\r\n 2e3   9.5e1  7\r\n1 2\r\n")
put("fuzz_meter_import", "lf-only", example.replace("\r\n", "\n"))
put("fuzz_meter_import", "seventy-points", "P\r\nVOLTS\r\nKG/HR\r\nd\r\nd\r\n" +
    "".join("%d.%d %d\r\n" % (i // 10, i % 10, i * 3) for i in range(70)))
put("fuzz_meter_import", "ctrl-z", example + "\x1a9 9\r\n")

# ---- box replies, as the link collects them (terminator included) ----
for name, reply in [("q", "\r\nV1.0 KEX\r\n>"), ("q-short", "\r\nV1.0 K>"),
                    ("q-no-v", "\r\nKEX V1.0\r\n>"), ("q-bad", "\r\nV?.? KEX\r\n>"),
                    ("m", "POTS FFF0 0010 0064 FF9C\r\n>"), ("m-short", "POTS 0000\r\n>"),
                    ("read", "3F+"), ("read-two", "A+"), ("prompt", "\r\n>")]:
    put("fuzz_box_replies", name, reply)


# ---- box sessions: a plan byte (bit 0 the project's version, bits 1-2 and 3-4 the two
# operations: 0 Monitor, 1 Connect, 2 Update, 3 Retrieve; bit 5 frequency; bit 6 a whole
# Update and Retrieve once the line heals), then per byte the PC sends a control byte (1 echo,
# 2 a stray byte first, 4 at CR: a reply of n bytes follows) ----
def session(plan, exchanges):
    out = bytearray([plan])
    out += b"\x00\x00"  # the two opening carriage returns: no answer
    for command, reply in exchanges:
        for _ in command:
            out.append(1)
        if reply is None:
            out.append(1)
        else:
            out += bytes([5, len(reply)]) + reply
    return bytes(out)


prompt = (b"", b"\r\n>")
put("fuzz_box_session", "connect-monitor",
    session(0b0010, [prompt, (b"Q", b"\r\nV1.0 KEX\r\n>"), prompt,
                     (b"M", b"\r\nPOTS FFF0 0010 0064 FF9C\r\n>")]))
put("fuzz_box_session", "connect-twice",
    session(0b1010, [prompt, (b"Q", b"\r\nV1.1 KEX\r\n>"), prompt, (b"Q", b"\r\nV1.0\r\n>")]))
# The session's image: bytes 0..65 are 5 x n, the rest 0xFF.
image_bytes = [(5 * n) & 0xFF if n < 66 else 0xFF for n in range(80)]
update = [prompt]
for n, v in enumerate(image_bytes):
    update.append((b"C%02X%02X" % (n, v), b"+\r\n>"))
    update.append((b"C%02X*" % n, b"%02X+\r\n>" % v))
retrieve = [prompt] + [(b"C%02X*" % n, b"%02X+\r\n>" % ((n * 3) & 0xFF)) for n in range(80)]
put("fuzz_box_session", "update-retrieve", session(0x40 | 2 << 1 | 3 << 3, update + retrieve))
put("fuzz_box_session", "update-verify-error",
    session(2 << 1, [prompt, (b"C0000", b"+\r\n>"), (b"C00*", b"01+\r\n>")]))
put("fuzz_box_session", "monitor-short",
    session(0b0000, [prompt, (b"M", b"\r\nPOTS 0000\r\n>"), prompt, (b"M", None)]))
put("fuzz_box_session", "silent", b"\x02")

# ---- settings integers ----
for i, text in enumerate(["2", "9600", "0x10", "$1F", "-5", "+7", "abc", "2147483648",
                          "-2147483648", "0X7fffffff", "-$80000000", " 3", "0x"]):
    put("fuzz_settings_int", "int-%02d" % i, text)

# ---- hexadecimal cells: column, row, then the typed text ----
for i, (col, row, text) in enumerate([(13, 5, "3c"), (1, 1, "1G"), (2, 2, "G5"), (16, 16, "FF"),
                                      (3, 4, "100"), (4, 2, " 1A"), (0, 3, "12"),
                                      (17, 1, "0")]):
    put("fuzz_hex_cell", "cell-%02d" % i, bytes([col, row]) + text.encode())

# ---- table cell numbers: row and output kind, a word, then the typed text ----
for i, text in enumerate(["2.5", "5", "-1", "2.5 ", "6", "3000", "9999", "1e3", ".5", "4.995",
                          "  +0.001", "1.", "abc", "3.4e38", "1e-50"]):
    put("fuzz_table_number", "number-%02d" % i, bytes([(i * 5) % 70, i * 37 % 256, i % 4]) +
        text.encode())

# ---- the clipboard's text, the table's CSV and the range operations: mode (bit 0 frequency,
# bits 1-2 paste / csv / range, bits 3-5 the operation), first and last entry, then the text ----
for i, (mode, first, last, text) in enumerate([
        (0, 10, 0, "2.437\t2.500\n2.625\t2.627\n"), (1, 0, 0, "1000\n5\n"),
        (0, 30, 0, "1;2.5\n3,1.0\n\n2,5x\n"), (2, 0, 0, "entry,v_in,v_out,word\n0,0.000,0.000,0\n"),
        (3, 0, 0, "\ufeffentry,f_out\r\n2,1000\r\n1,\"6\"\r\n"), (2, 0, 0, "entry,word\n1,1\n1,2\n"),
        (4 | 8 * 3, 5, 10, "5"), (5 | 8 * 1, 0, 32, "-100"), (4 | 8 * 4, 0, 4, ""),
        (4 | 8 * 0, 3, 5, "-1")]):
    put("fuzz_table_text", "text-%02d" % i, bytes([mode, first, last]) + text.encode("utf-8"))

# ---- datalogs: the decimal-mark byte (0 found, 1 point, 2 comma), then the log: the head of
# each sample log of tests/data/logs, and a few shapes of their own ----
LOGS = os.path.join(HERE, "..", "data", "logs")
for i, name in enumerate(sorted(os.listdir(LOGS))):
    with open(os.path.join(LOGS, name), "rb") as f:
        head = f.read(3000)
    put("fuzz_log_reader", "sample-" + name, bytes([i % 3 if i % 4 == 0 else 0]) + head)
for name, mark, text in [
        ("clean", 0, "MAF V,STFT %,LTFT %\n1.5,2,3\n1.6,-1,3\n"),
        ("duplicates", 0, "MAF,Trim,Trim,trim\n1.5,1,2,3\n"),
        ("no-rows", 0, "A;B;C\n"),
        ("long-line", 0, "A,B\n1,2\n" + "9" * 3000 + "\n3,4\n"),
        ("narrow-comma", 2, "Zeit;Kanal;Wert;Einheit\n0,0;MAF;1,5;V\n0,0;STFT;2;%\n0,1;MAF;1,6;V\n"),
        ("units-ids", 0, "1,2,3\nTime,MAF (V),STFT\ns,V,%\n\n[Data]\n0.1,1.5,2\n0.2,1.6,\n"),
        ("factors-lambda", 0, "fr_w\tAFR\tLoop\n1.02\t0.98\tCL\n0.99\t1.01\tOL\n")]:
    put("fuzz_log_reader", name, bytes([mark]) + text.encode("latin-1"))
