#!/usr/bin/python3
"""Converts small recordings with and without -mat73 and reads the MAT v7.3
files back with h5py and with GNU Octave (through examples/load_pelg_mat.m):
every field, in order, with its MATLAB class, shape and contents, masks
included, must be what the MAT v5 files hold (read with scipy), the schedule
fields spelt with "_" for "/".

Usage: test_mat73.py <path of pelgToMatlab> <scratch directory>
"""

import os
import shutil
import subprocess
import sys

import h5py
import numpy as np
import scipy.io
import scipy.sparse

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")
sys.path[:0] = [os.path.join(HERE, "..", "support"), os.path.join(HERE, "..", "..", "python")]
import pelg_files  # noqa: E402
import pelgload  # noqa: E402
from checks import check, finish, paths  # noqa: E402


# --- MAT v7.3 through h5py -----------------------------------------------------

class Struct:
    """A MATLAB struct read from HDF5: its fields in MATLAB's order."""

    def __init__(self, fields):
        self.fields = fields  # list of (name, (class, value))


def h5_read(obj):
    """(MATLAB class, value) of an HDF5 object as MATLAB's load would see it:
    structs in the order of MATLAB_fields, arrays in MATLAB's shape (HDF5
    holds them with the dimensions reversed), text as str, sparse logical
    columns as scipy sparse matrices."""
    cls = obj.attrs.get("MATLAB_class", b"").decode()
    if isinstance(obj, h5py.Group):
        if "MATLAB_sparse" in obj.attrs:
            rows = int(obj.attrs["MATLAB_sparse"])
            jc = obj["jc"][()]
            # A mask without entries holds its column starts alone.
            check(("ir" in obj) == (jc[-1] > 0) and ("data" in obj) == (jc[-1] > 0),
                  "%s: ir and data exactly when there are entries" % obj.name)
            ir = obj["ir"][()] if "ir" in obj else np.zeros(0, np.uint64)
            data = obj["data"][()] if "data" in obj else np.zeros(0, np.uint8)
            return cls, scipy.sparse.csc_matrix((data.astype(bool), ir, jc), shape=(rows, len(jc) - 1))
        names = [b"".join(part).decode() for part in obj.attrs["MATLAB_fields"]]
        return cls, Struct([(name, h5_read(obj[name])) for name in names])
    if obj.attrs.get("MATLAB_empty", 0):
        return cls, np.zeros(tuple(int(d) for d in obj[()]))
    data = obj[()].T
    if cls == "char":
        return cls, "".join(chr(c) for c in data.ravel())
    return cls, data


def v73_name(name):
    return name.replace("/", "_")


def compare(v5, v73, where):
    """v5: a value as scipy.io.loadmat gives it; v73: (class, value) from h5_read."""
    cls, value = v73
    if isinstance(v5, np.ndarray) and v5.dtype.names is not None:
        check(cls == "struct" and isinstance(value, Struct), where + ": struct, got " + cls)
        if not isinstance(value, Struct):
            return
        names = list(v5.dtype.names)
        got = [name for name, _ in value.fields]
        check(got == [v73_name(n) for n in names], where + ": fields %r" % got)
        fields = dict(value.fields)
        for name in names:
            if v73_name(name) in fields:
                compare(v5[name][0, 0], fields[v73_name(name)], where + "." + name)
    elif scipy.sparse.issparse(v5):
        check(cls == "logical" and scipy.sparse.issparse(value), where + ": sparse logical, got " + cls)
        if scipy.sparse.issparse(value):
            check(v5.shape == value.shape, where + ": shape %r, %r" % (v5.shape, value.shape))
            check(np.array_equal(v5.toarray() != 0, value.toarray()), where + ": marked rows")
    elif v5.dtype.kind == "U":
        check(cls == "char" and value == str(v5[0]), where + ": text %r" % (value,))
    else:
        check(cls == "double" and v5.dtype == np.float64, where + ": double, got " + cls)
        check(v5.shape == value.shape, where + ": shape %r, %r" % (v5.shape, value.shape))
        check(np.array_equal(v5, value), where + ": values")


