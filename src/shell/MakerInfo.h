#pragma once

#include <QtGlobal>

// Who makes the program and where to reach them: the one place for the maker's addresses and
// notices, shown by the About window and linked from the help document.
struct TMakerInfo {
    const char* SiteAddress;     // the maker's web site (About window's link)
    const char* DemoAddress;     // the online demonstration (help, "About Quorvel 1.01")
    const char* ContactAddress;  // problem reports and help with integration (help, "Contact Me")
    const char* SiteCaption;     // the About window's link caption
    const char* CopyrightYears;  // after the copyright sign
    const char* CopyrightHolder;
    const char* RightsNotice;
};

inline constexpr TMakerInfo Maker{
    "https://quorvel.example/",
    "https://quorvel.example/demo/",
    "https://quorvel.example/support/",
    "www.quorvel.example",
    "2026",
    "Quorvel Labs",
    QT_TRANSLATE_NOOP("TAboutForm", "All rights reserved."),
};
