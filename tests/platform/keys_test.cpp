// Virtual-key codes of X key events on several keyboard layouts, and the
// filter that drops the release half of X's auto-repeat pairs.
#include <gtest/gtest.h>

#include <platform/keys.h>

#include <string>
#include <vector>

namespace {

// X key codes (evdev + 8) of some keys, named by what a US keyboard prints.
constexpr int kQ = 24, kS = 39, kA = 38, kD = 40, kG = 42, kZ = 52, kX = 53, kSlash = 61, kOne = 10, kTwo = 11,
              kSix = 15, kEqual = 21, kMinus = 20, kSemicolon = 47, kApostrophe = 48, kLess = 94;

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
      {"azerty", kSix, "minus", 189},
      {"de", kEqual, "dead_acute", 187},
      {"de", kLess, "less", 226},
      {"ru", kApostrophe, "Cyrillic_e", 222},
      // Named keys, and keys with neither a name nor a known place.
      {"us", 36, "Return", 13},
      {"us", 50, "Shift_L", 16},
      {"ru", 50, "Shift_L", 16},
      {"us", kEqual, "plus", 187},
      {"us", kMinus, "underscore", 189},
      {"us", 200, "XF86AudioMute", 0},
      {"us", 150, "??", 0},
      {"us", 0, "??", 0},
      {"us", 3, "Cyrillic_ef", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(afp::virtual_key(c.keycode, c.keysym), c.vk) << c.layout << " " << c.keycode << " " << c.keysym;
  }
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
