#!/usr/bin/env python3
"""Writes a drag events file for plumfold-sim that abuses the body.

    scripts/torture-events.py STEPS [--seed N] [--settle N] > events.txt

The events cover STEPS - SETTLE steps with a repeating cycle of abuse scenes,
each in a 600 x 600 window: flings thousands of pixels outside the window and
back, visits to the corners (the window's and far beyond), bursts of rapid
press/release, very long slow drags, presses while a drag is still held,
motion and releases with no press, and a whip back and forth. The last event is
a release; the final SETTLE steps (default 5000) leave the body alone, so it
comes to rest before plumfold-sim reports its state.

Only the Python standard library is used; the same seed gives the same file.
"""
import argparse
import math
import random
import sys

SIZE = 600  # window pixels, as plumfold-sim maps them
FAR = 6000  # "thousands of pixels outside the window"


class Script:
    def __init__(self, end):
        self.end = end
        self.step = 0
        self.lines = []
        self.pressed = False

    def room(self, steps):
        return self.step + steps < self.end

    def press(self, x, y):
        self.lines.append(f"{self.step} press {x} {y}")
        self.pressed = True

    def motion(self, x, y):
        self.lines.append(f"{self.step} motion {x} {y}")

    def release(self):
        self.lines.append(f"{self.step} release")
        self.pressed = False

    def wait(self, steps):
        self.step += steps

    def glide(self, start, stop, steps, every):
        """Motion events along a straight line, one every `every` steps."""
        for i in range(1, steps // every + 1):
            t = i * every / steps
            self.wait(every)
            self.motion(round(start[0] + (stop[0] - start[0]) * t), round(start[1] + (stop[1] - start[1]) * t))


def fling(s, rng):
    """Grab near the centre, throw far outside the window, hold, come back, let go."""
    here = (rng.randint(200, 400), rng.randint(200, 400))
    there = (rng.choice([-FAR, FAR + SIZE]) + rng.randint(-500, 500), rng.randint(-FAR, FAR + SIZE))
    s.press(*here)
    s.glide(here, there, rng.randint(20, 200), 2)
    s.wait(rng.randint(100, 1500))
    s.glide(there, here, rng.randint(20, 200), 2)
    s.wait(rng.randint(10, 300))
    s.release()


def corners(s, rng):
    """Drag into the window's corners, then into far corners well outside it."""
    s.press(SIZE // 2, SIZE // 2)
    at = (SIZE // 2, SIZE // 2)
    spots = [(0, 0), (SIZE - 1, 0), (SIZE - 1, SIZE - 1), (0, SIZE - 1),
             (-3000, -3000), (SIZE + 3000, -3000), (SIZE + 3000, SIZE + 3000), (-3000, SIZE + 3000)]
    rng.shuffle(spots)
    for spot in spots:
        s.glide(at, spot, rng.randint(30, 300), 3)
        at = spot
        s.wait(rng.randint(50, 400))
    s.release()


def rapid(s, rng):
    """Press and release many times: same step, next step, a few steps apart."""
    for _ in range(rng.randint(20, 60)):
        s.press(rng.randint(-200, SIZE + 200), rng.randint(-200, SIZE + 200))
        gap = rng.choice([0, 0, 1, 1, 2, 5])
        s.wait(gap)
        s.release()
        s.wait(rng.choice([0, 1, 1, 3]))
    s.wait(1)


def long_drag(s, rng):
    """One very long drag: slow loops around the window for many thousand steps."""
    s.press(SIZE // 2, SIZE // 2)
    steps = min(rng.randint(8000, 20000), s.end - s.step - 1000)
    radius = rng.randint(100, 900)
    for i in range(0, steps, 10):
        angle = 2 * math.pi * i / 4000
        s.wait(10)
        s.motion(round(SIZE / 2 + radius * math.cos(angle)), round(SIZE / 2 + radius * math.sin(angle)))
    s.release()


def press_while_dragging(s, rng):
    """Press again and again while the button is held, then move and release."""
    s.press(rng.randint(0, SIZE), rng.randint(0, SIZE))
    for _ in range(rng.randint(3, 10)):
        s.wait(rng.randint(0, 50))
        s.motion(rng.randint(-FAR, FAR), rng.randint(-FAR, FAR))
        s.wait(rng.randint(0, 50))
        s.press(rng.randint(-1000, SIZE + 1000), rng.randint(-1000, SIZE + 1000))
    s.wait(rng.randint(10, 200))
    s.release()


def stray(s, rng):
    """Motion and releases with no press: nothing may change."""
    for _ in range(rng.randint(5, 20)):
        s.motion(rng.randint(-FAR, FAR), rng.randint(-FAR, FAR))
        s.wait(rng.randint(0, 5))
        s.release()
        s.wait(rng.randint(0, 5))


def whip(s, rng):
    """Yank the body from one far side to the other, once a few steps."""
    s.press(SIZE // 2, SIZE // 2)
    for i in range(rng.randint(10, 40)):
        s.wait(rng.randint(3, 30))
        s.motion(-FAR if i % 2 else SIZE + FAR, rng.randint(-FAR, SIZE + FAR))
    s.wait(20)
    s.motion(SIZE // 2, SIZE // 2)
    s.wait(200)
    s.release()


# The first round plays every scene once, the long drag last so that short runs
# see all the others too; then scenes come at random.
SCENES = [fling, corners, rapid, press_while_dragging, stray, whip, long_drag]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("steps", type=int, help="total simulation steps of the run")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("--settle", type=int, default=5000,
                        help="quiet steps after the last release (default 5000)")
    args = parser.parse_args()
    end = args.steps - args.settle
    if end < 1000:
        parser.error("STEPS must exceed SETTLE by at least 1000")

    rng = random.Random(args.seed)
    s = Script(end)
    out = [f"# torture-events.py {args.steps} --seed {args.seed} --settle {args.settle}"]
    scene_index = 0
    # Scenes while there is room for one; a long drag shrinks to fit.
    while s.room(5000):
        scene = SCENES[scene_index] if scene_index < len(SCENES) else rng.choice(SCENES)
        scene_index += 1
        out.append(f"# step {s.step}: {scene.__name__}")
        start = len(s.lines)
        scene(s, rng)
        out.extend(s.lines[start:])
        s.wait(rng.randint(50, 1000))
    if s.pressed:
        out.append(f"{s.step} release")
    out.append(f"# last event at step {s.step}; the body rests until step {args.steps}")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
