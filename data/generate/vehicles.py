"""The vehicle types: their vehicles.dat lines and their meshes."""

from meshes import Material, Mesh

# Materials shared by the meshes.
WHITE = Material("White", (0.92, 0.93, 0.95))
LIVERY = Material("Livery", (1, 1, 1), texture="livery_airliner.png")
BLUE = Material("Blue", (0.10, 0.25, 0.65))
GREY = Material("Grey", (0.55, 0.57, 0.60))
DARK = Material("Dark", (0.12, 0.12, 0.14))
GLASS = Material("Glass", (0.10, 0.16, 0.26), power=40)
TYRE = Material("Tyre", (0.08, 0.08, 0.08))
METAL = Material("Metal", (0.70, 0.70, 0.72), power=30)
FIGHTER = Material("FighterGrey", (0.45, 0.50, 0.55))
ORANGE = Material("Orange", (0.95, 0.45, 0.10))
CREAM = Material("Cream", (0.96, 0.94, 0.86))
RED = Material("Red", (0.80, 0.08, 0.08))
LAMP = Material("Lamp", (1.0, 1.0, 0.85), emissive=(1.0, 1.0, 0.8))
TAIL_LAMP = Material("TailLamp", (0.9, 0.1, 0.1), emissive=(0.8, 0.0, 0.0))
TRAIN = Material("TrainBody", (1, 1, 1), texture="livery_train.png")
EXPRESS = Material("ExpressBody", (1, 1, 1), texture="livery_express.png")
BOGIE = Material("Bogie", (0.20, 0.20, 0.22))


def airliner(gear_down, fine):
    """A twin-engine airliner of 41 m: low swept wings, engines under them,
    a T-less tail. The reference point lies 5 m above the ground."""
    m = Mesh()
    sides = 16 if fine else 6
    y0 = -1.2  # fuselage axis
    m.loft([(20.5, 0, y0 - 0.4, 0.15, 0.15, 0), (19.6, 0, y0 - 0.25, 0.9, 0.95, 0),
            (17.5, 0, y0 - 0.05, 1.75, 1.8, 0), (15.0, 0, y0, 2.0, 2.05, 0),
            (-10.0, 0, y0, 2.0, 2.05, 0), (-16.0, 0, y0 + 0.6, 1.3, 1.35, 0),
            (-20.0, 0, y0 + 1.4, 0.35, 0.45, 0)], LIVERY, sides)
    if fine:
        m.box((0, y0 + 0.55, 18.3), (1.9, 0.45, 1.3), GLASS)  # cockpit windows
    for s in (-1, 1):
        # Wing: swept 25°, a little dihedral.
        m.panel(((s * 1.6, y0 - 1.5, 5.0), 7.5, 0.7, (0, 1, 0)),
                ((s * 17.5, y0 - 0.6, -4.6), 2.2, 0.25, (0, 1, 0)), WHITE)
        # Engine on a pylon under the wing.
        nacelle = [(4.6, s * 6.4, y0 - 2.45, 0.85, 0.85, 0), (4.2, s * 6.4, y0 - 2.45, 1.0, 1.0, 0),
                   (0.8, s * 6.4, y0 - 2.45, 0.95, 0.95, 0), (-0.6, s * 6.4, y0 - 2.45, 0.5, 0.5, 0)]
        m.loft(nacelle, GREY, 12 if fine else 4)
        if fine:
            m.box((s * 6.4, y0 - 2.45, 4.62), (1.4, 1.4, 0.05), DARK)  # intake face
        m.box((s * 6.4, y0 - 1.55, 1.8), (0.35, 0.9, 3.2), GREY)
        # Tailplane.
        m.panel(((s * 0.9, y0 + 0.9, -13.6), 4.6, 0.3, (0, 1, 0)),
                ((s * 7.2, y0 + 1.5, -17.8), 1.8, 0.12, (0, 1, 0)), WHITE)
    # Fin, with the livery blue.
    m.panel(((0, y0 + 1.2, -12.2), 6.2, 0.4, (1, 0, 0)),
            ((0, y0 + 8.0, -17.6), 2.6, 0.2, (1, 0, 0)), BLUE)
    if gear_down:
        wheel_sides = 10 if fine else 4
        for s in (-1, 1):
            m.box((s * 3.0, -3.7, -4.0), (0.3, 2.4, 0.3), METAL)
            for dz in ((-0.55, 0.55) if fine else (0,)):
                m.wheel((s * 3.0, -4.45, -4.0 + dz), 0.55, 0.45, TYRE, wheel_sides)
        m.box((0, -3.8, 16.0), (0.22, 1.6, 0.22), METAL)
        m.wheel((0, -4.6, 16.0), 0.4, 0.35, TYRE, wheel_sides)
    return m


