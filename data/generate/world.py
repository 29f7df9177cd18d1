"""The world of the installation: ground.dat and objects.dat.

The airport lies around the origin with its main runway along north-south,
the southern threshold at (0, -1500); the railway runs some 4 km west of it,
the race course 6 km east, and roads join them. Coordinates here are metres
(x east, y north, z down) and degrees; the writers turn them into the file
units (0.1 m, mm, 0.1 deg, 0.001 deg)."""

import math


def tenths(v):
    return round(v * 10)


def mm(v):
    return round(v * 1000)


def bgr(rgb):
    r, g, b = rgb
    return f"{b:02X}{g:02X}{r:02X}"


def ints(*values):
    return "".join(f"{v};" for v in values)


class Objects:
    """Collects objects.dat lines; remembers the railway segments for the
    README and the tests."""

    def __init__(self):
        self.lines = []
        self.segments = []

    def line(self, a, b, z, width, rgb, texture=""):
        self.lines.append("Line\t" + ints(*map(tenths, (*a, *b)), mm(z), mm(width)) + bgr(rgb) +
                          ("\t" + texture if texture else ""))

    def wall(self, a, b, top, thickness, rgb, texture=""):
        self.lines.append("Wall\t" + ints(*map(tenths, (*a, *b)), mm(top), mm(thickness)) +
                          bgr(rgb) + ("\t" + texture if texture else ""))

    def arc(self, centre, z, radius, width, start, end, rgb, texture=""):
        self.lines.append("Arc\t" + ints(*map(tenths, centre), mm(z), tenths(radius), mm(width),
                                         start, end) + bgr(rgb) +
                          ("\t" + texture if texture else ""))

    def blink(self, point, z, rgb):
        self.lines.append("BlinkLight\t" + ints(*map(tenths, point), mm(z)) + bgr(rgb))

    def runway(self, threshold, far_end, width, offset, course, texture, name):
        self.lines.append("Runway\t" + ints(*map(tenths, (*threshold, *far_end)), 0, mm(width),
                                            tenths(offset), round(course * 1000)) +
                          texture + "\t" + name)

    def taxiway(self, keyword, a, b, width, fillets, texture):
        start_setback, sl, sr, end_setback, el, er = fillets
        self.lines.append(keyword + "\t" + ints(*map(tenths, (*a, *b)), 0, mm(width),
                                                *map(tenths, (start_setback, sl, sr, end_setback,
                                                              el, er))) + texture)

    def race(self, a, b, width, start_line, texture):
        start = tenths(start_line) if start_line >= 0 else -1
        self.lines.append("RaceCrs\t" + ints(*map(tenths, (*a, *b)), 0, mm(width), start) + texture)

    def race_arc(self, centre, radius, width, start, end, texture):
        self.lines.append("RaceCrsArc\t" + ints(*map(tenths, centre), 0, tenths(radius), mm(width),
                                                start, end) + texture)

    def road(self, a, b, width, texture):
        self.lines.append("Road\t" + ints(*map(tenths, (*a, *b)), 0, mm(width)) + texture)

    def railway(self, mask, seg, track_id, direction, stop, texture):
        (sx, sy, sh), radius, (ex, ey, eh) = seg
        self.segments.append((len(self.segments) + 1, mask, seg, track_id, direction, stop))
        self.lines.append("Railway\t" + mask + ";" +
                          ints(sx, sy, sh, tenths(radius), ex, ey, eh, 0, track_id, direction,
                               tenths(stop)) + texture)

    def banner(self, a, b, top, texture, link):
        self.lines.append("Banner\t" + ints(*map(tenths, (*a, *b)), mm(top)) + texture + "\t" + link)


class Turtle:
    """Lays railway segments end to end on the file's grid: positions in
    0.1 m and headings in 0.1 deg, so that joining points match exactly."""

    def __init__(self, x, y, heading):
        self.x, self.y, self.h = tenths(x), tenths(y), round(heading * 10)

    def state(self):
        return (self.x, self.y, self.h)

    def _advance(self, dx, dy, h):
        start = self.state()
        self.x, self.y, self.h = self.x + tenths(dx), self.y + tenths(dy), h
        return start

    def straight(self, length):
        h = math.radians(self.h / 10)
        start = self._advance(length * math.sin(h), length * math.cos(h), self.h)
        return (start, 0.0, self.state())

    def curve(self, turn, radius, lead, tail):
        """A lead straight, an arc of the radius turning by `turn` degrees
        (positive to the right), a tail straight."""
        h0 = math.radians(self.h / 10)
        h1 = math.radians(self.h / 10 + turn)
        side = 1 if turn > 0 else -1
        dx = lead * math.sin(h0) + side * radius * (math.cos(h0) - math.cos(h1)) + tail * math.sin(h1)
        dy = lead * math.cos(h0) + side * radius * (math.sin(h1) - math.sin(h0)) + tail * math.cos(h1)
        start = self._advance(dx, dy, (self.h + round(turn * 10)) % 3600)
        return (start, float(radius), self.state())

    def point(self):
        return (self.x / 10, self.y / 10)


