// Virtual-key codes of X key events on several keyboard layouts, and the
// filter that drops the release half of X's auto-repeat pairs.
#include <gtest/gtest.h>

#include <platform/keys.h>

#include <map>
#include <string>
#include <vector>

namespace {

// X key codes (evdev + 8) of some keys, named by what a US keyboard prints.
constexpr int kQ = 24, kS = 39, kA = 38, kD = 40, kG = 42, kZ = 52, kX = 53, kSlash = 61, kOne = 10, kTwo = 11,
              kFour = 13, kSix = 15, kEqual = 21, kMinus = 20, kSemicolon = 47, kApostrophe = 48, kLess = 94,
              kBracketLeft = 34;

struct Case {
  const char* layout;
  int keycode;
  std::string keysym;
  int vk;
};

TEST(VirtualKey, FollowsThePrintedLatinLetterElseThePlaceOfTheKey) {
  const std::vector<Case> cases{
      // Latin letters and digits: the letter, whatever the case or the key.
      {"us", kG, "g", 'G'},
      {"us", kG, "G", 'G'},
      {"us", kOne, "1", '1'},
      {"us", kOne, "exclam", '1'},
      {"dvorak", kS, "o", 'O'},
      {"dvorak", kSlash, "z", 'Z'},
      {"dvorak", kQ, "apostrophe", 222},  // not the Q of its place
      {"dvorak", kZ, "semicolon", 186},
      {"azerty", kQ, "a", 'A'},
      {"azerty", kA, "q", 'Q'},
      // Other scripts: the letter at that place on a US keyboard.
      {"ru", kA, "Cyrillic_ef", 'A'},
      {"ru", kD, "Cyrillic_VE", 'D'},
      {"ru", kX, "Cyrillic_che", 'X'},
      {"ru", kSemicolon, "Cyrillic_zhe", 186},
      {"gr", kZ, "Greek_zeta", 'Z'},
      {"il", kG, "hebrew_ayin", 'G'},
      // Accented letters, dead keys and punctuation on the digit row.
      {"azerty", kOne, "ampersand", '1'},
      {"azerty", kTwo, "eacute", '2'},
      {"azerty", kSix, "minus", '6'},  // the digit row names its digits
      {"de", kEqual, "dead_acute", 187},
      {"de", kLess, "less", 226},
      {"ru", kApostrophe, "Cyrillic_e", 222},
      // Punctuation off its US key: the key's place.
      {"ru", kSlash, "period", 191},
      {"ru", kSlash, "comma", 191},
      {"ru", kFour, "semicolon", '4'},
      {"dvorak", kBracketLeft, "slash", 191},  // a Latin layout's own punctuation
      // Named keys, and keys with neither a name nor a known place.
      {"us", 36, "Return", 13},
      {"us", 50, "Shift_L", 16},
      {"ru", 50, "Shift_L", 16},
      {"us", kEqual, "plus", 187},
      {"us", kMinus, "underscore", 189},
      {"us", 0, "F25", 0},
      {"us", 121, "XF86AudioMute", 0},
      {"us", 150, "??", 0},
      {"us", 0, "??", 0},
      {"us", 3, "Cyrillic_ef", 0},
  };
  for (const Case& c : cases) {
    const std::string layout = c.layout;
    const bool latin = layout != "ru" && layout != "gr" && layout != "il";
    EXPECT_EQ(afp::virtual_key(c.keycode, c.keysym, latin), c.vk) << c.layout << " " << c.keycode << " " << c.keysym;
  }
}

// Every name and every place, against the codes a US keyboard gives on
// Windows, written out here on their own.
TEST(VirtualKey, WholeTablesOfNamesAndPlaces) {
  std::map<std::string, int> names{
      {"BackSpace", 8},     {"Tab", 9},          {"Return", 13},     {"Shift_L", 16},     {"Shift_R", 16},
      {"Control_L", 17},    {"Control_R", 17},   {"Alt_L", 18},      {"Alt_R", 18},       {"Pause", 19},
      {"Caps_Lock", 20},    {"Escape", 27},      {"space", 32},      {"Prior", 33},       {"Next", 34},
      {"End", 35},          {"Home", 36},        {"Left", 37},       {"Up", 38},          {"Right", 39},
      {"Down", 40},         {"Insert", 45},      {"Delete", 46},     {"semicolon", 186},  {"equal", 187},
      {"plus", 187},        {"comma", 188},      {"minus", 189},     {"underscore", 189}, {"period", 190},
      {"slash", 191},       {"grave", 192},      {"bracketleft", 219}, {"backslash", 220}, {"bracketright", 221},
      {"apostrophe", 222},  {"ISO_Left_Tab", 9}, {"KP_Enter", 13},   {"Meta_L", 18},      {"Meta_R", 18},
      {"ISO_Level3_Shift", 18}};
  for (int n = 1; n <= 24; ++n) names["F" + std::to_string(n)] = 111 + n;
  std::map<std::string, int> got;
  for (const auto& [name, vk] : names) got[name] = afp::virtual_key(0, name);
  EXPECT_EQ(got, names);

  // The US keyboard's main block by X key code, read with a keysym that
  // has no name of its own.
  const char* rows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  const int row_start[] = {10, 24, 38, 52};
  std::map<int, int> places{{20, 189}, {21, 187}, {34, 219}, {35, 221}, {47, 186}, {48, 222},
                            {49, 192}, {51, 220}, {59, 188}, {60, 190}, {61, 191}, {94, 226}};
  for (int r = 0; r < 4; ++r)
    for (int i = 0; rows[r][i]; ++i) places[row_start[r] + i] = rows[r][i];
  for (int n = 13; n <= 24; ++n) places[178 + n] = 111 + n;  // F13 to F24
  std::map<int, int> at_place;
  for (int code = 0; code < 256; ++code)
    if (int vk = afp::virtual_key(code, "Cyrillic_ef")) at_place[code] = vk;
  EXPECT_EQ(at_place, places);
}

TEST(KeyRepeatFilter, DropsEveryRepeatReleaseEvenWhenPairsQueueUp) {
  afp::KeyRepeatFilter f;
  // A plain tap: the release stands.
  ASSERT_TRUE(f.hold_release(88, 1000));
  EXPECT_FALSE(f.press(88, 1050));
  EXPECT_TRUE(f.release_due(88, 1000));
  // Three repeat pairs and the final release, all queued before any check.
  const unsigned long t[] = {2000, 2040, 2080};
  for (unsigned long ti : t) {
    ASSERT_TRUE(f.hold_release(72, ti));
    EXPECT_TRUE(f.press(72, ti));
    EXPECT_FALSE(f.press(72, ti)) << "a pair's press counts once";
  }
  ASSERT_TRUE(f.hold_release(72, 2100));
  for (unsigned long ti : t) EXPECT_FALSE(f.release_due(72, ti)) << ti;
  EXPECT_TRUE(f.release_due(72, 2100));
  // Another key with the same time stamp is no repeat of this one.
  ASSERT_TRUE(f.hold_release(71, 3000));
  EXPECT_FALSE(f.press(72, 3000));
  EXPECT_TRUE(f.release_due(71, 3000));
  // A check for a release never held back lets it through.
  EXPECT_TRUE(f.release_due(90, 4000));
  // Releases whose check never comes do not block later ones.
  for (unsigned long i = 0; i < 200; ++i) f.hold_release(66, 5000 + i);
  ASSERT_TRUE(f.hold_release(66, 9000));
  EXPECT_TRUE(f.press(66, 9000));
  EXPECT_FALSE(f.release_due(66, 9000));
}

}  // namespace
