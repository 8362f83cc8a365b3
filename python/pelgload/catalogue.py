"""The channels of pelgToMatlab's two MAT-files and their units.

Each channel has a unit in each of the two forms the converter can write:
the converted values (the default) and the boards' integer readings
(pelgToMatlab -integerOutput).
"""

CONVERTED = "converted"
INTEGER = "integer"
UNKNOWN = "unknown"

# Quantity of each dataOut channel: (converted unit, integer-form unit).
UNITS = {
    "accelX": ("g", "1/16384 g"),
    "accelY": ("g", "1/16384 g"),
    "accelZ": ("g", "1/16384 g"),
    "compass": ("degree", "0.1 degree"),
    "visFreqLightGain": ("gain setting", "gain setting"),
    "visFreqLight": ("sensor units", "raw counts"),
    "VisLight": ("sensor units", "raw counts"),
    "IRLight": ("sensor units", "raw counts"),
    "AmbientLight": ("sensor units", "raw counts"),
    "BarTemp": ("degC", "0.01 degC"),
    "BarPres": ("mbar", "0.1 mbar"),
    "ShtTemp": ("degC", "0.01 degC"),
    "ShtHumid": ("%RH", "0.01 %RH"),
    "gyroX": ("sensor units", "sensor units"),
    "gyroY": ("sensor units", "sensor units"),
    "gyroZ": ("sensor units", "sensor units"),
    "gyroTempX": ("degF", "0.01 degF"),
    "gyroTempY": ("degF", "0.01 degF"),
    "gyroTempZ": ("degF", "0.01 degF"),
    "magX": ("sensor units", "sensor units"),
    "magY": ("sensor units", "sensor units"),
    "magZ": ("sensor units", "sensor units"),
}

# dataOut channels in file order, each with the time field that serves it.
DATA_OUT_CHANNELS = [
    ("accelX", "accelTime"), ("accelY", "accelTime"), ("accelZ", "accelTime"),
    ("compass", "compassTime"),
    ("visFreqLightGain", "visFreqLightTime"), ("visFreqLight", "visFreqLightTime"),
    ("VisLight", "VisLightTime"), ("IRLight", "IRLightTime"),
    ("AmbientLight", "AmbientLightTime"), ("BarTemp", "BarTempTime"),
    ("BarPres", "BarPresTime"), ("ShtTemp", "ShtTempTime"), ("ShtHumid", "ShtHumidTime"),
    ("gyroX", "gyroTime"), ("gyroY", "gyroTime"), ("gyroZ", "gyroTime"),
    ("gyroTempX", "gyroTime"), ("gyroTempY", "gyroTime"), ("gyroTempZ", "gyroTime"),
    ("magX", "magXTime"), ("magY", "magYTime"), ("magZ", "magZTime"),
]

# completeData channels in file order: name -> the dataOut channel whose unit
# it carries, and the names of its columns (None for one column).
COMPLETE_CHANNELS = {
    "accel": ("accelX", ["x", "y", "z"]),
    "visFreqLight": ("visFreqLight", None),
    "compass": ("compass", None),
    "VisLight": ("VisLight", None),
    "IRLight": ("IRLight", None),
    "AmbientLight": ("AmbientLight", None),
    "BarPres": ("BarPres", None),
    "BarTemp": ("BarTemp", None),
    "ShtHumid": ("ShtHumid", None),
    "ShtTemp": ("ShtTemp", None),
    "gyro": ("gyroX", ["x", "y", "z"]),
    "gyroTemp": ("gyroTempX", ["x", "y", "z"]),
    "mag": ("magX", ["x", "y", "z"]),
}

# The schedule source that gives each completeData channel its rate.
COMPLETE_SOURCES = {
    "accel": "hux/x_accel", "visFreqLight": "hux/hf_vis_light", "compass": "hux/compass",
    "VisLight": "hux/vis_light", "IRLight": "hux/ir_light", "AmbientLight": "hux/amb_light",
    "BarPres": "hux/bar_press", "BarTemp": "hux/temp", "ShtHumid": "hux/humidity",
    "ShtTemp": "hux/temp_sensiron", "gyro": "tiv/x_gyro", "gyroTemp": "tiv/x_gyroTemp",
    "mag": "tiv/x_mag",
}


def unit_of(channel, form):
    """Unit of a dataOut or completeData channel's values in the given form;
    both units joined by " or " when the form is unknown."""
    base = COMPLETE_CHANNELS.get(channel, (channel, None))[0]
    converted, integer = UNITS.get(base, ("", ""))
    if form == CONVERTED:
        return converted
    if form == INTEGER:
        return integer
    return converted if converted == integer else "%s or %s" % (converted, integer)