GRASS = "grass.png"
ASPHALT = "asphalt.png"
TAXIWAY = "taxiway.png"
CONCRETE = "concrete.png"
RUNWAY = "runway.png"
RAILBED = "railbed.png"

YELLOW = (240, 200, 0)
WHITE = (240, 240, 240)
RED = (255, 0, 0)
GREEN = (0, 255, 0)
AMBER = (255, 180, 0)
WALL_GREY = (200, 200, 205)
CONCRETE_GREY = (170, 168, 160)
GLASS_BLUE = (40, 70, 110)
BUFFER_RED = (200, 30, 30)


def airport(o):
    # Runway 36: straight in from the south. Runway 03: the approach comes up
    # on course 000 and turns 30 degrees right onto the runway at the end.
    o.runway((0, -1500), (0, 1500), 45, 6000, 0, RUNWAY, "中央空港 RWY36")
    rwy03_end = (800 + 2000 * math.sin(math.radians(30)), -1200 + 2000 * math.cos(math.radians(30)))
    o.runway((800, -1200), rwy03_end, 30, 4000, 0, RUNWAY, "中央空港 RWY03")

    # Parallel taxiway west of runway 36 and its links, filleted at both ends.
    o.taxiway("Taxiway", (-180, -1480), (-180, 1480), 23, (0, 0, 0, 0, 0, 0), TAXIWAY)
    for y in (-1450, 0, 1450):
        o.taxiway("Taxiway", (-168.5, y), (-22.5, y), 23, (0, 25, 25, 0, 25, 25), TAXIWAY)
        o.line((-60, y - 11), (-60, y + 11), -0.01, 0.6, YELLOW)  # holding position
    # Links east to runway 03: past its threshold and from its far end.
    o.taxiway("Taxiway", (22.5, -1200), (788, -1200), 23, (0, 25, 25, 0, 0, 0), TAXIWAY)
    o.taxiway("Taxiway", (1786, 532), (22.5, 532), 23, (0, 0, 0, 0, 25, 25), TAXIWAY)

    # Apron west of the parallel taxiway, two filleted links, stands.
    o.taxiway("Apron", (-450, -420), (-450, 420), 250, (0, 0, 0, 0, 0, 0), CONCRETE)
    for y in (-250, 250):
        o.taxiway("Apron", (-325, y), (-191.5, y), 23, (0, 20, 20, 0, 20, 20), TAXIWAY)
    for y in (-180, -60, 60, 180):
        o.arc((-480, y), -0.01, 32, 0.4, 0, 0, YELLOW)  # stand turning circle
        o.line((-560, y), (-420, y), -0.01, 0.4, YELLOW)  # lead-in line

    # Buildings: terminal with its glass front, two hangars, the tower.
    o.wall((-600, -300), (-600, 300), -15, 30, WALL_GREY)
    o.wall((-584.5, -290), (-584.5, 290), -12, 1, GLASS_BLUE)
    for y in (-560, 560):
        o.wall((-560, y), (-400, y), -22, 70, (176, 176, 168))
        o.blink((-560, y), -22.5, RED)
        o.blink((-400, y), -22.5, RED)
    o.wall((-650, 380), (-650, 392), -40, 12, (220, 220, 220))
    o.blink((-650, 386), -40.5, RED)
    o.blink((-600, -300), -15.5, RED)
    o.blink((-600, 300), -15.5, RED)
    # Obstacle lights on the approach masts south of runway 36.
    for x in (-120, 120):
        o.wall((x, -2300), (x, -2302), -25, 2, (230, 80, 40))
        o.blink((x, -2301), -25.5, RED)
    o.blink((0, -1530), -2, AMBER)  # runway guard light at the threshold

    o.banner((-150, -1600), (-130, -1600), -10, "banner_airport.png",
             "https://example.com/velmora/airport")
    o.banner((-330, 440), (-330, 460), -10, "banner_airport.png",
             "https://example.com/velmora/airport/terminal")


