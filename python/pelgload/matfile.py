"""Reading MAT-files of version 5 (through scipy) and version 7.3 (HDF5,
through h5py) into the same plain form:

- a struct becomes a dict whose keys keep the file's field order;
- a numeric or logical array becomes a 2-D numpy array with MATLAB's shape
  (rows x columns), logical arrays as bool;
- a character array becomes a str;
- a sparse array becomes a scipy.sparse CSC matrix (bool for logical).
"""

import numpy as np
import scipy.io
import scipy.sparse

FORMAT_V5 = "MAT v5"
FORMAT_V73 = "MAT v7.3"


# An HDF5 file starts with this signature at offset 0, 512, 1024, 2048, ...;
# a MAT v7.3 file has it at 512, after its text header.
_HDF5_SIGNATURE = b"\x89HDF\r\n\x1a\n"


def mat_format(path):
    """FORMAT_V73 for an HDF5-based MAT-file, FORMAT_V5 otherwise."""
    with open(path, "rb") as f:
        head = f.read(2048 + len(_HDF5_SIGNATURE))
    for offset in (0, 512, 1024, 2048):
        if head[offset:offset + len(_HDF5_SIGNATURE)] == _HDF5_SIGNATURE:
            return FORMAT_V73
    return FORMAT_V5


def read_mat(path):
    """All variables of the MAT-file at path, as {name: value} in the plain
    form above, and the file's format (FORMAT_V5 or FORMAT_V73)."""
    fmt = mat_format(path)
    if fmt == FORMAT_V73:
        import h5py  # only needed for this form (Debian: python3-h5py)
        with h5py.File(path, "r") as f:
            names = [n for n in f.keys() if not n.startswith("#")]
            return {n: _from_hdf5(f[n]) for n in names}, fmt
    raw = scipy.io.loadmat(path, squeeze_me=False, struct_as_record=False, chars_as_strings=True)
    return {n: _from_v5(v) for n, v in raw.items() if not n.startswith("__")}, fmt


# --- MAT v5 -------------------------------------------------------------------

def _from_v5(value):
    if isinstance(value, scipy.io.matlab.mat_struct):
        return {name: _from_v5(getattr(value, name)) for name in value._fieldnames}
    if scipy.sparse.issparse(value):
        matrix = scipy.sparse.csc_matrix(value)
        # scipy gives the logical class as uint8; a mask is a boolean.
        if matrix.dtype == np.uint8:
            matrix = matrix.astype(bool)
        return matrix
    if isinstance(value, np.ndarray):
        if value.dtype == object:
            # A 1x1 struct or cell comes wrapped in an object array.
            if value.size == 1:
                return _from_v5(value.flat[0])
            return [_from_v5(v) for v in value.flat]
        if value.dtype.kind == "U":
            return "".join(value.ravel().tolist())
        return np.atleast_2d(value)
    if isinstance(value, str):
        return value
    return value


# --- MAT v7.3 (HDF5) -----------------------------------------------------------

def _attr_text(obj, name):
    value = obj.attrs.get(name)
    if value is None:
        return None
    if isinstance(value, bytes):
        return value.decode("ascii", "replace")
    if isinstance(value, np.ndarray) and value.dtype.kind == "S":
        return b"".join(value.ravel().tolist()).decode("ascii", "replace")
    return str(value)


def _field_order(group):
    """Field names in the file's order: the MATLAB_fields attribute when present
    (HDF5 itself lists members by name), else the members as listed."""
    fields = group.attrs.get("MATLAB_fields")
    if fields is None:
        return list(group.keys())
    names = []
    for entry in fields:
        name = b"".join(np.asarray(entry).ravel().tolist()).decode("ascii", "replace")
        names.append(name)
    return names


def _from_hdf5(obj):
    matlab_class = _attr_text(obj, "MATLAB_class")
    if hasattr(obj, "keys"):  # an h5py Group
        if "MATLAB_sparse" in obj.attrs:
            return _sparse_from_hdf5(obj, matlab_class)
        # A struct. A field whose member is missing (a name that HDF5 cannot
        # hold as a link, "hux/audio" for one) is left out.
        return {name: _from_hdf5(obj[name]) for name in _field_order(obj) if name in obj}
    data = obj[()]
    if obj.attrs.get("MATLAB_empty", 0):
        # An empty array stores its dimensions as its data, in MATLAB's order.
        dims = np.asarray(data).ravel().astype(int)
        shape = tuple(dims) if dims.size >= 2 else (0, 0)
        if matlab_class == "char":
            return ""
        return np.zeros(shape, dtype=bool if matlab_class == "logical" else float)
    if matlab_class == "char":
        codes = np.asarray(data).T.ravel()
        return "".join(chr(int(c)) for c in codes)
    array = np.asarray(data)
    if array.dtype.kind == "V" and array.dtype.names and "real" in array.dtype.names:
        array = array["real"] + 1j * array["imag"]
    array = np.atleast_2d(array).T  # HDF5 keeps MATLAB's column-major dimensions reversed
    if matlab_class == "logical":
        array = array.astype(bool)
    return array


def _sparse_from_hdf5(group, matlab_class):
    rows = int(group.attrs["MATLAB_sparse"])
    jc = np.asarray(group["jc"][()], dtype=np.int64)
    columns = jc.size - 1
    ir = np.asarray(group["ir"][()], dtype=np.int64) if "ir" in group else np.zeros(0, np.int64)
    if "data" in group:
        data = np.asarray(group["data"][()])
    else:
        data = np.zeros(ir.size)
    dtype = bool if matlab_class == "logical" else data.dtype
    return scipy.sparse.csc_matrix((data.astype(dtype), ir, jc), shape=(rows, columns))
