#include "gui_test_support.h"

#include <gtest/gtest.h>

namespace orvel::gui::test {

QApplication& app() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Made once and ended by the test environment before static destruction, so the input
    // devices the test events created go while the application still exists.
    if (!QApplication::instance()) new QApplication(argc, argv);
    return *qApp;
}

}  // namespace orvel::gui::test

namespace {

// Every test of this binary gets the application before its fixture's widgets are built.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { orvel::gui::test::app(); }
    void TearDown() override { delete QApplication::instance(); }
};

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
