"""Baseline for the start-up benchmark: import the libraries the editor
drives and map one empty matplotlib figure in a Tk window, then wait to be
closed."""
import matplotlib

matplotlib.use("TkAgg")
import matplotlib.pyplot  # noqa: E402,F401
from matplotlib.figure import Figure  # noqa: E402
from matplotlib.backends.backend_tkagg import FigureCanvasTkAgg  # noqa: E402
import numpy  # noqa: E402,F401
import psutil  # noqa: E402,F401
import scipy.interpolate  # noqa: E402,F401
import tkinter  # noqa: E402

root = tkinter.Tk()
root.title("Arcflex baseline")
# A figure of its own: pyplot's manager would add a hidden Tk root that
# keeps the main loop running after the window is closed.
fig = Figure()
ax = fig.add_subplot()
canvas = FigureCanvasTkAgg(fig, master=root)
canvas.get_tk_widget().pack(side="top", fill="both", expand=1)
canvas.draw()
root.mainloop()