def race_course(o):
    # An oval: the west straight northwards with the start line 100 m in,
    # the north bend, the east straight, the south bend.
    o.race((5800, -400), (5800, 400), 15, 100, ASPHALT)
    o.race_arc((6000, 400), 200, 15, 270, 90, ASPHALT)
    o.race((6200, 400), (6200, -400), 15, -1, ASPHALT)
    o.race_arc((6000, -400), 200, 15, 90, 270, ASPHALT)
    o.wall((5770, -250), (5770, -50), -8, 12, (150, 150, 160))  # grandstand
    o.blink((5770, -250), -8.5, RED)
    o.blink((5770, -50), -8.5, RED)
    # Banners read from the course: the first edge is the reader's left.
    o.banner((5784, -300), (5784, -320), -10, "banner_race.png", "https://example.com/velmora/raceway")
    o.banner((6216, 20), (6216, 0), -10, "banner_race.png", "https://example.com/velmora/raceway")


def roads(o):
    o.road((-700, -300), (-700, 2200), 8, ASPHALT)  # airport access
    o.road((-4300, 2200), (-700, 2200), 8, ASPHALT)
    o.road((-700, 2200), (5600, 2200), 8, ASPHALT)
    o.road((5600, 2200), (5600, 0), 8, ASPHALT)
    o.road((5600, 0), (5792, 0), 8, ASPHALT)  # into the race course
    o.road((-700, 600), (-2900, 600), 8, ASPHALT)  # to station D
    o.road((-4300, 2200), (-4300, -2800), 8, ASPHALT)
    o.road((-4300, -2800), (-4030, -2800), 8, ASPHALT)  # to station A
    o.road((-4300, 1060), (-4045, 1060), 8, ASPHALT)  # to station C
    o.arc((-700, 2200), 0, 14, 6, 0, 0, (90, 90, 95), ASPHALT)  # roundabout


def offset_point(x, y, heading, along, left):
    h = math.radians(heading)
    return (x + along * math.sin(h) - left * math.cos(h), y + along * math.cos(h) + left * math.sin(h))


def platform(o, seg, first, last, left, station_banner=True):
    """A platform beside a straight segment from `first` to `last` metres
    along it, `left` metres to the left of the centre line (negative: right)."""
    (sx, sy, sh), _, _ = seg
    x, y, h = sx / 10, sy / 10, sh / 10
    a = offset_point(x, y, h, first, left)
    b = offset_point(x, y, h, last, left)
    o.wall(a, b, -1.1, 3, CONCRETE_GREY, CONCRETE)
    if station_banner:
        # Read from the track: the first edge is the reader's left.
        side = 1 if left > 0 else -1
        c = offset_point(x, y, h, (first + last) / 2 - 9 * side, left + side * 2)
        d = offset_point(x, y, h, (first + last) / 2 + 9 * side, left + side * 2)
        o.banner(c, d, -9.2, "banner_station.png", "https://example.com/velmora/railway")


def buffer_stop(o, point, heading):
    x, y = point
    a = offset_point(x, y, heading, 2, 1.6)
    b = offset_point(x, y, heading, 2, -1.6)
    o.wall(a, b, -1.2, 1, BUFFER_RED)
    o.blink(offset_point(x, y, heading, 2, 0), -1.5, RED)


# Railway line masks: line 1 runs A - B - C, line 2 runs D - B - A.
BOTH_LINES = "11"
LINE_1 = "01"
LINE_2 = "10"
NO_STOP = -1
SLOW = 70000  # a stop position of 65 536 m or more: no stop, 25 km/h