def fighter(gear_down, fine):
    """A single-seat fighter of 17 m with a cropped delta wing and one fin.
    The reference point lies 2 m above the ground."""
    m = Mesh()
    sides = 12 if fine else 6
    m.loft([(9.0, 0, 0.0, 0.05, 0.05, 0), (6.5, 0, 0.05, 0.55, 0.55, 0),
            (3.0, 0, 0.1, 0.95, 0.85, 0.3), (-2.0, 0, 0.1, 1.35, 0.8, 0.5),
            (-6.8, 0, 0.1, 0.85, 0.7, 0.3), (-7.6, 0, 0.1, 0.6, 0.6, 0)], FIGHTER, sides)
    m.loft([(6.2, 0, 0.45, 0.1, 0.1, 0), (4.8, 0, 0.7, 0.45, 0.45, 0), (3.2, 0, 0.75, 0.45, 0.45, 0),
            (1.5, 0, 0.55, 0.3, 0.25, 0)], GLASS, 8 if fine else 4)
    if fine:
        m.loft([(-7.6, 0, 0.1, 0.6, 0.6, 0), (-8.3, 0, 0.1, 0.55, 0.55, 0)], DARK, 10,
               cap_start=False)
    for s in (-1, 1):
        m.panel(((s * 0.9, -0.1, 2.5), 8.0, 0.35, (0, 1, 0)),
                ((s * 5.2, -0.25, -4.2), 1.8, 0.1, (0, 1, 0)), FIGHTER)
        m.panel(((s * 0.8, 0.0, -4.8), 2.8, 0.15, (0, 1, 0)),
                ((s * 3.4, -0.2, -6.8), 1.2, 0.08, (0, 1, 0)), FIGHTER)
        if fine:
            m.box((s * 1.25, -0.25, 2.6), (0.6, 0.9, 1.8), DARK)  # intake
    m.panel(((0, 0.7, -3.0), 4.4, 0.25, (1, 0, 0)), ((0, 3.4, -6.4), 1.6, 0.12, (1, 0, 0)),
            FIGHTER)
    if gear_down:
        wheel_sides = 8 if fine else 4
        for s in (-1, 1):
            m.box((s * 1.4, -1.0, -1.5), (0.18, 1.3, 0.18), METAL)
            m.wheel((s * 1.4, -1.6, -1.5), 0.4, 0.3, TYRE, wheel_sides)
        m.box((0, -1.0, 4.5), (0.15, 1.2, 0.15), METAL)
        m.wheel((0, -1.7, 4.5), 0.3, 0.2, TYRE, wheel_sides)
    return m


