// Test entry of the renderer tests: makes the QApplication the widgets need. Listing the tests
// (at build time) needs no display, so no application is made then.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (!listing) {
        // Without an X display the GL tests find no device and skip themselves.
        const char* platform = std::getenv("QT_QPA_PLATFORM");
        const char* display = std::getenv("DISPLAY");
        if (platform && std::strcmp(platform, "xcb") == 0 && (!display || !*display))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