def railway(o):
    """Main line (track 1) from the buffer stop at station A northwards
    through station B, where a passing loop (track 2, northbound only) lies
    east of the main track, to the junction J, on to the terminus C. The
    branch (track 3) leaves J to the right for the terminus D."""
    t = Turtle(-4000, -3000, 0)
    seg_a = t.straight(500)
    o.railway(BOTH_LINES, seg_a, 1, 0, 200, RAILBED)  # station A
    o.railway(BOTH_LINES, t.curve(20, 800, 100, 200), 1, 0, NO_STOP, RAILBED)
    o.railway(BOTH_LINES, t.straight(500), 1, 0, NO_STOP, RAILBED)
    o.railway(BOTH_LINES, t.curve(-20, 400, 100, 100), 1, 0, NO_STOP, RAILBED)
    o.railway(BOTH_LINES, t.straight(300), 1, 0, NO_STOP, RAILBED)
    switch_south = t.state()
    seg_b = t.straight(600)
    o.railway(BOTH_LINES, seg_b, 1, 0, 300, RAILBED)  # station B, main track
    switch_north = t.state()

    # The passing loop: out to the right, a straight through the station, back.
    loop = Turtle(0, 0, 0)
    loop.x, loop.y, loop.h = switch_south
    o.railway(LINE_1, loop.curve(10, 160, 1, 1), 2, 1, NO_STOP, RAILBED)
    o.railway(LINE_1, loop.curve(-10, 160, 1, 1), 2, 1, NO_STOP, RAILBED)
    spread_x, spread_y = loop.x - switch_south[0], loop.y - switch_south[1]
    loop_start = loop.state()
    loop_end = (switch_north[0] + spread_x, switch_north[1] - spread_y, 0)
    seg_loop = (loop_start, 0.0, loop_end)
    o.railway(LINE_1, seg_loop, 2, 1, (loop_end[1] - loop_start[1]) / 20, RAILBED)  # station B, loop
    loop.x, loop.y, loop.h = loop_end
    o.railway(LINE_1, loop.curve(-10, 160, 1, 1), 2, 1, NO_STOP, RAILBED)
    start = loop.state()
    o.railway(LINE_1, (start, 160.0, switch_north), 2, 1, NO_STOP, RAILBED)

    t.x, t.y, t.h = switch_north
    o.railway(BOTH_LINES, t.straight(200), 1, 0, NO_STOP, RAILBED)
    junction = t.state()

    o.railway(LINE_1, t.curve(-30, 500, 50, 100), 1, 0, NO_STOP, RAILBED)
    o.railway(LINE_1, t.straight(400), 1, 0, NO_STOP, RAILBED)
    o.railway(LINE_1, t.curve(30, 300, 50, 50), 1, 0, NO_STOP, RAILBED)
    seg_c = t.straight(250)
    o.railway(LINE_1, seg_c, 1, 0, 125, RAILBED)  # station C
    o.railway(LINE_1, t.straight(80), 1, 0, SLOW, RAILBED)
    end_c = t.point()

    b = Turtle(0, 0, 0)
    b.x, b.y, b.h = junction
    o.railway(LINE_2, b.curve(60, 150, 1, 20), 3, 0, NO_STOP, RAILBED)
    o.railway(LINE_2, b.straight(400), 3, 0, NO_STOP, RAILBED)
    seg_d = b.straight(250)
    o.railway(LINE_2, seg_d, 3, 0, 125, RAILBED)  # station D
    o.railway(LINE_2, b.straight(80), 3, 0, SLOW, RAILBED)
    end_d = b.point()

    platform(o, seg_a, 50, 350, 4.5)
    platform(o, seg_b, 150, 450, 4.5)
    platform(o, seg_loop, 100, 400, -4.5, False)
    platform(o, seg_c, 30, 230, -4.5)
    platform(o, seg_d, 40, 210, 4.5)
    buffer_stop(o, (-4000, -3000), 180)
    buffer_stop(o, end_c, 0)
    buffer_stop(o, end_d, 60)
    o.wall((-4020, -2850), (-4020, -2750), -8, 12, (190, 170, 140))  # station A building


# How far the land and the open sea reach each way (m): the world is flat, so
# from a height h their edge lies atan(h / FAR) below the horizon: a third of
# a pixel of the program's view (30 degrees over 577 pixels) from 3000 m, the
# highest start of a mission, and under a pixel up to 9 km. Untextured, so no
# texture coordinate grows that large.
FAR = 10_000_000


def ground():
    """ground.dat lines: the land and the open sea out to the horizon,
    textured fields around the sites, the town, a lake and the coast."""
    patches = [
        # Land and sea side by side on one plane, sharing their edge: neither
        # lies over the other, where far away the depth could not tell them apart.
        ((-FAR, -12000), (FAR, FAR), 0.3, 0, "$3C6E46"),
        ((-FAR, -FAR), (FAR, -12000), 0.3, 0, "$8C5426"),  # water.png's mean colour
        ((-20000, -20000), (20000, -12000), 0.25, 60, "water.png"),
        ((-3000, -3000), (3000, 3000), 0.2, 25, GRASS),
        ((-3000, -9000), (3000, -3000), 0.2, 60, "farmland.png"),
        ((-7000, -4000), (-3000, 3000), 0.2, 60, "farmland.png"),
        ((3000, -3000), (9000, 1500), 0.2, 60, "farmland.png"),
        ((-7000, 3000), (9000, 9000), 0.2, 25, GRASS),
        ((3000, 1500), (9000, 3000), 0.2, 25, GRASS),
        ((1000, 1500), (4800, 3500), 0.1, 250, "town.png"),
        ((-2500, -3800), (-1300, -2600), 0.1, 40, "water.png"),
        ((5600, -800), (6400, 800), 0.1, 25, GRASS),
        ((-4200, -3100), (-3500, 1400), 0.1, 25, GRASS),
    ]
    lines = []
    for (x1, y1), (x2, y2), z, scale, name in patches:
        lines.append(ints(tenths(x1), tenths(y1), tenths(x2), tenths(y2), mm(z), mm(scale)) + name)
    return lines


def objects():
    o = Objects()
    airport(o)
    race_course(o)
    roads(o)
    railway(o)
    return o
