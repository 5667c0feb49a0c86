#!/usr/bin/env python3
"""Writes the drag events of the long stability run (plumfold-sim --events) to
standard output: slow drags round the box, a lift and drop, a fast sweep from
wall to wall, a yank from the top to the floor and quick circles, then rest.
Pixels are of the 600 x 600 window; 300 300 is the middle of the box."""
import math

events = []

def drag(start, points, every, end_hold=0):
    """Press at the first point, move through the rest every `every` steps, release."""
    step = start
    x, y = points[0]
    events.append(f"{step} press {x} {y}")
    for x, y in points[1:]:
        step += every
        events.append(f"{step} motion {x} {y}")
    step += end_hold
    events.append(f"{step + every} release")

def line(a, b, n):
    return [(round(a[0] + (b[0] - a[0]) * i / n), round(a[1] + (b[1] - a[1]) * i / n)) for i in range(n + 1)]

# Slow tour: centre, up-left, up-right, down, centre.
tour = line((300, 300), (100, 100), 50) + line((100, 100), (500, 100), 100)[1:] + \
       line((500, 100), (300, 550), 100)[1:] + line((300, 550), (300, 300), 50)[1:]
drag(20000, tour, 60)
# Lift high and let it fall.
drag(60000, line((300, 300), (300, 30), 40), 50, end_hold=3000)
# Fast sweep from the left wall to the right wall and back.
drag(80000, line((10, 300), (590, 300), 40) + line((590, 300), (10, 300), 40)[1:], 20)
# Yank from the top straight down to the floor.
drag(100000, line((300, 20), (300, 590), 20), 10, end_hold=2000)
# Quick circles round the middle.
circle = [(round(300 + 200 * math.cos(a * math.pi / 20)), round(300 + 200 * math.sin(a * math.pi / 20)))
          for a in range(0, 40 * 4 + 1)]
drag(120000, circle, 15)
# A press that is never moved, held for a long time, then rest until the end.
drag(150000, [(450, 450)], 10000)

print("# Drags of the long stability run, made by scripts/long-run-events.py")
print("\n".join(events))
