#pragma once

class TMainForm;
class TAboutForm;
class THelpForm;
class TConnectionForm;
class THTTPForm;

// The program's windows: each created once, in the start-up order, wired to the others, and torn
// down in the reverse order. main() runs the program with it, and so does every test that needs
// the whole program.
class TProgramWindows {
public:
    // Without `helpAndAbout` the About and Help windows are left out (About and Help stay null),
    // for tests that bring their own or need none.
    explicit TProgramWindows(bool helpAndAbout = true);
    ~TProgramWindows();
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    TMainForm* Main;
    TAboutForm* About = nullptr;
    THelpForm* Help = nullptr;
    TConnectionForm* Connection;
    THTTPForm* HTTP;
};
