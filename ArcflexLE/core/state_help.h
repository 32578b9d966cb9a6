// Module state of the Help windows and the Presets submenus: the User
// manual and About windows with the About box's hide timer, and the eight
// preset cascades. None until built; dropped by release_help_objects().
#pragma once

#include "pyrt.h"

namespace arcflex {

// User manual window.
inline py::object help_window, scrolly, help_text;
// About window; about_schedule is the pending hide timer's id, or None.
inline py::object about_schedule, about_window, awl1;
inline double aw_relx = 0.5, aw_rely = 0.5;

// The eight cascades of the Presets menu.
inline py::object preset1, preset2, preset3, preset4, preset5, preset6, preset7, preset8;

inline void release_help_objects() {
  for (py::object* o : {&help_window, &scrolly, &help_text, &about_schedule, &about_window, &awl1, &preset1,
                        &preset2, &preset3, &preset4, &preset5, &preset6, &preset7, &preset8}) {
    *o = py::object();
  }
}

}  // namespace arcflex
