"""Vehicle meshes written as DirectX text .x files in model axes: x right,
y up, z forward, metres, the origin at the vehicle's reference point (so the
wheels touch y = RestZ). Every type has a fine mesh and a rough one for the
distance; faces are flat-shaded, each with its own corners and normal."""

import math


class Material:
    def __init__(self, name, colour, texture="", emissive=(0, 0, 0), power=8.0):
        self.name = name
        self.colour = colour  # r, g, b in 0..1
        self.texture = texture
        self.emissive = emissive
        self.power = power


class Mesh:
    """Convex parts as polygons; each polygon keeps a point inside its part so
    that its normal can be turned outwards."""

    def __init__(self):
        self.faces = []  # (corners, material, inside point)

    def face(self, corners, material, inside):
        self.faces.append((corners, material, inside))

    def box(self, centre, size, material):
        cx, cy, cz = centre
        hx, hy, hz = size[0] / 2, size[1] / 2, size[2] / 2
        corners = [(cx + sx * hx, cy + sy * hy, cz + sz * hz)
                   for sx in (-1, 1) for sy in (-1, 1) for sz in (-1, 1)]
        self.hexahedron(corners, material)

    def hexahedron(self, c, material):
        """Eight corners indexed by (x, y, z) bits: 0 = (-,-,-) .. 7 = (+,+,+)."""
        inside = tuple(sum(p[i] for p in c) / 8 for i in range(3))
        for quad in ((0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4),
                     (1, 5, 7, 3)):
            self.face([c[i] for i in quad], material, inside)

    def loft(self, sections, material, sides, cap_start=True, cap_end=True, axis="z"):
        """A tube through cross-sections (position along the axis, centre a, centre b,
        half-width, half-height, squareness 0 = ellipse .. 1 = rectangle)."""
        rings = []
        for along, ca, cb, ra, rb, square in sections:
            ring = []
            for k in range(sides):
                t = 2 * math.pi * (k + 0.5) / sides
                ct, st = math.cos(t), math.sin(t)
                e = 2 / (2 + 8 * square)  # superellipse exponent: round to boxy
                a = ca + ra * math.copysign(abs(ct) ** e, ct)
                b = cb + rb * math.copysign(abs(st) ** e, st)
                ring.append(_axis_point(axis, along, a, b))
            rings.append((ring, _axis_point(axis, along, ca, cb)))
        for (r0, c0), (r1, c1) in zip(rings, rings[1:]):
            mid = tuple((p + q) / 2 for p, q in zip(c0, c1))
            for k in range(sides):
                k1 = (k + 1) % sides
                self.face([r0[k], r0[k1], r1[k1], r1[k]], material, mid)
        first, last = rings[0], rings[-1]
        if cap_start:
            self.face(list(reversed(first[0])), material, rings[1][1])
        if cap_end:
            self.face(last[0], material, rings[-2][1])

    def panel(self, root, tip, material):
        """A flat tapered panel (wing, tailplane, fin) between a root and a tip
        section, each (leading-edge point, chord, thickness, spanwise axis):
        thickness is measured across the panel's plane."""
        (rl, rc, rt, normal), (tl, tc, tt, _) = root, tip

        def corners(le, chord, thickness):
            nx, ny, nz = normal
            h = thickness / 2
            return [(le[0] - nx * h, le[1] - ny * h, le[2] - nz * h),
                    (le[0] + nx * h, le[1] + ny * h, le[2] + nz * h),
                    (le[0] - nx * h, le[1] - ny * h, le[2] - chord - nz * h),
                    (le[0] + nx * h, le[1] + ny * h, le[2] - chord + nz * h)]

        a = corners(rl, rc, rt)
        b = corners(tl, tc, tt)
        # (leading/trailing, lower/upper) at root then tip, in hexahedron order.
        self.hexahedron([a[2], a[3], a[0], a[1], b[2], b[3], b[0], b[1]], material)

    def wheel(self, centre, radius, width, material, sides=10):
        """A wheel turning about the x axis whose lowest point lies `radius`
        below its centre, however few its sides."""
        x, y, z = centre
        lowest = max(-math.sin(2 * math.pi * (k + 0.5) / sides) for k in range(sides))
        radius /= lowest
        self.loft([(x - width / 2, z, y, radius, radius, 0), (x + width / 2, z, y, radius, radius, 0)],
                  material, sides, axis="x")


