"""PELG files for the tool tests: pelgsim recordings and the header surgery
that pelgsim does not offer (another board serial number, a file cut down to
its header, a damaged header)."""

import os
import struct
import subprocess


def simulate(pelgsim, folder, stem, *args):
    """Runs pelgsim into folder; returns the files it wrote, in name order."""
    os.makedirs(folder, exist_ok=True)
    before = set(os.listdir(folder))
    # The listings name exact start times: the logger's clock is the boards'.
    subprocess.run([pelgsim, "-q", "-o", folder, "--stem", stem, "--exact-clocks"] + list(args), check=True)
    return sorted(os.path.join(folder, f) for f in set(os.listdir(folder)) - before)


def _header_layout(data):
    """(offset of each device's entries as (tag, value offset, length) lists,
    header length) of a PELG file's bytes."""
    pos = 4 + 4 + 8
    (globals_count,) = struct.unpack_from("<I", data, pos)
    pos += 4
    for _ in range(globals_count):
        (length,) = struct.unpack_from("<I", data, pos + 5)
        pos += 9 + length
    (device_count,) = struct.unpack_from("<I", data, pos)
    pos += 4
    devices = []
    for _ in range(device_count):
        tag = data[pos:pos + 4].decode("ascii", "replace")
        (entry_count,) = struct.unpack_from("<I", data, pos + 12)
        pos += 16
        entries = []
        for _ in range(entry_count):
            entry_tag = data[pos:pos + 4].decode("ascii", "replace")
            (length,) = struct.unpack_from("<I", data, pos + 5)
            entries.append((entry_tag, pos + 9, length))
            pos += 9 + length
        devices.append((tag, entries))
    return devices, pos


def set_entry(path, entry, value, device="hux2"):
    """Gives a 4-byte entry of the named device's header block a new value."""
    with open(path, "r+b") as f:
        data = f.read()
        devices, _ = _header_layout(data)
        for tag, entries in devices:
            if tag != device:
                continue
            for entry_tag, offset, length in entries:
                if entry_tag == entry and length == 4:
                    f.seek(offset)
                    f.write(struct.pack("<i", value))
                    return
    raise ValueError("no %s entry of %s in %s" % (entry, device, path))


def set_serial(path, serial, device="hux2"):
    """Gives the named device's board serial number ("bdnr") a new value."""
    set_entry(path, "bdnr", serial, device)


def cut_to_header(path):
    """Leaves the file's header and no packet."""
    with open(path, "rb") as f:
        data = f.read()
    _, length = _header_layout(data)
    with open(path, "wb") as f:
        f.write(data[:length])


def damage_header(path):
    """Overwrites the magic, so that the header no longer reads as PELG."""
    with open(path, "r+b") as f:
        f.write(b"JUNK")
