"""The bare matplotlib loop the editor's live speed display is measured
against (bench/apply.py runs it): a Tk window with a figure of the editor's
default size holding the same artists as its graph (the dashed control line
with its point markers, the two splines, the two tail arrows, the grid) and
the same speed fill (the polygon to the first point, fill_between under the
curve, the tail polygon). Every Rate milliseconds the fill moves to the next
speed of a ramp and is shown the way matplotlib's blitting guide does it:
the curve and the fill are animated artists, left out of the full draw; the
background (axes, grid, labels) is copied once after each full draw, and
each update restores it, draws the animated artists over it (the fill
first, the curve on top) and blits the axes' box to the screen. Each update
adds one to the first counter of the page named by AF_BENCH_COUNTER.

usage: bare_loop.py RATE_MS RAMP_MAX
"""
import ctypes
import mmap
import os
import sys
import tkinter

import numpy as np
from matplotlib.backends.backend_tkagg import FigureCanvasTkAgg
from matplotlib.figure import Figure
from matplotlib.lines import Line2D
from matplotlib.patches import FancyArrowPatch, Polygon
from scipy.interpolate import make_interp_spline

rate = int(sys.argv[1])
ramp_max = float(sys.argv[2])
_file = open(os.environ["AF_BENCH_COUNTER"], "r+b")
_page = mmap.mmap(_file.fileno(), 16)
counts = (ctypes.c_uint64 * 2).from_buffer(_page)

BG = "#111111"
YELLOW = (1.0, 0.93, 0.0)
root = tkinter.Tk()
root.title("Arcflex bare loop")
fig = Figure()
ax = fig.add_subplot()
fig.patch.set_facecolor(BG)
ax.set_facecolor(BG)
ax.set_xlabel("Dots per millisecond", weight="semibold", size=8, color="0.8")
ax.set_ylabel("Sensitivity", weight="semibold", size=8, color="0.8")
ax.grid(True, which="major", color="dimgrey", linewidth=0.5, linestyle="-")
canvas = FigureCanvasTkAgg(fig, master=root)
canvas.get_tk_widget().pack(side="top", fill="both", expand=1)

x = [0.0, 10.0, 30.0, 40.0]
y = [0.5, 1.0, 1.0, 1.0]
spline = make_interp_spline([0.0, 10.0, 30.0], [0.5, 1.0, 1.0], k=2)
xs = np.linspace(0.0, 30.0, 129)
ys = spline(xs)
style = "simple, tail_width=0.5, head_width=4, head_length=6"
curve = [
    ax.add_line(Line2D(xs, ys, linestyle="-", linewidth=1.5, color=YELLOW, animated=True)),
    ax.add_patch(FancyArrowPatch((30.0, 1.0), (40.0, 1.0), arrowstyle=style, color=YELLOW, shrinkA=0, shrinkB=8,
                                 animated=True)),
    ax.add_line(Line2D(xs, ys, linestyle="-", linewidth=1.5, color=YELLOW, animated=True)),
    ax.add_line(Line2D(x, y, linestyle="--", linewidth=1, color="0.4", marker="o", markersize=6,
                       markerfacecolor=YELLOW, animated=True)),
    ax.add_patch(FancyArrowPatch((30.0, 1.0), (40.0, 1.0), arrowstyle=style, color=YELLOW, shrinkA=0, shrinkB=8,
                                 animated=True)),
    ax.add_line(Line2D(x, y, linestyle="", marker="o", markersize=6, markerfacecolor="0.84", color="0.4",
                       animated=True)),
    ax.add_line(Line2D(x[-1:], y[-1:], linestyle="", marker="D", markersize=5, markerfacecolor="0.84", color="0.4",
                       animated=True)),
]
half = tuple(c * 0.5 for c in YELLOW)
fud = ax.add_patch(Polygon([(0, 0)] * 4, closed=True, facecolor=half, alpha=0.5, animated=True))
fua = ax.add_patch(Polygon([(0, 0)] * 4, closed=True, facecolor=half, alpha=0.5, animated=True))
ax.set_xlim(-2.3, 48.3)
ax.set_ylim(-0.06, 1.31)
fuc = None
background = None
step = [0]


def draw_animated():
    for artist in [fud, fuc, fua] + curve:
        if artist is not None:
            ax.draw_artist(artist)


def on_draw(event):
    """After every full draw (the first, a resize): the background without
    the animated artists is kept, and they are drawn over it once."""
    global background
    background = canvas.copy_from_bbox(fig.bbox)
    draw_animated()
    canvas.blit(fig.bbox)


def tick():
    global fuc
    if background is None:  # no full draw yet
        root.after(rate, tick)
        return
    n = step[0] = step[0] + 1
    phase = n % 120
    speed = ramp_max * (phase if phase < 60 else 120 - phase) / 60.0
    fud.set_xy([(0, 0), (0, ys[0]), (0, ys[0]), (0, 0)])
    if fuc is not None:
        fuc.remove()
    fuc = ax.fill_between(xs[1:], 0, ys[1:], where=xs[1:] <= speed, snap=True, facecolor=half, alpha=0.5,
                          interpolate=True, animated=True)
    if speed >= 30.0:
        fua.set_xy([(30.0, 0), (30.0, 1.0), (speed, 1.0), (speed, 0)])
    else:
        fua.set_xy([(0, 0)] * 4)
    canvas.restore_region(background)
    draw_animated()
    canvas.blit(ax.bbox)
    counts[0] += 1
    root.after(rate, tick)  # as the editor does: the Rate is the pause between updates


canvas.mpl_connect("draw_event", on_draw)
canvas.draw()
root.after(rate, tick)
root.mainloop()
