#!/usr/bin/python3
"""Digest of a conversion folder that two runs of the same converter share:
every MAT field's name, class, shape and bytes (in file order) and the WAV
file's frames and text chunks, leaving out what names the build or the
moment of the run (the MAT header text, `createdBy`, the WAV's software and
date strings). Two conversions with equal digests wrote the same outputs.

    output_digest.py FOLDER            prints one digest line per output
"""
import hashlib
import os
import re
import sys

import numpy as np
import scipy.io as sio
import soundfile as sf

SKIPPED_FIELDS = {"createdBy"}


def _feed(h, name, value):
    h.update(name.encode())
    if hasattr(value, "_fieldnames"):
        for field in value._fieldnames:
            if field not in SKIPPED_FIELDS:
                _feed(h, name + "." + field, getattr(value, field))
        return
    if hasattr(value, "tocsc"):  # sparse mask
        value = value.tocsc()
        h.update(str((value.shape, value.dtype)).encode())
        for part in (value.indptr, value.indices, value.data):
            h.update(np.ascontiguousarray(part).tobytes())
        return
    array = np.asarray(value)
    h.update(str((array.shape, array.dtype)).encode())
    if array.dtype == object:
        for i, item in enumerate(array.flat):
            _feed(h, name + "[%d]" % i, item)
    else:
        h.update(np.ascontiguousarray(array).tobytes())


def mat_digest(path):
    h = hashlib.sha256()
    variables = sio.loadmat(path, squeeze_me=False, struct_as_record=False, mat_dtype=False)
    for name in sorted(k for k in variables if not k.startswith("__")):
        value = variables[name]
        if value.dtype == object and value.size == 1:
            value = value.flat[0]
        _feed(h, name, value)
    h.update(str(os.path.getsize(path)).encode())
    return h.hexdigest()


def wav_digest(path):
    h = hashlib.sha256()
    data, rate = sf.read(path, dtype="int16", always_2d=True)
    h.update(str((rate, data.shape)).encode())
    h.update(data.tobytes())
    with open(path, "rb") as f:
        head = f.read(4096)
    head = head[: head.find(b"data")] if b"data" in head else head
    head = re.sub(rb"ISFT.*?(?=ICRD|ICMT|data|$)", b"", head, flags=re.S)
    head = re.sub(rb"ICRD.*?(?=ICMT|ISFT|data|$)", b"", head, flags=re.S)
    h.update(re.sub(rb"\x00+", b"", head[44:]))
    h.update(str(os.path.getsize(path)).encode())
    return h.hexdigest()


def folder_digests(folder):
    digests = {}
    for name, digest in (("dataOut.mat", mat_digest), ("completeData.mat", mat_digest),
                         ("completeSensorAudio.wav", wav_digest)):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            digests[name] = digest(path)
    gps = os.path.join(folder, "sirfGPSOutput.bin")
    if os.path.exists(gps):
        with open(gps, "rb") as f:
            digests["sirfGPSOutput.bin"] = hashlib.sha256(f.read()).hexdigest()
    return digests


if __name__ == "__main__":
    for name, digest in sorted(folder_digests(sys.argv[1]).items()):
        print(name, digest)
