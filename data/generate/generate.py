#!/usr/bin/env python3
"""Writes the whole installation into data/: vehicles.dat, ground.dat,
objects.dat (CP932 text, CR LF line ends), the vehicle meshes and the
textures. The output is deterministic; run it after changing a generator and
commit what it writes."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

import meshes  # noqa: E402
import textures  # noqa: E402
import vehicles  # noqa: E402
import world  # noqa: E402


def write_dat(path, lines):
    with open(path, "wb") as out:
        out.write("".join(line + "\r\n" for line in lines).encode("cp932"))


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, ".."))
    textures.generate(folder)
    for stem, build in vehicles.MESHES.items():
        meshes.write_x(os.path.join(folder, stem + ".x"), build(True))
        meshes.write_x(os.path.join(folder, stem + "_rough.x"), build(False))
    write_dat(os.path.join(folder, "vehicles.dat"), vehicles.dat_lines())
    write_dat(os.path.join(folder, "ground.dat"), world.ground())
    write_dat(os.path.join(folder, "objects.dat"), world.objects().lines)


if __name__ == "__main__":
    main()