def compare_files(v5_dir, v73_dir, case):
    for name in ("dataOut", "completeData"):
        path = os.path.join(v73_dir, name + ".mat")
        with open(path, "rb") as f:
            check(f.read(19) == b"MATLAB 7.3 MAT-file", case + ": %s header" % name)
        with h5py.File(path, "r") as f:
            check(f.userblock_size == 512, case + ": %s user block" % name)
            check(list(f.keys()) == [name], case + ": %s variables %r" % (name, list(f.keys())))
            v73 = h5_read(f[name])
        v5 = scipy.io.loadmat(os.path.join(v5_dir, name + ".mat"))[name]
        compare(v5, v73, case + ": " + name)


# --- MAT v7.3 through Octave ---------------------------------------------------

OCTAVE_COMPARE = r"""
addpath('%(examples)s');
function ok = same(a, b, where)
  ok = true;
  if issparse(a) || issparse(b)
    # Octave reads a MAT v5 logical mask as sparse double; v7.3 gives logical.
    ok = issparse(a) && issparse(b) && islogical(b) && isequal(size(a), size(b)) ...
         && isequal(full(a) ~= 0, full(b));
  elseif ~strcmp(class(a), class(b)) || ~isequal(size(a), size(b))
    ok = false;
  elseif isstruct(a)
    names = fieldnames(a);
    ok = numel(names) == numel(fieldnames(b));
    for k = 1:numel(names)
      spelt = strrep(names{k}, '/', '_');
      ok = isfield(b, spelt) && same(a.(names{k}), b.(spelt), [where '.' names{k}]) && ok;
    end
  else
    ok = isequal(a, b);
  end
  if ~ok, printf('differs: %%s (%%s %%s, %%s %%s)\n', where, class(a), mat2str(size(a)), class(b), mat2str(size(b))); end
end
ok = true;
for name = {'dataOut', 'completeData'}
  a = load_pelg_mat(fullfile('%(v5)s', [name{1} '.mat']));
  b = load_pelg_mat(fullfile('%(v73)s', [name{1} '.mat']));
  ok = same(a, b, name{1}) && ok;
end
masks = fieldnames(b.completeData.missingSamples);
ok = ok && numel(masks) > 0 && islogical(b.completeData.missingSamples.(masks{1}));
if ok, disp('same'); exit(0); else exit(1); end
"""


def octave_compare(v5_dir, v73_dir, case):
    octave = shutil.which("octave")
    if not octave:
        print("octave not installed: skipping the Octave check")
        return
    script = os.path.join(v73_dir, "compare.m")
    with open(script, "w") as f:
        f.write(OCTAVE_COMPARE % {"examples": os.path.abspath(EXAMPLES), "v5": v5_dir, "v73": v73_dir})
    run = subprocess.run([octave, "--no-gui", "--no-window-system", "--quiet", "--norc", script],
                         capture_output=True, text=True)
    check(run.returncode == 0 and "same" in run.stdout,
          case + ": Octave reads the v7.3 files as the v5 files, status %d\n%s%s"
          % (run.returncode, run.stdout, run.stderr))


# --- MAT v7.3 through pelgload ----------------------------------------------------

