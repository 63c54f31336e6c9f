#!/usr/bin/env python3
"""An independent reading of an Omicron MATRIX I(V) curve, for the tests.

Usage: matrix_decode.py DATA_FILE PARAMETER_FILE

Prints the figures the parameter file states for the curve (sweep ends,
points, ramp reversal, repetitions), the counts the data file states, and
every recorded point as "k bias_V current_A" in the recording order, each
value written with repr() so that it reads back as the same double.

Layout (little-endian), as the public MATRIX readers describe it:
  both files: "ONTMATRX0101", then blocks: 4-character tag stored reversed,
  uint32 length, 8 bytes of time, then `length` bytes of content.
  parameter file: EEPA (initial settings), PMOD (one changed setting),
  CCSY (channel dictionary and transfer functions), BREF (a data file
  written) blocks, in time order.
  data file: one BKLT block holding 4 bytes, then DESC and DATA sub-blocks
  (tag, uint32 length, content, no time).
Only struct is used, none of the project's code.
"""
import struct
import sys


class Cursor:
    def __init__(self, raw):
        self.raw, self.at = raw, 0

    def take(self, n):
        if self.at + n > len(self.raw):
            raise ValueError("cut short")
        part = self.raw[self.at:self.at + n]
        self.at += n
        return part

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def u64(self):
        return struct.unpack("<Q", self.take(8))[0]

    def tag(self):
        return self.take(4)[::-1].decode("latin-1")

    def text(self):
        return self.take(2 * self.u32()).decode("utf-16-le")

    def value(self):
        kind = self.tag()
        if kind == "BOOL":
            return self.u32() != 0
        if kind == "LONG":
            return self.u32()
        if kind == "DOUB":
            return struct.unpack("<d", self.take(8))[0]
        if kind == "STRG":
            return self.text()
        raise ValueError("value type " + kind)

    def left(self):
        return len(self.raw) - self.at


def blocks(raw):
    """(tag, content) of the top-level blocks after the magic."""
    assert raw[:12] == b"ONTMATRX0101"
    c = Cursor(raw)
    c.at = 12
    while c.left() > 0:
        tag = c.tag()
        length = c.u32()
        c.take(8)
        yield tag, c.take(length)


def sub_blocks(c):
    while c.left() > 0:
        tag = c.tag()
        yield tag, Cursor(c.take(c.u32()))


def read_ccsy(content):
    c = Cursor(content)
    c.take(4)
    channels, dependent, independent, xfer = {}, {}, {}, {}
    for tag, s in sub_blocks(c):
        if tag == "DICT":
            s.take(8)
            for _ in range(s.u32()):
                key, _next = s.u64(), s.u64()
                independent[key] = (s.text(), s.text())
            for _ in range(s.u32()):
                key, axis = s.u64(), s.u64()
                dependent[key] = (axis, s.text(), s.text())
            for _ in range(s.u32()):
                key, dep = s.u64(), s.u64()
                s.text()
                channels[key] = dep
        elif tag == "XFER":
            while s.left() > 0:
                key = s.u64()
                name, unit = s.text(), s.text()
                params = {}
                for _ in range(s.u32()):
                    pname = s.text()
                    params[pname] = s.value()
                xfer[key] = (name, unit, params)
    return channels, dependent, independent, xfer


def state_at(parameter_raw, data_name):
    settings, ccsy = {}, None
    for tag, content in blocks(parameter_raw):
        c = Cursor(content)
        if tag == "EEPA":
            c.take(4)
            for _ in range(c.u32()):
                group = c.text()
                for _ in range(c.u32()):
                    name, unit = c.text(), c.text()
                    c.take(4)
                    settings[group + "." + name] = (c.value(), unit)
        elif tag == "PMOD":
            c.take(4)
            group, name, unit = c.text(), c.text(), c.text()
            c.take(4)
            settings[group + "." + name] = (c.value(), unit)
        elif tag == "CCSY":
            ccsy = read_ccsy(content)
        elif tag == "BREF":
            c.take(4)
            if c.text() == data_name:
                return settings, ccsy
    raise ValueError("no BREF for " + data_name)


def main():
    data_path, parameter_path = sys.argv[1], sys.argv[2]
    data_name = data_path.rsplit("/", 1)[-1]
    settings, (channels, dependent, independent, xfer) = state_at(
        open(parameter_path, "rb").read(), data_name)
    (tag, content), = list(blocks(open(data_path, "rb").read()))
    c = Cursor(content)
    c.take(4)
    parts = dict(sub_blocks(c))
    desc = parts["DESC"]
    key = desc.u64()
    desc.take(12)
    planned, recorded = desc.u32(), desc.u32()
    raw = struct.unpack("<%di" % recorded, parts["DATA"].take(4 * recorded))
    dep = channels[key]
    axis, channel, unit = dependent[dep]
    function, _, p = xfer[dep]
    device = "1" if settings["Spectroscopy.Device_1_Start"][1] == "Volt" else "2"
    get = lambda name: settings["Spectroscopy." + name.replace("#", device)][0]
    start, end, points = get("Device_#_Start"), get("Device_#_End"), get("Device_#_Points")
    print("axis", independent[axis][0])
    print("channel", channel, unit, function)
    print("start", repr(start))
    print("end", repr(end))
    print("points", points)
    print("reversal", int(get("Enable_Device_#_Ramp_Reversal")))
    print("repetitions", get("Device_#_Repetitions"))
    print("planned", planned)
    print("recorded", recorded)
    sweep = 2 * points if get("Enable_Device_#_Ramp_Reversal") else points
    for k, counts in enumerate(raw):
        j = k % sweep
        step = j if j < points else sweep - 1 - j
        bias = end if step == points - 1 else start + (end - start) * step / (points - 1)
        if function == "TFF_MultiLinear1D":
            amperes = (p["Raw_1"] - p["PreOffset"]) * (counts - p["Offset"]) / (
                p["NeutralFactor"] * p["PreFactor"])
        else:
            amperes = (counts - p["Offset"]) / p["Factor"]
        print(k, repr(bias), repr(amperes))


main()