def light_aircraft(gear_down, fine):
    """A four-seat high-wing light aircraft of 8 m. The reference point lies
    1.5 m above the ground."""
    m = Mesh()
    sides = 10 if fine else 4
    m.loft([(3.5, 0, -0.25, 0.15, 0.15, 0), (3.2, 0, -0.25, 0.5, 0.45, 0.3),
            (2.2, 0, -0.2, 0.6, 0.6, 0.6), (0.0, 0, 0.0, 0.62, 0.8, 0.7),
            (-1.2, 0, 0.0, 0.5, 0.6, 0.6), (-4.4, 0, 0.25, 0.12, 0.25, 0.3)], CREAM, sides)
    if fine:
        m.box((0, 0.45, 0.9), (1.1, 0.45, 1.0), GLASS)  # windscreen and side windows
        m.box((0, -0.25, 3.62), (0.12, 1.8, 0.08), DARK)  # propeller blade
    m.panel(((0.62, 0.8, 1.0), 1.6, 0.22, (0, 1, 0)), ((5.6, 0.85, 0.9), 1.35, 0.12, (0, 1, 0)),
            CREAM)
    m.panel(((-0.62, 0.8, 1.0), 1.6, 0.22, (0, 1, 0)), ((-5.6, 0.85, 0.9), 1.35, 0.12, (0, 1, 0)),
            CREAM)
    for s in (-1, 1):
        m.panel(((s * 0.1, 0.25, -3.3), 1.0, 0.1, (0, 1, 0)), ((s * 1.8, 0.25, -3.55), 0.7, 0.06, (0, 1, 0)),
                ORANGE)
        if fine:
            m.box((s * 1.6, 0.1, 0.3), (2.4, 0.06, 0.1), METAL)  # wing strut
    m.panel(((0, 0.2, -3.0), 1.3, 0.08, (1, 0, 0)), ((0, 1.3, -3.9), 0.7, 0.05, (1, 0, 0)), ORANGE)
    if gear_down:
        wheel_sides = 8 if fine else 4
        for s in (-1, 1):
            m.box((s * 0.8, -0.85, 0.0), (0.7, 0.08, 0.12), METAL)
            m.wheel((s * 1.1, -1.2, 0.0), 0.3, 0.15, TYRE, wheel_sides)
        m.box((0, -0.9, 2.0), (0.08, 0.6, 0.08), METAL)
        m.wheel((0, -1.27, 2.0), 0.23, 0.12, TYRE, wheel_sides)
    return m


def car(fine):
    """A red saloon of 4.4 m; the reference point lies 0.6 m above the road."""
    m = Mesh()
    body = Material("CarRed", (0.75, 0.06, 0.05), power=30)
    m.loft([(2.25, 0, -0.2, 0.8, 0.22, 0.7), (2.0, 0, -0.12, 0.87, 0.33, 0.8),
            (-2.0, 0, -0.1, 0.87, 0.35, 0.8), (-2.2, 0, -0.08, 0.8, 0.28, 0.7)], body,
           12 if fine else 4)
    m.loft([(0.9, 0, 0.22, 0.78, 0.02, 0.8), (0.35, 0, 0.45, 0.72, 0.25, 0.8),
            (-0.9, 0, 0.45, 0.72, 0.25, 0.8), (-1.5, 0, 0.25, 0.76, 0.04, 0.8)],
           GLASS if fine else body, 8 if fine else 4)
    for s in (-1, 1):
        for z in (1.3, -1.3):
            m.wheel((s * 0.78, -0.28, z), 0.32, 0.22, TYRE, 10 if fine else 4)
        if fine:
            m.box((s * 0.6, -0.12, 2.27), (0.3, 0.12, 0.04), LAMP)
            m.box((s * 0.6, -0.05, -2.22), (0.3, 0.1, 0.04), TAIL_LAMP)
    return m


