#!/usr/bin/env python3
"""A square of four lines in the motion library's simulation mode, from Python.

    square.py [--side 2] [--feed 20] [--plot square.png]

Prints the corners as the group reaches them and, with --plot, draws the
path the axes took with matplotlib (Debian: python3-matplotlib). Exit
status 0 when every corner was reached.
"""
import argparse
import ctypes
import sys

from tervane import MotionError
from tervane import varnelpci as vnl


def position():
    xyz = [ctypes.c_double() for _ in range(6)]
    vnl.checked.VNL_GetCurPos(*[ctypes.byref(v) for v in xyz], 0)
    return xyz[0].value, xyz[1].value


def run_square(side, feed):
    """The corners reached and the path sampled every 5 ms, as (x, y) lists."""
    vnl.VNL_EnableSimulation()
    axis = vnl.MACHINE_PARAM(wRPM=1000, dwPPR=1000, dfPitch=1.0, dfGearRatio=1.0,
                             dfHighLimit=1000.0, dfLowLimit=-1000.0)
    for a in range(4):
        vnl.checked.VNL_SetMachParam(axis, a, 0)
    vnl.checked.VNL_SetSysMaxSpeed(100.0)
    vnl.checked.VNL_InitSystem(1, vnl.CardConfig(2, 0, 0, 0), 1)
    corners, path = [], [position()]
    try:
        vnl.checked.VNL_SetFeedSpeed(feed, 0)
        for x, y in ((side, 0.0), (side, side), (0.0, side), (0.0, 0.0)):
            vnl.checked.VNL_Line(x, y, 0, 0, 0, 0, 0)
            periods = 0
            while vnl.VNL_GetMotionStatus(0) != 1:
                vnl.VNL_TimeDelay(1)
                periods += 1
                if periods % 5 == 0:
                    path.append(position())
                if periods > 20000:
                    raise RuntimeError("the line to (%g, %g) did not end" % (x, y))
            corners.append(position())
            path.append(corners[-1])
    finally:
        vnl.VNL_CloseSystem()
    return corners, path


def plot(path, out):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(figsize=(4, 4))
    ax.plot([p[0] for p in path], [p[1] for p in path], marker=".", markersize=3)
    ax.set_xlabel("X")
    ax.set_ylabel("Y")
    ax.set_aspect("equal")
    ax.set_title("square in simulation")
    fig.savefig(out, dpi=80)
    plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--side", type=float, default=2.0)
    parser.add_argument("--feed", type=float, default=20.0)
    parser.add_argument("--plot", metavar="PNG")
    args = parser.parse_args(argv)
    try:
        corners, path = run_square(args.side, args.feed)
    except MotionError as e:
        print("square: %s" % e, file=sys.stderr)
        return 1
    wanted = [(args.side, 0.0), (args.side, args.side), (0.0, args.side), (0.0, 0.0)]
    ok = True
    for (x, y), (wx, wy) in zip(corners, wanted):
        good = abs(x - wx) < 1e-3 and abs(y - wy) < 1e-3
        ok = ok and good
        print("corner X %8.4f Y %8.4f%s" % (x, y, "" if good else "  (wanted %g, %g)" % (wx, wy)))
    print("%d points on the path" % len(path))
    if args.plot:
        plot(path, args.plot)
        print("plot written to %s" % args.plot)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