def _axis_point(axis, along, a, b):
    if axis == "z":
        return (a, b, along)
    if axis == "x":
        return (along, b, a)  # a runs along z, b along y
    return (a, along, b)  # axis y: a along x, b along z


def _sub(p, q):
    return (p[0] - q[0], p[1] - q[1], p[2] - q[2])


def _cross(p, q):
    return (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0])


def _normal(corners, inside):
    n = (0.0, 0.0, 0.0)
    for i in range(1, len(corners) - 1):
        c = _cross(_sub(corners[i], corners[0]), _sub(corners[i + 1], corners[0]))
        n = (n[0] + c[0], n[1] + c[1], n[2] + c[2])
    length = math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
    if length < 1e-12:
        return None
    n = (n[0] / length, n[1] / length, n[2] / length)
    centroid = tuple(sum(p[i] for p in corners) / len(corners) for i in range(3))
    out = _sub(centroid, inside)
    if n[0] * out[0] + n[1] * out[1] + n[2] * out[2] < 0:
        n = (-n[0], -n[1], -n[2])
    return n


def _num(v):
    text = f"{v:.4f}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def write_x(path, mesh):
    """Writes the mesh as a DirectX text file: materials, vertices, triangles,
    the material of each triangle, normals and texture coordinates. u runs
    along the length (z), v down the height (y), over the mesh's bounds."""
    materials = []
    for _, material, _ in mesh.faces:
        if material not in materials:
            materials.append(material)
    faces = [(c, m, _normal(c, i)) for c, m, i in mesh.faces]
    faces = [f for f in faces if f[2] is not None]
    points = [p for c, _, _ in faces for p in c]
    zmin, zmax = min(p[2] for p in points), max(p[2] for p in points)
    ymin, ymax = min(p[1] for p in points), max(p[1] for p in points)

    vertices, normals, uvs, triangles, triangle_materials = [], [], [], [], []
    for corners, material, normal in faces:
        base = len(vertices)
        for p in corners:
            vertices.append(p)
            normals.append(normal)
            uvs.append(((p[2] - zmin) / (zmax - zmin), (ymax - p[1]) / (ymax - ymin)))
        for k in range(1, len(corners) - 1):
            triangles.append((base, base + k, base + k + 1))
            triangle_materials.append(materials.index(material))

    def listing(items, fmt, indent):
        lines = [indent + fmt(item) + ("," if i + 1 < len(items) else ";")
                 for i, item in enumerate(items)]
        return "\n".join(lines)

    out = ["xof 0303txt 0032", ""]
    for m in materials:
        r, g, b = m.colour
        er, eg, eb = m.emissive
        out.append(f"Material {m.name} {{")
        out.append(f" {_num(r)};{_num(g)};{_num(b)};1.0;;")
        out.append(f" {_num(m.power)};")
        out.append(" 0.2;0.2;0.2;;")
        out.append(f" {_num(er)};{_num(eg)};{_num(eb)};;")
        if m.texture:
            out.append(f' TextureFilename {{ "{m.texture}"; }}')
        out.append("}")
        out.append("")
    out.append("Mesh Body {")
    out.append(f" {len(vertices)};")
    out.append(listing(vertices, lambda p: f"{_num(p[0])};{_num(p[1])};{_num(p[2])};", " "))
    out.append(f" {len(triangles)};")
    out.append(listing(triangles, lambda t: f"3;{t[0]},{t[1]},{t[2]};", " "))
    out.append(" MeshMaterialList {")
    out.append(f"  {len(materials)};")
    out.append(f"  {len(triangles)};")
    out.append(listing(triangle_materials, str, "  "))
    for m in materials:
        out.append(f"  {{{m.name}}}")
    out.append(" }")
    out.append(" MeshNormals {")
    out.append(f"  {len(normals)};")
    out.append(listing(normals, lambda n: f"{_num(n[0])};{_num(n[1])};{_num(n[2])};", "  "))
    out.append(f"  {len(triangles)};")
    out.append(listing(triangles, lambda t: f"3;{t[0]},{t[1]},{t[2]};", "  "))
    out.append(" }")
    out.append(" MeshTextureCoords {")
    out.append(f"  {len(uvs)};")
    out.append(listing(uvs, lambda uv: f"{_num(uv[0])};{_num(uv[1])};", "  "))
    out.append(" }")
    out.append("}")
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out) + "\n")
