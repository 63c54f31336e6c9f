"""Attributes as netCDF stores them, and the names stsgrid's file gives."""
import re

import numpy as np

from . import _core


def status_attributes(long_name, lockin=False):
    """units, long_name, flag_values and flag_meanings of a pixel-code
    variable: the words of the engine's table of pixel codes
    (grid/pixel_codes.h), all of them with a lock-in channel."""
    meanings = _core.pixel_flag_meanings if lockin else _core.pixel_flag_meanings_without_lockin
    count = len(meanings.split())
    return {"units": "1", "long_name": long_name,
            "flag_values": np.arange(count, dtype=np.int8), "flag_meanings": meanings}


def attribute_name(key):
    """A header key as an attribute name: letters, digits and underscores
    ("Bias Spectroscopy>Sweep Start (V)" -> "Bias_Spectroscopy_Sweep_Start_V")."""
    name = re.sub(r"[^A-Za-z0-9_]+", "_", key).strip("_")
    if not name or name[0].isdigit():
        name = "h_" + name
    return name


def text(b):
    """Header bytes as text: UTF-8 where they are, else Latin-1 (which
    every byte is), as instruments write either."""
    if isinstance(b, str):
        return b
    try:
        return b.decode("utf-8")
    except UnicodeDecodeError:
        return b.decode("latin-1")


def flat_attributes(entries, prefix=""):
    """(key, value) pairs of text as attributes netCDF can store: names made
    safe, values as text without NUL; a later key replaces an earlier one,
    as the readers take the last."""
    attrs = {}
    for key, value in entries:
        key, value = text(key), text(value)
        if re.search(r"[A-Za-z0-9]", key):
            attrs[prefix + attribute_name(key)] = str(value).replace("\0", "")
    return attrs