def pelgload_compare(v5_dir, v73_dir, case):
    """python/pelgload reads the converter's own v7.3 files as the v5 files."""
    a, b = pelgload.load(v5_dir), pelgload.load(v73_dir)
    check(b.info["files"]["dataOut.mat"] == "MAT v7.3", case + ": pelgload sees MAT v7.3")
    for key in ("schedule", "tiv_schedule", "serial_number", "start", "source_files", "has_tiv"):
        check(a.info[key] == b.info[key], case + ": pelgload info %s %r, %r" % (key, a.info[key], b.info[key]))
    for kind in ("data_out", "complete"):
        ca, cb = getattr(a, kind), getattr(b, kind)
        check(list(ca) == list(cb), case + ": pelgload %s channels" % kind)
        for name in ca:
            if name in cb:
                same = np.array_equal(ca[name].values, cb[name].values) and \
                    np.array_equal(ca[name].seconds, cb[name].seconds)
                if kind == "complete":
                    same = same and np.array_equal(ca[name].filled, cb[name].filled)
                check(same, case + ": pelgload %s %s" % (kind, name))


# --- cases -----------------------------------------------------------------------

def convert_both(binary, work, inputs, case):
    dirs = []
    for options, sub in (([], "v5"), (["-mat73"], "v73")):
        out = os.path.join(work, sub) + "/"
        os.makedirs(out)
        run = subprocess.run([binary, "-outputdir", out] + options + inputs, cwd=work,
                             capture_output=True, text=True)
        check(run.returncode == 0, case + " %s: status %d\n%s" % (sub, run.returncode, run.stdout))
        dirs.append(out)
    return dirs


def hand_made(binary, scratch):
    """A file with TIV data, gaps, a late first value, a channel with one
    value and empty channels (GAPS_WITH_TIV, the recording of the output tests)."""
    work = os.path.join(scratch, "hand_made")
    os.makedirs(work)
    # A name beyond ASCII: sourceFiles must read the same from either version.
    name = "Z\u00fcrich-\u6771\u4eac.pelg"
    pelg_files.pelg_file(os.path.join(work, name), pelg_files.START_MS, pelg_files.GAPS_WITH_TIV,
                         tiv=True)
    v5, v73 = convert_both(binary, work, [name], "hand_made")
    compare_files(v5, v73, "hand_made")
    # Spot checks straight from HDF5.
    with h5py.File(v73 + "completeData.mat", "r") as f:
        compass = f["completeData/missingSamples/compass"]
        check(compass.attrs["MATLAB_class"] == b"logical" and int(compass.attrs["MATLAB_sparse"]) == 6,
              "hand_made: compass mask attributes")
        check(list(compass["ir"][()]) == [3, 4], "hand_made: compass mask rows")
        check(f["completeData/mag"].shape == (3, 2), "hand_made: mag stored as 3 x 2 (MATLAB 2 x 3)")
    with h5py.File(v73 + "dataOut.mat", "r") as f:
        check(float(f["dataOut/stat/schedule/hux_audio"][0, 0]) == 40.0, "hand_made: hux_audio")
        check("tiv_z_mag" in f["dataOut/stat/tiv_schedule"], "hand_made: tiv_z_mag")
    octave_compare(v5, v73, "hand_made")
    pelgload_compare(v5, v73, "hand_made")


def simulated(binary, scratch):
    """A pelgsim recording: both boards, GPS, gaps, two files."""
    pelgsim = os.path.join(os.path.dirname(binary), "pelgsim")
    if not os.path.exists(pelgsim):
        print("pelgsim not built: skipping the simulated recording")
        return
    work = os.path.join(scratch, "simulated")
    subprocess.run([pelgsim, "-q", "-o", os.path.join(work, "in"), "--duration", "90", "--files", "2",
                    "--tiv", "--sirf", "--gaps", "2", "--gap-length", "8", "--seed", "3"], check=True)
    inputs = sorted(os.path.join("in", n) for n in os.listdir(os.path.join(work, "in")))
    v5, v73 = convert_both(binary, work, inputs, "simulated")
    compare_files(v5, v73, "simulated")
    octave_compare(v5, v73, "simulated")
    pelgload_compare(v5, v73, "simulated")


def main():
    binary, scratch = paths(2)
    hand_made(binary, scratch)
    simulated(binary, scratch)
    return finish("MAT v7.3")


if __name__ == "__main__":
    sys.exit(main())
