#!/usr/bin/env python3
"""Byte-level helpers of make_corpus.sh: layer I frames (no Debian package
writes them), header frames, tags and damage added to encoded files."""
import math
import random
import struct
import sys


class Bits:
    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, value, width):
        self.value = (self.value << width) | (value & ((1 << width) - 1))
        self.count += width

    def bytes(self, size):
        pad = size * 8 - self.count
        assert pad >= 0
        return (self.value << pad).to_bytes(size, 'big')


def layer1(rate, channels, path):
    mpeg1 = rate >= 32000
    rates = [44100, 48000, 32000] if mpeg1 else [22050, 24000, 16000]
    kbps = 256 if mpeg1 else 128
    index = 8
    bands = 8
    out = bytearray()
    remainder = 0
    for frame in range(int(1.0 * rate / 384)):
        slots, remainder = divmod(12 * kbps * 1000 + remainder, rate)
        padding = 1 if remainder and frame % 2 else 0
        b = Bits()
        b.put(0xFFF, 12)
        b.put(1 if mpeg1 else 0, 1)
        b.put(3, 2)   # layer I
        b.put(1, 1)   # no CRC
        b.put(index, 4)
        b.put(rates.index(rate), 2)
        b.put(padding, 1)
        b.put(0, 1)
        b.put(3 if channels == 1 else 0, 2)
        b.put(0, 2)
        b.put(0, 4)
        for sb in range(32):
            for ch in range(channels):
                b.put(3 if sb < bands else 0, 4)
        for sb in range(bands):
            for ch in range(channels):
                b.put(8 + sb + 3 * ch, 6)
        for s in range(12):
            for sb in range(bands):
                for ch in range(channels):
                    phase = (frame * 12 + s) * (0.3 + 0.2 * sb + 0.1 * ch)
                    b.put(int(round((math.sin(phase) + 1) / 2 * 14)), 4)
        out += b.bytes((slots + padding) * 4)
    open(path, 'wb').write(out)


def frames(data):
    """Offsets and sizes of the MPEG-1 layer III 44.1 kHz frames of a plain stream."""
    at = 0
    while at + 4 <= len(data):
        h = struct.unpack('>I', data[at:at + 4])[0]
        assert h >> 21 == 0x7FF, hex(h)
        kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320][(h >> 12) & 15]
        size = 144000 * kbps // 44100 + ((h >> 9) & 1)
        yield at, size
        at += size


def vbri(src, dst):
    data = open(src, 'rb').read()
    offsets = list(frames(data))
    first = data[:4]
    size = offsets[0][1]
    head = bytearray(size)
    head[:4] = first
    toc = [offsets[i * 10][1] * 10 // 4 for i in range(len(offsets) // 10)]
    body = b'VBRI' + struct.pack('>HHHII', 1, 1105, 75, len(data) + size, len(offsets))
    body += struct.pack('>HHHH', len(toc), 4, 2, 10) + b''.join(struct.pack('>H', t) for t in toc)
    head[36:36 + len(body)] = body
    open(dst, 'wb').write(bytes(head) + data)


def nolame(src, dst):
    data = bytearray(open(src, 'rb').read())
    at = data.find(b'LAME', 0, 400)
    assert at > 0
    data[at:at + 36] = bytes(36)
    open(dst, 'wb').write(data)


def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])


def id3v2(version, broken=False, padding=0):
    texts = [('TIT2', 'TT2', 'A title'), ('TPE1', 'TP1', 'An artist'), ('TALB', 'TAL', 'An album')]
    body = b''
    for long_id, short_id, text in texts:
        payload = b'\x00' + text.encode()
        if version == 2:
            body += short_id.encode() + len(payload).to_bytes(3, 'big') + payload
        elif version == 3:
            size = len(payload) + (5000 if broken and long_id == 'TALB' else 0)
            body += long_id.encode() + struct.pack('>IH', size, 0) + payload
        else:
            size = len(payload) + (5000 if broken and long_id == 'TALB' else 0)
            body += long_id.encode() + syncsafe(size) + b'\0\0' + payload
    body += bytes(padding)
    return b'ID3' + bytes([version, 0, 0]) + syncsafe(len(body)) + body


def id3v1():
    return (b'TAG' + b'Title'.ljust(30, b' ') + b'Artist'.ljust(30, b' ') +
            b'Album'.ljust(30, b' ') + b'2001' + b'Comment'.ljust(28, b'\0') + b'\0\x01\x0c')


def ape(header=True):
    items = [('Title', b'A title'), ('Artist', b'An artist'), ('Album', b'An album')]
    body = b''.join(struct.pack('<II', len(v), 0) + k.encode() + b'\0' + v for k, v in items)
    size = len(body) + 32
    flags = 1 << 31 if header else 0
    footer = b'APETAGEX' + struct.pack('<IIII', 2000, size, len(items), flags) + bytes(8)
    head = b'APETAGEX' + struct.pack('<IIII', 2000, size, len(items), flags | 1 << 29) + bytes(8)
    return (head if header else b'') + body + footer


def lyrics3(version=2):
    lyrics = b'[00:01]First line\r\n[00:02]Second line'
    if version == 1:
        return b'LYRICSBEGIN' + lyrics + b'LYRICSEND'
    block = b'LYRICSBEGIN' + b'IND00003110' + b'LYR' + b'%05d' % len(lyrics) + lyrics
    return block + b'%06d' % len(block) + b'LYRICS200'


FRONT = {
    'id3v22': lambda: id3v2(2),
    'id3v23': lambda: id3v2(3),
    'id3v24': lambda: id3v2(4),
    'id3v23-padded': lambda: id3v2(3, padding=1024),
    'id3v24-broken-frame': lambda: id3v2(4, broken=True, padding=64),
    'id3v23-broken-frame': lambda: id3v2(3, broken=True),
}
BEHIND = {
    'id3v1': lambda: id3v1(),
    'ape': lambda: ape(),
    'ape-noheader': lambda: ape(header=False),
    'ape-lyrics3': lambda: ape() + lyrics3() + id3v1(),
    'lyrics3-ape': lambda: lyrics3() + ape(header=False) + id3v1(),
    'lyrics3v1': lambda: lyrics3(1) + id3v1(),
    'id3v1-ape-lyrics3': lambda: ape(header=False) + lyrics3() + id3v1(),
}


def tag(kind, src, dst):
    data = open(src, 'rb').read()
    front, behind = b'', b''
    for part in kind.split('+'):
        if part in FRONT:
            front += FRONT[part]()
        else:
            behind += BEHIND[part]()
    open(dst, 'wb').write(front + data + behind)


def junk(src, dst):
    rng = random.Random(14)
    data = open(src, 'rb').read()
    open(dst, 'wb').write(bytes(rng.randrange(0, 0xE0) for _ in range(700)) + data)


def cut(src, dst):
    data = open(src, 'rb').read()
    open(dst, 'wb').write(data[:len(data) - 150])


if __name__ == '__main__':
    what, args = sys.argv[1], sys.argv[2:]
    if what == 'layer1':
        layer1(int(args[0]), int(args[1]), args[2])
    else:
        {'vbri': vbri, 'nolame': nolame, 'tag': tag, 'junk': junk, 'cut': cut}[what](*args)
