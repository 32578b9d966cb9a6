#include "graph_edit.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "apply_cycle.h"
#include "curve.h"
#include "curve_match.h"
#include "dialogs.h"
#include "edit_windows.h"
#include "graph.h"
#include "key_input.h"
#include "points.h"
#include "state.h"

namespace arcflex {

namespace {

struct Pt {
  double x, y;
};

bool none(py::handle o) { return !o || o.is_none(); }
double num(py::handle o) { return o.cast<double>(); }

std::vector<Pt> points_of_xy() {
  std::vector<Pt> pts;
  for (py::handle p : xy) pts.push_back({num(p[py::int_(0)]), num(p[py::int_(1)])});
  return pts;
}

size_t line_count() { return py::len(line.attr("get_xdata")()); }

py::list vind_list(const std::vector<int>& v) {
  py::list l;
  for (int i : v) l.append(i);
  return l;
}

int button_of(py::handle event) {
  py::object b = event.attr("button");
  if (none(b)) return 0;
  try {
    return b.cast<int>();
  } catch (py::cast_error&) {
    return 0;
  }
}

// Set by a press inside the axes of the present gesture; only such a press
// anchors a pan.
bool pan_anchored = false;

// The show style of the drag-hiding (Ctrl-H) mode; it hides with
// hide_edit_curve_points.
void show_points_after_drag() {
  line.attr("set_linestyle")("--");
  line.attr("set_marker")("o");
  point_marker_line.attr("set_marker")("o");
  edge_marker_line.attr("set_marker")("D");
}

bool window_shown(const py::object& w) { return w && w.attr("state")().cast<std::string>() == "normal"; }

void clamp(double& v, double top, double bottom) {
  if (v > top) {
    v = top;
  } else if (v < bottom) {
    v = bottom;
  }
}

double bounded(double v) {
  if (v <= 0) return 0;
  if (v >= upperbound) return upperbound;
  return v;
}

struct Snap {
  double xp, yp, xd, yd;
};

std::vector<Snap> snapshot_entries() {
  std::vector<Snap> s;
  if (none(scale_snapshot)) return s;
  for (py::handle t : scale_snapshot) s.push_back({num(t[py::int_(0)]), num(t[py::int_(1)]), num(t[py::int_(2)]), num(t[py::int_(3)])});
  return s;
}

// New positions of all points of a group drag from the snapshot.
void group_rules(double tempx, double tempy, const std::vector<Pt>& pts, const std::vector<int>& ind,
                 const std::vector<Snap>& snap, std::vector<double>& nx, std::vector<double>& ny) {
  int g = ind.front();
  double my = none(miny) ? 0.0 : num(miny);
  for (int i = 0; i <= numverts; ++i) {
    const Snap& s = snap[i];
    bool group = std::find(ind.begin(), ind.end(), i) != ind.end();
    double px = i > 0 ? nx.back() : 0.0, pyv = i > 0 ? ny.back() : 0.0;
    auto scaled_x = [&] { return tempx <= 0 ? 0.0 : tempx * s.xp; };
    auto scaled_y = [&] {
      if (negative_accel == 1) return snap[g].yp == 0 ? tempy + s.yd : my + (tempy - my) * s.yp;
      if (i == 0) return pts[0].y;
      if (tempy < my) return pyv;
      return std::max(pyv, my + (tempy - my) * s.yp);
    };
    auto moved_x = [&] {
      if (i == 0) return tempx;
      if (tempx <= 0) return std::max(0.0, s.xd);
      return std::max(px, tempx + s.xd);
    };
    auto moved_y = [&] {
      if (i == 0) return tempy;
      if (negative_accel == 1) return tempy + s.yd;
      if (tempy < my) return g == 0 ? std::max(pyv, tempy + s.yd) : std::max(pyv, my + s.yd);
      return std::max(pyv, tempy + s.yd);
    };
    double ax = pts[i].x, ay = pts[i].y;
    if (!group) {
      if (shift_key) {
        if (lock_on_x) {
          ax = scaled_x();
        } else if (lock_on_y) {
          ay = scaled_y();
        } else {
          ax = scaled_x();
          ay = scaled_y();
        }
      }
    } else if (lock_on_x) {
      ax = moved_x();
    } else if (lock_on_y) {
      ay = moved_y();
    } else {
      ax = moved_x();
      ay = moved_y();
    }
    nx.push_back(bounded(ax));
    ny.push_back(bounded(ay));
  }
}

void end_gesture_drag() { vind.clear(); }

std::string strip_prefixes(std::string k) {
  for (const char* p : {"ctrl+", "shift+", "alt+"}) {
    std::string pre(p);
    for (size_t pos; (pos = k.find(pre)) != std::string::npos;) k.erase(pos, pre.size());
  }
  return k;
}

void show_everything() {
  show_points_after_drag();
  spline.attr("set_visible")(true);
  arrow.attr("set_visible")(true);
  canvas.attr("draw")();
  show_points = true;
  show_line = true;
}

}  // namespace

void hide_edit_curve_points() {
  line.attr("set_linestyle")("");
  line.attr("set_marker")("");
  point_marker_line.attr("set_marker")("");
  edge_marker_line.attr("set_marker")("");
  point_value_text.attr("set_visible")(false);
}

std::vector<int> select_verts(py::handle event) {
  std::vector<int> answer;
  if (none(xy) || py::len(xy) == 0) return answer;
  py::object disp = line.attr("get_transform")().attr("transform")(xy);
  std::vector<std::vector<double>> xt = disp.attr("tolist")().cast<std::vector<std::vector<double>>>();
  double ex = num(event.attr("x")), ey = num(event.attr("y"));
  std::vector<double> d;
  for (auto& p : xt) d.push_back(std::sqrt((p[0] - ex) * (p[0] - ex) + (p[1] - ey) * (p[1] - ey)));
  double best = *std::min_element(d.begin(), d.end());
  std::vector<int> nearest;
  for (size_t i = 0; i < d.size(); ++i)
    if (d[i] == best) nearest.push_back(static_cast<int>(i));
  if (graph_suspended) return answer;
  int count = static_cast<int>(line_count());
  if (g_pressed || shift_key) {
    for (int i = nearest.front(); i < count; ++i) answer.push_back(i);
  } else if (b_pressed) {
    answer.push_back(nearest.front());
  } else {
    answer.push_back(nearest.back());
  }
  if (answer.empty() || answer.front() >= static_cast<int>(d.size()) || d[answer.front()] >= epsilon) answer.clear();
  return answer;
}

void get_scale_snapshot() {
  py::list snap;
  scale_snapshot = snap;
  if (vind.empty()) return;
  std::vector<Pt> pts = points_of_xy();
  int g = vind.front();
  // Picked for a curve that has lost points since: nothing to scale.
  if (g < 0 || g >= static_cast<int>(pts.size()) || line_count() != pts.size()) return;
  double xg = pts[g].x, yg = pts[g].y;
  double low = pts[0].y;
  for (int i = 0; i <= g; ++i) low = std::min(low, pts[i].y);
  for (const Pt& p : pts) {
    double xp = (p.x == 0 || xg == 0) ? 0.0 : p.x / xg;
    double yp = (p.y - low == 0 || yg - low == 0) ? 0.0 : (p.y - low) / (yg - low);
    snap.append(py::make_tuple(xp, yp, p.x - xg, p.y - yg));
  }
  double m = pts[0].y;
  if (g > 0) {
    m = pts[0].y;
    for (int i = 0; i < g; ++i) m = std::min(m, pts[i].y);
  }
  miny = py::float_(m);
}

void button_press_callback(py::handle event) {
  bpress = true;
  pan_anchored = false;
  if (none(event.attr("inaxes"))) {
    vind.clear();
    return;
  }
  hide_edit_window(py::none());
  hide_add_window(py::none());
  hold_focus = true;
  canvas.attr("get_tk_widget")().attr("focus_force")();
  int b = button_of(event);
  if (b != 1 && b != 3) return;
  xpress = event.attr("xdata");
  ypress = event.attr("ydata");
  pan_anchored = !none(xpress) && !none(ypress);
  if (show_points) vind = select_verts(event);
  if (vind.empty()) return;
  get_scale_snapshot();
  last_index = vind.front();
  if (ctrl_h) {
    hide_edit_curve_points();
    canvas.attr("draw")();
  }
}

void button_release_callback(py::handle event) {
  bpress = false;
  if (none(event.attr("inaxes"))) {
    vind.clear();
    hold_focus = false;
    pan_anchored = false;
    return;
  }
  int b = button_of(event);
  py::object widget = canvas.attr("get_tk_widget")();
  if (b == 3 && !vind.empty()) {
    int px = widget.attr("winfo_pointerx")().cast<int>();
    int py_ = widget.attr("winfo_pointery")().cast<int>();
    do_dpopup(px, py_);
  } else if (b == 3 && numverts < maxverts) {
    if (graph_suspended) return;
    py::tuple lhit = line.attr("contains")(event);
    py::tuple shit = spline.attr("contains")(event);
    auto first = [](py::tuple hit) -> long {
      py::object ind = hit[1].attr("get")("ind");
      if (!hit[0].cast<bool>() || none(ind) || py::len(ind) == 0) return -1;
      return ind[py::int_(0)].cast<long>();
    };
    long si = first(shit), li = first(lhit);
    if (si == 0 || (li >= 0 && li < numverts)) {
      int px = widget.attr("winfo_pointerx")().cast<int>();
      int py_ = widget.attr("winfo_pointery")().cast<int>();
      do_apopup(px, py_, event);
    }
  } else if (b == 1) {
    if (ctrl_h) {
      show_points_after_drag();
      canvas.attr("draw")();
    }
  }
  vind.clear();
  hold_focus = false;
  pan_anchored = false;
}

void motion_notify_callback(py::handle event) {
  cursor_last_x = event.attr("xdata");
  if (none(event.attr("inaxes"))) {
    if (show_point_values == 0) point_value_text.attr("set_visible")(false);
    return;
  }
  py::object xdata = event.attr("xdata"), ydata = event.attr("ydata");
  if (none(xdata) || none(ydata)) return;
  int button = button_of(event);
  bool dpv = false;
  if (show_line) {
    if (show_marker && !window_shown(edit_window) && !window_shown(add_window)) {
      draw_marker(xdata);
    } else if (show_point_values && show_points && !(ctrl_h && button == 1)) {
      if (!vind.empty()) {
        dpv = true;
      } else {
        draw_point_values(event, vind_list(select_verts(event)));
      }
    }
  } else {
    vind.clear();
  }
  if (button != 1) return;
  if (vind.empty()) {
    if (pan_counter > key_pressed) {
      pan_counter = 0;
      if (pan_anchored) pan(num(xpress), num(ypress), num(xdata), num(ydata));
    } else {
      pan_counter += 1;
    }
    return;
  }
  std::vector<Pt> pts = points_of_xy();
  int n = static_cast<int>(line_count());
  // The curve gained or lost points since the press: the drag ends.
  if (static_cast<int>(pts.size()) != n || numverts != n - 1 || vind.front() < 0 || vind.back() >= n) {
    end_gesture_drag();
    return;
  }
  int first = vind.front();
  vind.clear();
  if (g_pressed || shift_key) {
    for (int i = first; i < n; ++i) vind.push_back(i);
  } else {
    vind.push_back(first);
  }
  if (vind.back() == numverts - 1) vind.push_back(numverts);
  double tempx = num(xdata), tempy = num(ydata);
  double current_x = pts[first].x, current_y = pts[first].y;
  std::vector<double> nx, ny;
  if (vind.size() == 1 && !shift_key) {
    int k = first;
    double bottom_x, bottom_y, top_x, top_y;
    if (k == 0) {
      bottom_x = 0;
      bottom_y = 0;
      top_x = pts[1].x;
      top_y = pts[1].y;
    } else if (k == numverts) {
      bottom_x = pts[numverts - 1].x + 0.00001 * std::fabs(pts[numverts].y - pts[numverts - 1].y);
      bottom_y = pts[numverts - 1].y;
      top_x = top_y = upperbound;
    } else {
      bottom_x = pts[k - 1].x;
      bottom_y = pts[k - 1].y;
      top_x = pts[k + 1].x;
      top_y = pts[k + 1].y;
    }
    if (negative_accel == 1) {
      top_y = upperbound;
      bottom_y = 0;
    }
    clamp(tempx, top_x, bottom_x);
    clamp(tempy, top_y, bottom_y);
    for (int i = 0; i <= numverts; ++i) {
      if (i != k) {
        nx.push_back(pts[i].x);
        ny.push_back(pts[i].y);
      } else if (lock_on_x) {
        nx.push_back(tempx);
        ny.push_back(pts[i].y);
      } else if (lock_on_y) {
        nx.push_back(pts[i].x);
        ny.push_back(tempy);
      } else {
        nx.push_back(tempx);
        ny.push_back(tempy);
      }
    }
  } else {
    std::vector<Snap> snap = snapshot_entries();
    // A snapshot taken for another curve or another grabbed point cannot
    // scale this one: the drag ends.
    if (static_cast<int>(snap.size()) != n) {
      end_gesture_drag();
      return;
    }
    double max_x = pts[vind.front()].x, max_y = pts[vind.front()].y, min_y = pts[vind.front()].y;
    for (int i = vind.front(); i <= vind.back(); ++i) {
      max_x = std::max(max_x, pts[i].x);
      max_y = std::max(max_y, pts[i].y);
      min_y = std::min(min_y, pts[i].y);
    }
    double bottom_x = 0, bottom_y = 0;
    if (!(vind.front() == 0 || shift_key)) {
      bottom_x = pts[vind.front() - 1].x;
      bottom_y = pts[vind.front() - 1].y;
    }
    double top_x = upperbound - (max_x - current_x);
    double top_y = upperbound - (max_y - current_y);
    if (negative_accel == 1) bottom_y = current_y - min_y;
    clamp(tempx, top_x, bottom_x);
    clamp(tempy, top_y, bottom_y);
    group_rules(tempx, tempy, pts, vind, snap, nx, ny);
  }
  // Points that did not move keep their own Python numbers.
  py::list new_xy, lx, ly;
  for (int i = 0; i <= numverts; ++i) {
    py::object ox = xy[py::int_(i)][py::int_(0)], oy = xy[py::int_(i)][py::int_(1)];
    py::object vx = nx[i] == pts[i].x ? ox : py::object(py::float_(nx[i]));
    py::object vy = ny[i] == pts[i].y ? oy : py::object(py::float_(ny[i]));
    new_xy.append(py::make_tuple(vx, vy));
    lx.append(vx);
    ly.append(vy);
  }
  xy = new_xy;
  for (py::object* a : {&line, &point_marker_line, &edge_marker_line}) a->attr("set_data")(lx, ly);
  if (dpv) draw_point_values(event, vind_list(vind));
  update_spline();
}

void zoom_step(bool zoom_in, py::handle xdata_h, py::handle ydata_h) {
  double xmin = xbounds.first, xmax = xbounds.second, ymin = ybounds.first, ymax = ybounds.second;
  double xviewsize = xmax - xmin, yviewsize = ymax - ymin;
  bool about_pointer = ctrl_key != (zoom_to_location != 0);
  if (about_pointer && (none(xdata_h) || none(ydata_h))) about_pointer = false;
  double xd = about_pointer ? num(xdata_h) : 0.0, yd = about_pointer ? num(ydata_h) : 0.0;
  if (zoom_in) {
    if (about_pointer) {
      if (xviewsize <= lowerbound && yviewsize <= lowerbound) return;
      // The replacement window divides by the old widths: a zero width stops.
      if (xviewsize <= 0 || yviewsize <= 0) return;
      if (!lock_on_y) {
        xbounds = {xd - (xd - xmin) * z_i_f, xd + (xmax - xd) * z_i_f};
        if (lowerbound >= xbounds.second - xbounds.first)
          xbounds = {xd - lowerbound * (xd - xmin) / xviewsize, xd + lowerbound * (xmax - xd) / xviewsize};
      }
      if (!lock_on_x) {
        ybounds = {yd - (yd - ymin) * z_i_f, yd + (ymax - yd) * z_i_f};
        if (lowerbound >= ybounds.second - ybounds.first)
          ybounds = {yd - lowerbound * (yd - ymin) / yviewsize, yd + lowerbound * (ymax - yd) / yviewsize};
      }
    } else {
      if (xmax <= lowerbound && ymax <= lowerbound) return;
      if (!lock_on_y) xbounds = {0.0, xviewsize * z_i_f};
      if (!lock_on_x) ybounds = {0.0, yviewsize * z_i_f};
      if (xbounds.second < lowerbound) xbounds = {0.0, lowerbound};
      if (ybounds.second < lowerbound) ybounds = {0.0, lowerbound};
    }
  } else {
    if (xviewsize >= upperbound && yviewsize >= upperbound) return;
    if (about_pointer) {
      if (!lock_on_y) xbounds = {xd - (xd - xmin) * z_o_f, xd + (xmax - xd) * z_o_f};
      if (!lock_on_x) ybounds = {yd - (yd - ymin) * z_o_f, yd + (ymax - yd) * z_o_f};
    } else {
      if (!lock_on_y) xbounds = {0.0, xviewsize * z_o_f};
      if (!lock_on_x) ybounds = {0.0, yviewsize * z_o_f};
    }
  }
  if (show_marker) draw_marker(cursor_last_x);
  check_viewbounds();
}

void scroll_callback(py::handle event) {
  if (none(event.attr("inaxes")) || graph_suspended) return;
  std::string b = py::str(event.attr("button")).cast<std::string>();
  if (b == "up") {
    zoom_step(true, event.attr("xdata"), event.attr("ydata"));
  } else if (b == "down") {
    zoom_step(false, event.attr("xdata"), event.attr("ydata"));
  }
}

void pan(double xp, double yp, double event_x, double event_y) {
  xbounds = {xbounds.first - event_x + xp, xbounds.second - event_x + xp};
  ybounds = {ybounds.first - event_y + yp, ybounds.second - event_y + yp};
  check_viewbounds();
}

void key_press_callback(py::handle event) {
  if (none(event.attr("inaxes"))) return;
  std::string key = canvas_key_name(event);
  if (key.empty()) return;
  if (key != "d" && key != "D") return;
  std::vector<int> ind = select_verts(event);
  if (ind.empty()) return;
  if (numverts > minverts) {
    // With G or Shift the pick runs to the tail end point; the point under
    // the pointer is its first index.
    last_index = ind.front();
    del_point();
  } else {
    dialogs::system_sound_asterisk();
  }
}

void key_release_callback(py::handle event) {
  if (none(event.attr("inaxes"))) return;
  std::string key = canvas_key_name(event);
  if (key.empty()) return;
  if (key == "a" || key == "A") {
    add_point(event, 0);
  } else if (key == "e" || key == "E") {
    add_point(event, 1);
  }
  std::string ek = strip_prefixes(key);
  if (ek == "=" || ek == "equal" || ek == "+" || ek == "plus") {
    zoom_step(true, event.attr("xdata"), event.attr("ydata"));
  } else if (ek == "-" || ek == "minus" || ek == "_" || ek == "underscore") {
    zoom_step(false, event.attr("xdata"), event.attr("ydata"));
  }
}

void press_key(int code) {
  key_pressed = 4;
  if (code == 71) g_pressed = true;
  if (code == 66) b_pressed = true;
  if (code == 68 && ctrl_key) apply_defaults();
  if (code == 88 && !x_pressed) {
    ctrl_x = ctrl_key && !lock_on_x;
    lock_on_x = true;
    lock_on_y = false;
    x_pressed = true;
  }
  if (code == 89 && !y_pressed) {
    ctrl_y = ctrl_key && !lock_on_y;
    lock_on_y = true;
    lock_on_x = false;
    y_pressed = true;
  }
  if (code == 90) {
    z_i_f = 0.75;
    z_o_f = 1.3333333333333333;
  }
  if (code == 82 && !rescaled_view) {
    rescale_view();
    rescaled_view = true;
  }
  if (code == 72 && !h_pressed) {
    ctrl_n = 0;
    if (ctrl_h) {
      ctrl_h = false;
    } else if (ctrl_key && (show_points || !show_line)) {
      ctrl_h = true;
    }
    spline.attr("set_visible")(true);
    arrow.attr("set_visible")(true);
    show_line = true;
    hide_edit_curve_points();
    canvas.attr("draw")();
    show_points = false;
    h_pressed = true;
  }
  if (code == 78 && !n_pressed) {
    ctrl_n = 0;
    ctrl_h = false;
    if (ctrl_key && show_line) ctrl_n = 1;
    for (py::object* a : {&spline, &arrow, &edit_marker, &edit_marker_text}) a->attr("set_visible")(false);
    show_line = false;
    hide_edit_curve_points();
    canvas.attr("draw")();
    show_points = false;
    n_pressed = true;
  }
  if (code == 74 && !j_pressed && show_line) {
    ctrl_j = ctrl_key && !show_marker;
    point_value_text.attr("set_visible")(false);
    draw_marker(cursor_last_x);
    canvas.attr("draw")();
    show_marker = true;
    j_pressed = true;
  }
}

void release_key(int code) {
  key_pressed = 0;
  if (code == 66) b_pressed = false;
  if (code == 71) g_pressed = false;
  if (code == 88) {
    x_pressed = false;
    if (!ctrl_x) lock_on_x = false;
  }
  if (code == 89) {
    y_pressed = false;
    if (!ctrl_y) lock_on_y = false;
  }
  if (code == 90) {
    z_i_f = 0.9166666666666666;
    z_o_f = 1.0909090909090908;
  }
  if (code == 72) {
    show_everything();
    h_pressed = false;
  }
  if (code == 78) {
    if (ctrl_n == 0) show_everything();
    n_pressed = false;
  }
  if (code == 74) {
    if (!ctrl_j) {
      edit_marker.attr("set_visible")(false);
      edit_marker_text.attr("set_visible")(false);
      show_marker = false;
      canvas.attr("draw")();
    }
    j_pressed = false;
  }
  if (code == 82) rescaled_view = false;
  if (code == 84) align_tail_redraw();
  if (code == 77) match_active_curve();
}

void press_mouse_wheel() { rescale_view(); }

void release_modifiers() {
  if (hold_focus) return;
  key_pressed = 0;
  b_pressed = h_pressed = j_pressed = x_pressed = y_pressed = rescaled_view = false;
  z_i_f = 0.9166666666666666;
  z_o_f = 1.0909090909090908;
}

void on_tk_key_press(py::handle event) {
  int vk = tk_virtual_key(event);
  window_key_filter().press(vk, tk_event_time(event));
  press_key(vk);
}

void on_tk_key_release(py::handle event) {
  int vk = tk_virtual_key(event);
  unsigned long t = tk_event_time(event);
  if (presses_only_repeat || !window_key_filter().hold_release(vk, t)) {
    release_key(vk);
    return;
  }
  root.attr("after_idle")(py::cpp_function([vk, t] {
    if (window_key_filter().release_due(vk, t)) release_key(vk);
  }));
}

void connect_graph_handlers() {
  // The meter's Shift-down report re-takes the scaling snapshot.
  scale_snapshot_hook = &get_scale_snapshot;
  canvas.attr("mpl_connect")("button_press_event", py::cpp_function([](py::object e) { button_press_callback(e); }));
  canvas.attr("mpl_connect")("button_release_event",
                             py::cpp_function([](py::object e) { button_release_callback(e); }));
  // A held key repeats as presses and one release, as on Windows, where the
  // X server allows it; elsewhere the repeat filters drop the extra releases.
  use_presses_only_repeat();
  canvas.attr("mpl_connect")("key_press_event", py::cpp_function([](py::object e) { on_canvas_key_press(e); }));
  canvas.attr("mpl_connect")("key_release_event", py::cpp_function([](py::object e) { on_canvas_key_release(e); }));
  canvas.attr("mpl_connect")("motion_notify_event",
                             py::cpp_function([](py::object e) { motion_notify_callback(e); }));
  canvas.attr("mpl_connect")("scroll_event", py::cpp_function([](py::object e) { scroll_callback(e); }));
  root.attr("bind")("<KeyPress>", py::cpp_function([](py::object e) { on_tk_key_press(e); }));
  root.attr("bind")("<KeyRelease>", py::cpp_function([](py::object e) { on_tk_key_release(e); }));
  root.attr("bind")("<Button-2>", py::cpp_function([](py::object) { press_mouse_wheel(); }));
}

}  // namespace arcflex