def train_car(fine, body_material, express):
    """A 20 m electric train car (an express car has a streamlined cab); the
    reference point lies 1.8 m above the rail."""
    m = Mesh()
    sides = 12 if fine else 4
    if express:
        m.loft([(10.5, 0, 0.2, 0.3, 0.5, 0.6), (9.0, 0, 0.6, 1.3, 1.2, 0.8),
                (7.0, 0, 0.65, 1.45, 1.35, 0.85), (-10.0, 0, 0.65, 1.45, 1.35, 0.85),
                (-10.4, 0, 0.65, 1.35, 1.25, 0.85)], body_material, sides)
        if fine:
            m.box((0, 1.15, 8.9), (1.9, 0.5, 0.6), GLASS)
    else:
        m.loft([(10.0, 0, 0.65, 1.35, 1.3, 0.85), (9.8, 0, 0.65, 1.45, 1.35, 0.85),
                (-9.8, 0, 0.65, 1.45, 1.35, 0.85), (-10.0, 0, 0.65, 1.35, 1.3, 0.85)],
               body_material, sides)
        if fine:
            m.box((0, 1.0, 10.02), (2.2, 0.7, 0.05), GLASS)
            m.box((0, 2.15, 2.0), (0.8, 0.3, 1.2), DARK)  # pantograph frame
            m.box((0, 2.6, 2.0), (1.6, 0.06, 0.2), METAL)
    if fine:
        for s in (-1, 1):
            m.box((s * 0.8, -0.3, 10.3 if express else 10.02), (0.3, 0.15, 0.05), LAMP)
    for z in (7.0, -7.0) if not express else (7.5, -7.5):
        m.box((0, -1.05, z), (2.2, 0.5, 2.6), BOGIE)
        if fine:
            for s in (-1, 1):
                for dz in (-1.05, 1.05):
                    m.wheel((s * 0.72, -1.37, z + dz), 0.43, 0.14, DARK, 10)
        else:
            m.box((0, -1.37, z), (1.6, 0.86, 2.9), DARK)
    return m


# Each type: number, kind name, name in the file, mesh stem, and the numbers
# of vehicles.dat in SI units: RestZ, Wheelbase, EyeRight, EyeUp, EyeForward,
# Scale (m), Drag, Lift (1/m), ZeroLiftAngle (deg). data/README.md explains
# how each value was chosen.
TYPES = [
    (10, "旅客機（脚上げ）", "airliner_up", -5.0, 20.0, -0.6, 0.0, 17.0, 20.0, 60e-6, 220e-6, -3.0),
    (11, "旅客機（脚下げ）", "airliner_down", -5.0, 20.0, -0.6, 0.0, 17.0, 20.0, 60e-6, 220e-6, -3.0),
    (12, "戦闘機（脚上げ）", "fighter_up", -2.0, 6.0, 0.0, 0.75, 4.6, 8.0, 40e-6, 250e-6, -2.0),
    (13, "戦闘機（脚下げ）", "fighter_down", -2.0, 6.0, 0.0, 0.75, 4.6, 8.0, 40e-6, 250e-6, -2.0),
    (14, "軽飛行機（脚上げ）", "light_up", -1.5, 2.0, -0.3, 0.35, 0.6, 4.0, 80e-6, 3000e-6, -4.0),
    (15, "軽飛行機（脚下げ）", "light_down", -1.5, 2.0, -0.3, 0.35, 0.6, 4.0, 80e-6, 3000e-6, -4.0),
    (20, "乗用車", "car", -0.6, 2.6, 0.35, 0.55, 0.3, 3.0, 1300e-6, 0.0, -1.0),
    (30, "通勤電車", "train_commuter", -1.8, 14.0, -0.6, 0.45, 9.5, 10.0, 500e-6, 0.0, -1.0),
    (31, "特急電車", "train_express", -1.8, 15.0, -0.6, 0.6, 9.2, 10.5, 400e-6, 0.0, -1.0),
]

MESHES = {
    "airliner_up": lambda fine: airliner(False, fine),
    "airliner_down": lambda fine: airliner(True, fine),
    "fighter_up": lambda fine: fighter(False, fine),
    "fighter_down": lambda fine: fighter(True, fine),
    "light_up": lambda fine: light_aircraft(False, fine),
    "light_down": lambda fine: light_aircraft(True, fine),
    "car": car,
    "train_commuter": lambda fine: train_car(fine, TRAIN, False),
    "train_express": lambda fine: train_car(fine, EXPRESS, True),
}


def dat_lines():
    """The vehicles.dat lines: thousandths for lengths and the zero-lift
    angle, millionths for drag and lift."""
    lines = []
    for number, name, stem, rest, wheelbase, right, up, forward, scale, drag, lift, zero in TYPES:
        fields = [number] + [round(v * 1000) for v in (rest, wheelbase, right, up, forward, scale)]
        fields += [round(drag * 1e6), round(lift * 1e6), round(zero * 1000)]
        lines.append(";".join(str(f) for f in fields) + ";" + name + "\t" + stem)
    return lines
