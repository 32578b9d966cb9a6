#include "points.h"

#include <algorithm>

#include "curve.h"
#include "dialogs.h"
#include "edit_windows.h"
#include "state.h"

namespace arcflex {

namespace {

bool none(py::handle o) { return !o || o.is_none(); }

double bound01(double v) {
  if (v < 0) return 0;
  if (v > upperbound) return upperbound;
  return v;
}

// First index the artist's hit test reports for the event, or -1.
long first_hit(const py::object& artist, py::handle event) {
  py::tuple hit = artist.attr("contains")(event);
  if (!hit[0].cast<bool>()) return -1;
  py::object ind = hit[1].attr("get")("ind");
  if (none(ind) || py::len(ind) == 0) return -1;
  return ind[py::int_(0)].cast<long>();
}

void set_point_artists(const py::list& pts) {
  py::list lx, ly;
  for (py::handle p : pts) {
    lx.append(p[py::int_(0)]);
    ly.append(p[py::int_(1)]);
  }
  for (py::object* a : {&line, &point_marker_line, &edge_marker_line}) a->attr("set_data")(lx, ly);
}

// x and y rebuilt from line, then markers, spline and a full draw.
void rebuild_and_draw() {
  py::list nx, ny;
  for (py::handle v : line.attr("get_xdata")()) nx.append(v);
  for (py::handle v : line.attr("get_ydata")()) ny.append(v);
  x = nx;
  y = ny;
  set_line_markers();
  redefine_spline();
  update_spline();
  canvas.attr("draw")();
}

void withdraw(const py::object& w) {
  if (w) w.attr("wm_withdraw")();
}

}  // namespace

void add_point(py::handle event, int is_corner) {
  if (graph_suspended) return;
  if (none(event)) {
    withdraw(add_window);
    return;
  }
  if (numverts >= maxverts) {
    dialogs::system_sound_asterisk();
    withdraw(add_window);
    return;
  }
  long si = first_hit(spline, event);
  long li = si == 0 ? -1 : first_hit(line, event);
  py::object exd = event.attr("xdata"), eyd = event.attr("ydata");
  if ((si == 0 || (li >= 0 && li < numverts)) && !none(exd) && !none(eyd)) {
    py::list pts = py::list(xy);
    py::list c = py::list(corners);
    if (si == 0) {
      double first_x = pts[0].cast<py::tuple>()[0].cast<double>();
      double nx = bound01(exd.cast<double>());
      double ny = bound01(pts[0].cast<py::tuple>()[1].cast<double>());
      // The new first point never lies right of the old one.
      nx = std::min(nx, first_x);
      pts.insert(0, py::make_tuple(py::float_(nx), py::float_(ny)));
      c.insert(0, py::int_(is_corner ? 1 : 0));
    } else {
      long i = li;
      double nx = bound01(exd.cast<double>()), ny = bound01(eyd.cast<double>());
      py::tuple a = pts[i], b = pts[i + 1];
      if (nx > b[0].cast<double>()) nx = b[0].cast<double>();
      if (negative_accel == 0 && ny > b[1].cast<double>()) ny = b[1].cast<double>();
      if (nx < a[0].cast<double>()) nx = a[0].cast<double>();
      if (negative_accel == 0 && ny < a[1].cast<double>()) ny = a[1].cast<double>();
      pts.insert(i + 1, py::make_tuple(py::float_(nx), py::float_(ny)));
      bool edge = is_corner && i < static_cast<long>(py::len(c)) - 1;
      c.insert(i + 1, py::int_(edge ? 1 : 0));
    }
    xy = pts;
    corners = c;
    set_point_artists(pts);
    rebuild_and_draw();
  }
  withdraw(add_window);
}

void del_point() {
  size_t count = none(xy) ? 0 : py::len(xy);
  // The index must still be a point of the present curve.
  if (last_index && *last_index >= 0 && static_cast<size_t>(*last_index) < count && numverts > minverts) {
    int k = *last_index;
    py::list pts, c;
    for (size_t i = 0; i < count; ++i)
      if (static_cast<int>(i) != k) pts.append(xy[py::int_(i)]);
    py::list oc(corners);
    for (size_t i = 0; i < py::len(oc); ++i)
      if (static_cast<int>(i) != k) c.append(oc[i]);
    if (py::len(c) > 0) c[py::len(c) - 1] = py::int_(0);
    xy = pts;
    corners = c;
    set_point_artists(pts);
    rebuild_and_draw();
  }
  withdraw(edit_window);
}

void do_apopup(int, int, py::handle event) {
  gevent = py::reinterpret_borrow<py::object>(event);
  show_add_window();
}

void do_dpopup(int x, int y) { show_edit_window(x, y); }

}  // namespace arcflex
