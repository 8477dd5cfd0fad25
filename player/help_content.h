// Texts and addresses of the help panel.
#pragma once

namespace sonvale {

inline constexpr const char* kHelpTitle = "Marvoy Player";

inline constexpr const char* kHelpText =
    "Marvoy Player plays your music and your pictures all by itself. There is nothing to set up.\n"
    "\n"
    "Copy your *.MP3 files into the folder MarvoyMP3/ and your *.JPG files (for example the photos of "
    "your mobile phone) into the folder MarvoyJPG/, both beside the player program. The player plays "
    "the tracks one after another in random order without end and shows a new picture about every five "
    "seconds.\n"
    "\n"
    "To start the player together with your desktop session, copy its desktop entry sonvale.desktop "
    "(in the folder share/applications/ where the player was installed) into the autostart folder "
    "~/.config/autostart/.\n"
    "\n"
    "To start the player from a USB stick or a CD, copy the program together with its folders "
    "MarvoyMP3/ and MarvoyJPG/ onto it and run the program sonvale from there, for example with a "
    "double-click in the file manager.";

inline constexpr const char* kNoticeText =
    "Sonvale is free to use and to give away. Lyrics are kept in the file Lyrics/LYRIC.SVL beside the "
    "player: after copying it from a CD, make sure the file is writable. If you enjoy the player, "
    "the buttons below lead to the author's pages.";

// The link buttons of the help panel and the pages they open.
inline constexpr const char* kDonationUrl = "https://www.paypal.com/donate/?business=sonvale.player";
inline constexpr const char* kSecondPaymentUrl = "https://www.e-gold.com/";
inline constexpr const char* kHostingUrl = "https://pages.github.com/";
inline constexpr const char* kShopUrl = "https://www.amazon.com/music/";
inline constexpr const char* kPaymentSignUpUrl = "https://www.paypal.com/signup";

}  // namespace sonvale
