"""pelgload: the outputs of pelgToMatlab in Python.

    import pelgload
    r = pelgload.load('out')        # the folder pelgToMatlab wrote into
    r.info                          # serial numbers, start, schedules, source files, value form
    r.complete['accel'].values      # n x 3, uniformly sampled; .filled is a bool mask
    r.data_out['BarPres'].timestamps
    r.to_dataframe()                # {rate in Hz: DataFrame}
    r.report                        # the folder's report.json (-jsonReport) as a dict, or None
"""

from .catalogue import CONVERTED, INTEGER, UNITS, UNKNOWN, unit_of
from .matfile import FORMAT_V5, FORMAT_V73, read_mat
from .recording import Audio, Channel, Recording, load

__version__ = "1.0.0"
__all__ = ["load", "Recording", "Channel", "Audio", "read_mat", "unit_of", "UNITS",
           "CONVERTED", "INTEGER", "UNKNOWN", "FORMAT_V5", "FORMAT_V73"]
