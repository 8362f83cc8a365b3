"""PELG files for the Python tests: recordings written packet by packet,
pelgsim recordings, the header surgery that pelgsim does not offer (another
board serial number, a file cut down to its header, a damaged header), and
the names that the converter's MAT-files give their fields."""

import os
import struct
import subprocess

# --- MAT-file field names ----------------------------------------------------

# The schedule's sources, in the order of dataOut.stat.schedule and tiv_schedule.
HUX_LABELS = ["hux/audio", "hux/bar_press", "hux/compass", "hux/hf_vis_light", "hux/humidity",
              "hux/ir_light", "hux/amb_light", "hux/temp", "hux/temp_sensiron", "hux/vis_light",
              "hux/x_accel", "hux/y_accel", "hux/z_accel", "hux/mag_accel"]
TIV_LABELS = ["tiv/x_gyro", "tiv/y_gyro", "tiv/z_gyro", "tiv/x_gyroTemp", "tiv/y_gyroTemp",
              "tiv/z_gyroTemp", "tiv/x_mag", "tiv/y_mag", "tiv/z_mag"]

# dataOut's channel and time fields of each board, in file order.
DATAOUT_HUX = ["accelTime", "accelX", "accelY", "accelZ", "compassTime", "compass",
               "visFreqLightGain", "visFreqLightTime", "visFreqLight", "VisLightTime", "VisLight",
               "IRLightTime", "IRLight", "AmbientLightTime", "AmbientLight", "BarTempTime",
               "BarTemp", "BarPresTime", "BarPres", "ShtTempTime", "ShtTemp", "ShtHumidTime",
               "ShtHumid"]
DATAOUT_TIV = ["gyroTime", "gyroX", "gyroY", "gyroZ", "gyroTempX", "gyroTempY", "gyroTempZ",
               "magXTime", "magX", "magYTime", "magY", "magZTime", "magZ"]
# completeData's channels of each board (each with its Time and _SR fields
# and its missingSamples mask), in file order.
HUX_OWNERS = ["accel", "visFreqLight", "compass", "VisLight", "IRLight", "AmbientLight",
              "BarPres", "BarTemp", "ShtHumid", "ShtTemp"]
TIV_OWNERS = ["gyro", "gyroTemp", "mag"]

# --- PELG files written by hand ------------------------------------------------

# 10 interrupts per second (interrupt_count 100, in tenths of a hertz), so one
# time-counter step is 100 interrupts and a packet at time index t is t / 10
# seconds. Sensors at 10 Hz deliver one sample per interrupt; the microphone
# at 40 Hz four.
INTR = 100
SENSOR_RATE = 100
MIC_HZ = 40
START_MS = 1710406800000  # 2024-03-14 09:00:00 UTC

HUX_ID, SIRF_ID, TIV_ID = 0, 1, 2


def entry(tag, value):
    return tag.encode().ljust(4)[:4] + struct.pack("<BIi", 0, 4, value)


def device(tag, entries):
    return (tag.encode().ljust(4)[:4] + struct.pack("<IHHI", 0, 0, 0, len(entries))
            + b"".join(entries))


def header(start_ms, mic_hz=MIC_HZ, tiv=False):
    hux = [entry("intr", INTR), entry("mic ", mic_hz), entry("acc ", SENSOR_RATE),
           entry("amb ", SENSOR_RATE), entry("bar ", SENSOR_RATE), entry("comp", SENSOR_RATE),
           entry("dals", SENSOR_RATE), entry("hum ", SENSOR_RATE), entry("powr", 1),
           entry("bdnr", 0x1234), entry("hver", 2), entry("swma", 1), entry("swmi", 7),
           entry("wd01", 0xB8F2), entry("wd02", 0x9A4B), entry("wd03", 0xBD18),
           entry("wd04", 0xC4A6)]
    devices = [device("hux2", hux), device("sgps", [])]
    if tiv:
        devices.append(device("tiv ", [
            entry("intr", INTR), entry("gyro", SENSOR_RATE), entry("mag ", SENSOR_RATE),
            entry("powr", 1), entry("bdnr", 0x42), entry("hver", 1), entry("swma", 3),
            entry("swmi", 2), entry("wd01", 11), entry("wd02", 22), entry("wd03", 33),
            entry("wd04", 44)]))
    return (b"PELG" + struct.pack("<IQI", 2, start_ms, 0)
            + struct.pack("<I", len(devices)) + b"".join(devices))


def message(subtype, count_or_mask, t, data):
    """A board message: marker, subtype, count or mask, the time counter and
    interrupt counter of time index t (time counter 0 while t < INTR), data
    and checksum."""
    body = struct.pack("<BBBH", subtype, count_or_mask, t // INTR, t % INTR) + data
    return b"#|" + body + bytes([sum(body) & 0xFF])


def audio(t, samples):
    return message(8, len(samples), t, b"".join(struct.pack("<H", (s + 32768) & 0xFFFF)
                                                  for s in samples))


def hux_sensor(t, accel=None, compass=None, vis_light=None):
    mask, data = 0, b""
    if accel is not None:
        mask |= 0x01
        data += struct.pack("<hhh", *accel)
    if compass is not None:
        mask |= 0x08
        data += struct.pack("<H", compass)
    if vis_light is not None:
        mask |= 0x02
        data += struct.pack("<B", vis_light)
    return message(0, mask, t, data)


def tiv_sensor(t, gyro=None, mag_x=None, mag_y=None, mag_z=None):
    mask, data = 0, b""
    if gyro is not None:
        mask |= 0x01
        data += struct.pack("<hhhhhh", *gyro)
    for bit, value in ((0x02, mag_x), (0x04, mag_y), (0x08, mag_z)):
        if value is not None:
            mask |= bit
            data += struct.pack("<h", value)
    return message(0, mask, t, data)


def pelg_file(path, start_ms, packets, mic_hz=MIC_HZ, tiv=False):
    data = header(start_ms, mic_hz, tiv)
    for device_id, payload in packets:
        data += struct.pack("<HII", device_id, 0, len(payload)) + payload
    with open(path, "wb") as f:
        f.write(data)


# A recording with TIV data (pelg_file(..., tiv=True)), packets 1 to 11: a
# compass gap, a late first accelerometer value, a visible-light channel with
# one value, an audio gap, and a magnetometer Y axis that misses a value.
GAPS_WITH_TIV = [
    (HUX_ID, audio(0, [1, 2, 3, 4])),                                                 # packet 1
    (HUX_ID, hux_sensor(0, compass=500)),                                             # 2
    (TIV_ID, tiv_sensor(0, gyro=(1, 2, 3, 0, 0, 0), mag_x=10, mag_y=20, mag_z=30)),   # 3
    (HUX_ID, hux_sensor(1, compass=510, vis_light=0x12)),                             # 4
    (TIV_ID, tiv_sensor(1, gyro=(4, 5, 6, 0, 0, 0), mag_x=11, mag_z=31)),             # 5
    (HUX_ID, hux_sensor(2, compass=520)),                                             # 6
    (TIV_ID, tiv_sensor(2, gyro=(7, 8, 9, 0, 0, 0), mag_x=12, mag_y=22, mag_z=32)),   # 7
    (HUX_ID, hux_sensor(3, accel=(16383, 0, -16383))),                                # 8
    (HUX_ID, audio(3, [5, 6, 7, 8])),                                                 # 9
    (HUX_ID, hux_sensor(4, accel=(0, 16383, 0))),                                     # 10
    (HUX_ID, hux_sensor(6, compass=560)),                                             # 11
]


# --- pelgsim recordings and header surgery ---------------------------------------


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
