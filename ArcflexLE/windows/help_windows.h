// The Help menu's windows and links: the User manual, the About box that
// hides itself 8 s after it was last shown, and the product's web pages.
#pragma once

#include <string>

#include "pyrt.h"

namespace arcflex {

// The product's web site and its pages.
inline const std::string kWebSite = "https://arcflex.example";
inline const std::string kGuideUrl = kWebSite + "/guide.html";
inline const std::string kGetProUrl = kWebSite + "/get_pro.php";
inline const std::string kBuyUrl = kWebSite + "/buy.html";

// The manual's fifteen inserts in order, with their tag ("n" for the
// underlined section titles, "" for bodies).
struct ManualInsert {
  std::string text;
  std::string tag;
};
const std::vector<ManualInsert>& manual_inserts();

// The About box's five lines for a four-digit year.
std::string about_text(const std::string& year);

// Builds help_window with its manual and about_window, both withdrawn.
void build_help_windows();

void about();
void help();
void open_guide_url();
void get_pro();
void open_buy_url();

}  // namespace arcflex
