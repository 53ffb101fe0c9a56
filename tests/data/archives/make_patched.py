#!/usr/bin/env python3
"""Archives no Debian tool writes as needed: ZIPs made with zipfile and then
patched (folder entries marked only by their attributes, ZIP64 extra fields),
and RAR containers written from the format's public description, each storing
a ZIP. Called by make_archives.sh with the folder to write into."""
import struct
import sys
import zipfile
import zlib
from io import BytesIO
from pathlib import Path

out = Path(sys.argv[1])
readme = "".join(f"Line {i} of the read-me text.\n" for i in range(1, 41)).encode()
prog = b"P" * 2000
stamp = (2001, 2, 3, 4, 5, 6)


def entry(name, system, attributes, compress=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, stamp)
    info.create_system = system
    info.external_attr = attributes
    info.compress_type = compress
    return info


def zip_bytes(entries):
    buffer = BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for info, data in entries:
            z.writestr(info, data)
    return buffer.getvalue()


def write_zip(path, entries):
    path.write_bytes(zip_bytes(entries))


# Folders as old DOS and Windows tools store them: no trailing '/', only the
# directory bit (MS-DOS, NTFS), or the Unix file type.
write_zip(out / "zip/dos_folders.zip", [
    (entry("PROG.EXE", 0, 0x20), prog),
    (entry("README.TXT", 0, 0x10), b""),
    (entry("NOTES.TXT", 10, 0x10), b""),
    (entry("GUIDE.TXT", 3, 0o040755 << 16), b""),
])
# Files with the same makers' attributes stay files.
write_zip(out / "zip/dos_files.zip", [
    (entry("PROG.EXE", 10, 0x20), prog),
    (entry("README.TXT", 0, 0x21, zipfile.ZIP_DEFLATED), readme),
])


def with_zip64_extra(data, original=None, compressed=None):
    """Moves every central record's sizes and local offset into a ZIP64
    extra field, the 32-bit fields saying 0xFFFFFFFF; sizes may be replaced."""
    end = data.rindex(b"PK\x05\x06")
    count, size, start = struct.unpack_from("<HII", data, end + 10)
    records = b""
    pos = start
    for _ in range(count):
        fixed = bytearray(data[pos:pos + 46])
        name_len, extra_len, comment_len = struct.unpack_from("<HHH", fixed, 28)
        real_compressed, real_original = struct.unpack_from("<II", fixed, 20)
        local = struct.unpack_from("<I", fixed, 42)[0]
        rest = data[pos + 46:pos + 46 + name_len + extra_len + comment_len]
        name = rest[:name_len]
        extra = struct.pack("<HHQQQ", 1, 24, original or real_original,
                            compressed or real_compressed, local)
        struct.pack_into("<II", fixed, 20, 0xFFFFFFFF, 0xFFFFFFFF)
        struct.pack_into("<I", fixed, 42, 0xFFFFFFFF)
        struct.pack_into("<H", fixed, 30, extra_len + len(extra))
        records += bytes(fixed) + name + extra + rest[name_len:]
        pos += 46 + name_len + extra_len + comment_len
    tail = bytearray(data[end:])
    struct.pack_into("<I", tail, 12, len(records))
    return data[:start] + records + bytes(tail)


plain = zip_bytes([(entry("README.TXT", 3, 0o100644 << 16, zipfile.ZIP_DEFLATED), readme),
                   (entry("PROG.EXE", 3, 0o100644 << 16), prog)])
(out / "zip/zip64_extra.zip").write_bytes(with_zip64_extra(plain))
# Sizes beyond 32 bits, claimed: 6 GiB packed into 5 GiB.
(out / "zip/zip64_huge.zip").write_bytes(
    with_zip64_extra(plain, original=6 << 30, compressed=5 << 30))

# A NUL inside a stored name: "evil.exe\0.txt" is the program evil.exe.
# (zipfile itself cuts names at a NUL, so the byte is patched in.)
evil = zip_bytes([(entry("evil.exe_.txt", 3, 0o100644 << 16), prog)])
(out / "zip/nul_in_name.zip").write_bytes(evil.replace(b"evil.exe_.txt", b"evil.exe\0.txt"))

# --- RAR --------------------------------------------------------------------
stored = (out / "zip/plain.zip").read_bytes()
dos_time = (21 << 25) | (2 << 21) | (3 << 16) | (4 << 11) | (5 << 5) | 3


def rar4_block(head_type, flags, body, data=b""):
    header = struct.pack("<BHH", head_type, flags, 7 + len(body)) + body
    return struct.pack("<H", zlib.crc32(header) & 0xFFFF) + header + data


name = b"inner.zip"
rar4 = (b"Rar!\x1a\x07\x00"
        + rar4_block(0x73, 0, b"\0" * 6)
        # File: packed and unpacked size, host (2 Win32), CRC, time, version
        # 2.0, method 0x30 (store), name length, attributes, name.
        + rar4_block(0x74, 0x8000,
                     struct.pack("<IIBIIBBHI", len(stored), len(stored), 2,
                                 zlib.crc32(stored), dos_time, 20, 0x30, len(name), 0x20)
                     + name, stored)
        + rar4_block(0x7B, 0x4000, b""))
(out / "foreign/rar4_holding_zip.rar").write_bytes(rar4)


def vint(value):
    result = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        result.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(result)


def rar5_block(fields, data=b""):
    size = vint(len(fields))
    return struct.pack("<I", zlib.crc32(size + fields)) + size + fields + data


rar5 = (b"Rar!\x1a\x07\x01\x00"
        + rar5_block(vint(1) + vint(0) + vint(0))  # main header, no flags
        # File header: type 2, flags "has data", data size; file flags "CRC
        # present", unpacked size, attributes, CRC, method 0 (store), host 0
        # (Windows), name.
        + rar5_block(vint(2) + vint(2) + vint(len(stored)) + vint(4) + vint(len(stored))
                     + vint(0x20) + struct.pack("<I", zlib.crc32(stored)) + vint(0) + vint(0)
                     + vint(len(name)) + name, stored)
        + rar5_block(vint(5) + vint(0) + vint(0)))  # end of archive
(out / "foreign/rar5_holding_zip.rar").write_bytes(rar5)
