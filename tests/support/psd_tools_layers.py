#!/usr/bin/env python3
"""Draws, with psd-tools, every layer of Photoshop documents that psd-tools
draws on its own: visible pixel layers without effects that are not clipped
to another, in grey and RGB documents of 8 and 16 bits. Left out are layers
whose clipped layers have effects, and masks with density or feather
(psd-tools draws neither).

Usage: psd_tools_layers.py OUT DOCUMENT...

Document number d (0 from the first) gets the folder OUT/d; its layer n (1
from the bottom) is written as OUT/d/n.png (RGBA, its layer.composite(),
cut to the layer's box) and printed as one line: d, n, the box (left top
right bottom), the names of the groups above it, its own name;
tab-separated. A document psd-tools cannot open prints nothing."""
import logging
import os
import sys
import warnings

warnings.filterwarnings("ignore")
logging.disable(logging.CRITICAL)

from psd_tools import PSDImage


def clean(name):
    return name.replace("\t", " ").replace("\n", " ")


def draw(number, path, out):
    psd = PSDImage.open(path)
    if psd.color_mode not in (1, 3) or psd.depth not in (8, 16):
        return
    folder = os.path.join(out, str(number))
    os.makedirs(folder, exist_ok=True)
    n = 0
    for layer in psd.descendants():
        if layer.kind != "pixel" or not layer.is_visible() or layer.clipping_layer or layer.has_effects():
            continue
        if any(clip.has_effects() for clip in layer.clip_layers):
            continue
        if layer.mask is not None and layer.mask.parameters is not None:
            continue
        box = layer.bbox
        if box[2] <= box[0] or box[3] <= box[1]:
            continue
        image = layer.composite()
        if image is None:
            continue
        groups = []
        parent = layer.parent
        while parent is not None and parent is not psd:
            groups.insert(0, clean(parent.name))
            parent = parent.parent
        n += 1
        image.convert("RGBA").save(os.path.join(folder, "%d.png" % n))
        print("\t".join([str(number), str(n), "%d %d %d %d" % box] + groups + [clean(layer.name)]))


def main():
    out = sys.argv[1]
    for number, path in enumerate(sys.argv[2:]):
        try:
            draw(number, path, out)
        except Exception:  # What psd-tools cannot read or draw is not compared.
            pass
        sys.stdout.flush()


if __name__ == "__main__":
    main()
