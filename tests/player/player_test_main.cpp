// The main of the tests that make the program's windows: one application
// object of the program's own kind, so errors escaping a handler are caught as
// in the program, off screen unless the environment chose a platform (test
// discovery runs without the test's environment).
#include "Application.h"

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    velbrin::player::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
